// Scanning a file on disk: opens it, reads through the file layer, closes it.
#pragma once

#include <cstdint>
#include <string>

#include "osd/osd.h"
#include "size/scan.h"

// Reads an open file through the file layer. Looks for its data runs
// backwards from the end, in batches that double as the scan goes down.
class FileSource final : public ScanSource {
public:
    explicit FileSource(OsdFile& file) : file_(file) {}
    std::vector<OsdRange> dataRanges() override;
    OsdRangesBelow dataRangesBelow(std::int64_t end) override;
    bool readAt(std::int64_t offset, void* buffer, std::int64_t count) override;
    OsdError lastError() const override { return file_.error; }

private:
    OsdFile& file_;
    std::int64_t stride_ = std::int64_t{1} << 20;
};

// Reads an open file like FileSource, and also shows it through mapped views:
// one window at a time, up to kWindowSize bytes ending at the bytes asked
// for, unmapped before the next one is made, so that neither address space
// nor resident memory grows with the file. Each chunk is brought in just
// before it is tested; where that had to wait for the disk, the kLookahead
// bytes below each chunk of the window are brought in meanwhile on a second
// thread (which costs a little when the cache has everything). Where mapping
// is refused, it offers no views and the scan reads.
class MappedFileSource final : public ScanSource {
public:
    static constexpr std::int64_t kWindowSize = std::int64_t{16} << 20;
    // Window ends fall on large-page edges, so that cached large pages map
    // whole.
    static constexpr std::int64_t kWindowAlignment = std::int64_t{2} << 20;
    // Small enough that on a slow disk the chunk the scan waits for is never
    // queued behind much else.
    static constexpr std::int64_t kLookahead = std::int64_t{2} << 20;

    explicit MappedFileSource(OsdFile& file) : file_(file), reader_(file) {}
    std::vector<OsdRange> dataRanges() override { return reader_.dataRanges(); }
    OsdRangesBelow dataRangesBelow(std::int64_t end) override { return reader_.dataRangesBelow(end); }
    bool readAt(std::int64_t offset, void* buffer, std::int64_t count) override {
        return reader_.readAt(offset, buffer, count);
    }
    OsdError lastError() const override { return file_.error; }
    const unsigned char* viewAt(std::int64_t offset, std::int64_t count, std::int64_t runBegin) override;
    void releaseViews() override {
        prefetcher_.wait();
        window_.reset();
    }

private:
    OsdFile& file_;
    FileSource reader_;
    OsdMappedView window_;
    OsdPrefetcher prefetcher_;  // after window_: stops before the view goes
    bool refused_ = false;
    bool windowFromDisk_ = false;
};

// Opens `path` read-only and scans it for trailing `pad` bytes. CannotOpen
// (with the cause in `error`) when it cannot be opened.
ScanResult scan_file(const std::string& path, ScanObserver& observer, std::uint8_t pad = 0,
                     ScanAccess access = ScanAccess::Fastest);
