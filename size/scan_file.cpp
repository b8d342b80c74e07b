#include "size/scan_file.h"

#include <algorithm>
#include <chrono>

OsdRangesBelow FileSource::dataRangesBelow(std::int64_t end) {
    if (!holesTrusted_) return {0, {{0, end}}};
    // Batches begin on large-page edges, where mapped windows begin too.
    const std::int64_t from = std::max(end - stride_, std::int64_t{0}) / kBatchAlignment * kBatchAlignment;
    OsdRangesBelow batch = osd_data_ranges_below(file_, end, end - from);
    // Each batch twice the last, up to 1 GiB: a dense file takes a few
    // dozen calls, and a scan that stops early has looked at most twice as
    // far as it went.
    if (stride_ < (std::int64_t{1} << 30)) stride_ *= 2;
    return batch;
}

bool FileSource::readAt(std::int64_t offset, void* buffer, std::int64_t count) {
    if (osd_read_at(file_, offset, buffer, count) == count) return true;
    // A short read means the file was cut under the scan.
    if (file_.error == OsdError::None) file_.error = OsdError::ReadFailed;
    return false;
}

bool MappedFileSource::mapWindow(std::int64_t offset, std::int64_t count, std::int64_t runBegin) {
    if (refused_ || offset < 0 || count <= 0) return false;
    if (window_.contains(offset, count)) return true;
    releaseViews();  // never two windows at once
    const std::int64_t end = offset + count;
    const std::int64_t alignedEnd = (end + kWindowAlignment - 1) / kWindowAlignment * kWindowAlignment;
    const std::int64_t top = std::max(std::min(alignedEnd, file_.size), end);
    std::int64_t bottom = std::min(std::max({runBegin, top - kWindowSize, std::int64_t{0}}), offset);
    // A window that begins inside one of the cache's large pages tests
    // at half speed or worse: begin on an edge, where no hole is mapped.
    const std::int64_t alignedBottom = bottom / kWindowAlignment * kWindowAlignment;
    if (alignedBottom >= runBegin) bottom = alignedBottom;
    // A refusal is no error of the file's: keep the cause of the last real
    // failure for the read that follows.
    const OsdError before = file_.error;
    window_ = osd_map_view(file_, bottom, top - bottom);
    if (!window_.mapped()) {
        file_.error = before;
        refused_ = true;
        return false;
    }
    windowFromDisk_ = false;
    return true;
}

const unsigned char* MappedFileSource::viewAt(std::int64_t offset, std::int64_t count, std::int64_t runBegin) {
    if (!mapWindow(offset, count, runBegin)) return nullptr;
    // Bytes that cannot be brought in are read instead; the read then fails
    // and says why.
    const auto started = std::chrono::steady_clock::now();
    if (!window_.prefetch(offset, count)) return nullptr;
    // From the cache a chunk comes in within microseconds; from a disk in a
    // good part of a millisecond at least.
    if (std::chrono::steady_clock::now() - started > std::chrono::microseconds(200)) windowFromDisk_ = true;
    if (windowFromDisk_) {
        const std::int64_t ahead = std::max(window_.offset(), offset - kLookahead);
        prefetcher_.request(window_, ahead, offset - ahead);
    }
    return window_.data() + (offset - window_.offset());
}

const unsigned char* MappedFileSource::residentViewAt(std::int64_t offset, std::int64_t count,
                                                      std::int64_t runBegin) {
    if (count > kWindowSize || !mapWindow(offset, count, runBegin)) return nullptr;
    // Only a file the cache holds whole here: bringing in a span from a
    // slow disk in one go would keep the window waiting for seconds.
    if (!window_.resident(offset, count)) return nullptr;
    return window_.data() + (offset - window_.offset());
}

ScanSource* MappedFileSource::concurrentReader() {
    if (!workerReader_ && !noWorkerReader_) {
        if (osd_duplicate(file_, workerFile_) == 0) {
            workerReader_ = std::make_unique<FileSource>(workerFile_);
        } else {
            noWorkerReader_ = true;  // the scan then reads on one thread
        }
    }
    return workerReader_.get();
}

bool holes_agree_with_allocation(const ScanResult& result, std::int64_t allocatedBytes) {
    if (result.holeBytes <= 0 || allocatedBytes < 0) return true;
    constexpr std::int64_t kBlock = 4096;
    const std::int64_t outsideHoles = result.size - result.holeBytes;
    const std::int64_t blocks = outsideHoles / kBlock + (outsideHoles % kBlock != 0 ? 1 : 0);
    const std::int64_t indexBlocks = blocks / 256;
    return allocatedBytes <= (blocks + indexBlocks) * kBlock;
}

ScanResult scan_open_file(OsdFile& file, std::int64_t size, ScanObserver& observer, PadBytes pad,
                          ScanAccess access) {
    ScanResult result;
    {
        MappedFileSource source(file);
        result = scan_trailing(source, size, observer, pad, access);
    }
    if (!result.ok() || holes_agree_with_allocation(result, osd_allocated_bytes(file))) return result;
    MappedFileSource reading(file, false);
    return scan_trailing(reading, size, observer, pad, access);
}

ScanResult scan_file(const std::string& path, ScanObserver& observer, PadBytes pad, ScanAccess access) {
    OsdFile file;
    if (osd_open(file, path, OsdAccess::Read) != 0) {
        ScanResult failed;
        failed.status = ScanResult::Status::CannotOpen;
        failed.error = file.error;
        return failed;
    }
    ScanResult result = scan_open_file(file, file.size, observer, pad, access);
    osd_close(file);
    return result;
}
