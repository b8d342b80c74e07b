#include "size/trim.h"

#include "size/scan_file.h"
#include "size/set_length.h"
#include "util/wide_int.h"

PaddingScan scan_padding(OsdFile& file, PadChoice choice, ScanObserver& observer) {
    PaddingScan result;
    OsdError cause = OsdError::None;
    if (osd_state(file, result.measured, &cause) != 0) {
        result.scan.status = ScanResult::Status::ReadError;
        result.scan.error = cause;
        return result;
    }
    const std::int64_t size = result.measured.size;
    // The reads of the scan stop at the length measured.
    file.size = size;
    result.scan.size = size;
    if (choice.automatic) {
        if (size == 0) return result;
        unsigned char last = 0;
        if (osd_read_at(file, size - 1, &last, 1, &cause) != 1) {
            result.scan.status = ScanResult::Status::ReadError;
            result.scan.failedAt = size - 1;
            result.scan.error = cause == OsdError::None ? OsdError::Shrank : cause;
            return result;
        }
        if (last != 0x00 && last != 0xFF) return result;
        choice.bytes = last;
    }
    result.pad = choice.bytes;
    result.scan = scan_open_file(file, size, observer, choice.bytes);
    return result;
}

PaddingScan scan_padding(const std::string& path, PadChoice choice, ScanObserver& observer) {
    OsdFile file;
    OsdError cause = OsdError::None;
    if (osd_open(file, path, OsdAccess::Read, &cause) != 0) {
        PaddingScan failed;
        failed.scan.status = ScanResult::Status::CannotOpen;
        failed.scan.error = cause;
        return failed;
    }
    return scan_padding(file, choice, observer);
}

namespace {

using Step = Failure::Step;

// Whether the handle still reaches the file measured, unchanged, and the
// path still names it.
bool still_as_measured(const OsdFile& file, const std::string& path, const OsdFileState& measured) {
    OsdFileState now;
    OsdFileState named;
    return osd_state(file, now) == 0 && now.unchangedSince(measured) && osd_path_state(path, named) == 0 &&
           named.sameFile(measured);
}

// Whether the padding must be tested again before it is cut: a write since
// the measurement could hide behind coarse time stamps, unless a lease has
// kept every other program out from the measurement until now.
bool needs_retest(const OsdFile& file, const OsdFileState& measured) {
    if (!measured.stampsMayMissWrites()) return false;
    return !(measured.exclusive && file.leased && !osd_exclusive_lost(file));
}

// Tests the padding above `newLength` once more; nullopt when it still is
// all padding and the file still as measured.
std::optional<Failure> retest(OsdFile& file, const std::string& path, const OsdFileState& measured,
                              std::int64_t newLength, PadBytes pad, ScanObserver& observer) {
    file.size = measured.size;
    const ScanResult again = scan_open_file(file, measured.size, observer, pad);
    if (again.status == ScanResult::Status::Stopped) return failed_at(Step::Stopped);
    if (again.status == ScanResult::Status::ReadError) {
        Failure unread = failed_at(Step::Retest, again.error);
        unread.offset = again.failedAt;
        return unread;
    }
    // A write during the test may land where it has already looked.
    if (!again.ok() || measured.size - again.trailing > newLength || !still_as_measured(file, path, measured))
        return failed_at(Step::Changed);
    return std::nullopt;
}

}  // namespace

std::optional<Failure> cut_measured(OsdFile& file, const std::string& path, const OsdFileState& measured,
                                    std::int64_t newLength, PadBytes pad, ScanObserver& observer) {
    if (osd_exclusive_lost(file)) return failed_at(Step::Lock, OsdError::InUse);
    if (!still_as_measured(file, path, measured) || newLength < 0 || newLength > measured.size)
        return failed_at(Step::Changed);
    if (newLength < measured.size && needs_retest(file, measured)) {
        if (std::optional<Failure> failure = retest(file, path, measured, newLength, pad, observer)) return failure;
    }
    std::optional<Failure> failure = move_end(file, newLength, measured.size);
    osd_release_exclusive(file);
    return failure;
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
