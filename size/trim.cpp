#include "size/trim.h"

#include "size/scan_file.h"
#include "util/wide_int.h"

PaddingScan scan_padding(const std::string& path, PadChoice choice, ScanObserver& observer) {
    PaddingScan result;
    if (!choice.automatic) {
        result.pad = choice.byte;
        result.scan = scan_file(path, observer, choice.byte);
        return result;
    }

    OsdFile file;
    if (osd_open(file, path, OsdAccess::Read) != 0) {
        result.scan.status = ScanResult::Status::CannotOpen;
        result.scan.error = file.error;
        return result;
    }
    result.scan.size = file.size;
    if (file.size == 0) return result;
    unsigned char last = 0;
    if (osd_seek(file, file.size - 1, OsdOrigin::Begin) != file.size - 1 || osd_read(file, &last, 1) != 1) {
        result.scan.status = ScanResult::Status::ReadError;
        result.scan.failedAt = file.size - 1;
        result.scan.error = file.error == OsdError::None ? OsdError::ReadFailed : file.error;
        return result;
    }
    osd_close(file);
    if (last != 0x00 && last != 0xFF) return result;
    result.pad = last;
    result.scan = scan_file(path, observer, last);
    return result;
}

std::int64_t trimmed_length(std::int64_t size, std::int64_t dataEnd, const TrimAlignment& alignment) {
    if (dataEnd <= 0) return 0;
    WideInt aligned = dataEnd;
    switch (alignment.kind) {
        case TrimAlignment::Kind::None: break;
        case TrimAlignment::Kind::Multiple: {
            const WideInt step = alignment.multiple > 0 ? alignment.multiple : 1;
            aligned = (aligned + step - 1) / step * step;
            break;
        }
        case TrimAlignment::Kind::PowerOfTwo: {
            WideInt power = 1;
            while (power < aligned) power *= 2;
            aligned = power;
            break;
        }
    }
    return aligned > size ? size : static_cast<std::int64_t>(aligned);
}
