// Scanning a file on disk: opens it, reads through the file layer, closes it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "osd/osd.h"
#include "size/scan.h"

// Reads an open file through the file layer. Looks for its data runs
// backwards from the end, in batches that double as the scan goes down.
class FileSource final : public ScanSource {
public:
    // Where the file system's holes cannot be trusted (holesTrusted false),
    // every byte counts as data and is read.
    explicit FileSource(OsdFile& file, bool holesTrusted = true) : file_(file), holesTrusted_(holesTrusted) {}
    OsdRangesBelow dataRangesBelow(std::int64_t end) override;
    bool readAt(std::int64_t offset, void* buffer, std::int64_t count) override;
    OsdError lastError() const override { return file_.error; }

    static constexpr std::int64_t kBatchAlignment = std::int64_t{2} << 20;

private:
    OsdFile& file_;
    bool holesTrusted_;
    // A first batch as long as a span, which the scan then tests in one go.
    std::int64_t stride_ = ScanSpanSize;
};

// Reads an open file like FileSource, and also shows it through mapped views:
// one window at a time, up to kWindowSize bytes ending at the bytes asked
// for, unmapped before the next one is made, so that neither address space
// nor resident memory grows with the file. Where the cache holds a whole
// span, it shows the span at once (the scan tests it on two cores). Else
// each chunk is brought in just before it is tested; where that had to wait
// for the disk, the kLookahead bytes below each chunk of the window are
// brought in meanwhile on a second thread. Where mapping is refused, it
// offers no views and the scan reads.
class MappedFileSource final : public ScanSource {
public:
    static constexpr std::int64_t kWindowSize = ScanSpanSize;
    // Windows begin and end on large-page edges, so that cached large
    // pages map whole.
    static constexpr std::int64_t kWindowAlignment = FileSource::kBatchAlignment;
    // Small enough that on a slow disk the chunk the scan waits for is never
    // queued behind much else.
    static constexpr std::int64_t kLookahead = std::int64_t{2} << 20;

    explicit MappedFileSource(OsdFile& file, bool holesTrusted = true) : file_(file), reader_(file, holesTrusted) {}
    OsdRangesBelow dataRangesBelow(std::int64_t end) override { return reader_.dataRangesBelow(end); }
    bool readAt(std::int64_t offset, void* buffer, std::int64_t count) override {
        return reader_.readAt(offset, buffer, count);
    }
    OsdError lastError() const override { return file_.error; }
    const unsigned char* viewAt(std::int64_t offset, std::int64_t count, std::int64_t runBegin) override;
    const unsigned char* residentViewAt(std::int64_t offset, std::int64_t count, std::int64_t runBegin) override;
    bool spanCached(std::int64_t offset, std::int64_t count) override { return osd_cached(file_, offset, count); }
    ScanSource* concurrentReader() override;
    // Mapping a span's pages in one call costs less than a fault for each;
    // a page that cannot be had fails in the test instead.
    void prepareSpan(std::int64_t offset, std::int64_t count) override { (void)window_.prefetch(offset, count); }
    void releaseViews() override {
        prefetcher_.wait();
        window_.reset();
    }

private:
    // Makes sure a window shows the bytes; false where mapping is refused.
    bool mapWindow(std::int64_t offset, std::int64_t count, std::int64_t runBegin);

    OsdFile& file_;
    FileSource reader_;
    OsdMappedView window_;
    OsdPrefetcher prefetcher_;  // after window_: stops before the view goes
    // The worker's own handle on the file, made when first asked for.
    OsdFile workerFile_;
    std::unique_ptr<FileSource> workerReader_;
    bool noWorkerReader_ = false;
    bool refused_ = false;
    bool windowFromDisk_ = false;
};

// Whether a scan that counted `result.holeBytes` of its padding in holes
// can trust them: the file system must not have allocated more than the
// bytes outside those holes can hold. Some answer "no data" where there is
// some (tmpfs near 2^63 bytes); the blocks they allocated still show. The
// allowance is the bytes outside the holes in whole 4 KiB blocks, plus
// 1/256 of them for the file system's own index blocks.
bool holes_agree_with_allocation(const ScanResult& result, std::int64_t allocatedBytes);

// Scans the first `size` bytes of an open file for trailing `pad` bytes.
// Where the holes it skipped contradict the file's allocation, it scans
// again reading every byte.
ScanResult scan_open_file(OsdFile& file, std::int64_t size, ScanObserver& observer, PadBytes pad = 0,
                          ScanAccess access = ScanAccess::Fastest);

// Opens `path` read-only and scans it for trailing `pad` bytes. CannotOpen
// (with the cause in `error`) when it cannot be opened.
ScanResult scan_file(const std::string& path, ScanObserver& observer, PadBytes pad = 0,
                     ScanAccess access = ScanAccess::Fastest);
