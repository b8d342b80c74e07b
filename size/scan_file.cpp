#include "size/scan_file.h"

#include <algorithm>

namespace {

// Some file systems answer "no data" for the last page of a file whose
// length lies within a page of 2^63 (tmpfs); a page size larger than any
// system's covers that page wherever it begins.
constexpr std::int64_t kDistrustedTail = 64 * 1024;

// The first batch's tail, when the file system calls it a hole, is read
// all the same: it costs one small read, and a hole reads as zeros anyway.
void read_the_tail(OsdRangesBelow& batch, std::int64_t end) {
    if (!batch.ranges.empty() && batch.ranges.back().end == end) return;
    const std::int64_t tail = std::max(batch.from, (end - 1) / kDistrustedTail * kDistrustedTail);
    if (!batch.ranges.empty() && batch.ranges.back().end >= tail)
        batch.ranges.back().end = end;
    else
        batch.ranges.push_back({tail, end});
}

}  // namespace

OsdRangesBelow FileSource::dataRangesBelow(std::int64_t end) {
    const std::int64_t from = std::max(end - stride_, std::int64_t{0});
    OsdRangesBelow batch = osd_data_ranges_below(file_, end, end - from);
    if (!tailAsked_ && end > 0) read_the_tail(batch, end);
    tailAsked_ = true;
    // Each batch twice the last, up to 1 GiB: a dense file takes a few
    // dozen calls, and a scan that stops early has looked at most twice as
    // far as it went.
    stride_ = std::min(stride_ * 2, std::int64_t{1} << 30);
    return batch;
}

OsdError FileSource::readAt(std::int64_t offset, void* buffer, std::int64_t count) {
    OsdError cause = OsdError::None;
    if (osd_read_at(file_, offset, buffer, count, &cause) == count) return OsdError::None;
    // A short read means the file was cut under the scan.
    return cause == OsdError::None ? OsdError::Shrank : cause;
}

ScanSource* FileSource::secondReader() {
    if (!second_ && osd_duplicate(file_, secondFile_) == 0)
        second_ = std::make_unique<FileSource>(secondFile_);
    return second_.get();
}

ScanResult scan_open_file(OsdFile& file, std::int64_t size, ScanObserver& observer, PadBytes pad) {
    const std::int64_t allocated = osd_allocated_bytes(file);
    // Holes are never in the cache: only a dense file is asked about it.
    const bool dense = allocated >= size;
    const ScanPlan plan = plan_scan(size, allocated, dense && osd_cached(file, 0, size));
    FileSource source(file);
    return scan_trailing(source, size, observer, pad, plan);
}

ScanResult scan_file(const std::string& path, ScanObserver& observer, PadBytes pad) {
    OsdFile file;
    OsdError cause = OsdError::None;
    if (osd_open(file, path, OsdAccess::Read, &cause) != 0) {
        ScanResult failed;
        failed.status = ScanResult::Status::CannotOpen;
        failed.error = cause;
        return failed;
    }
    ScanResult result = scan_open_file(file, file.size, observer, pad);
    osd_close(file);
    return result;
}
