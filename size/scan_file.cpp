#include "size/scan_file.h"

std::vector<OsdRange> FileSource::dataRanges() { return osd_data_ranges(file_, file_.size); }

bool FileSource::readAt(std::int64_t offset, void* buffer, std::int64_t count) {
    if (osd_seek(file_, offset, OsdOrigin::Begin) != offset) return false;
    if (osd_read(file_, buffer, count) == count) return true;
    // A short read means the file was cut under the scan.
    if (file_.error == OsdError::None) file_.error = OsdError::ReadFailed;
    return false;
}

ScanResult scan_file(const std::string& path, ScanObserver& observer, std::uint8_t pad) {
    OsdFile file;
    if (osd_open(file, path, OsdAccess::Read) != 0) {
        ScanResult failed;
        failed.status = ScanResult::Status::CannotOpen;
        failed.error = file.error;
        return failed;
    }
    FileSource source(file);
    ScanResult result = scan_trailing(source, file.size, observer, pad);
    osd_close(file);
    return result;
}
