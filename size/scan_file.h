// Scanning a file on disk through the file layer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "osd/osd.h"
#include "size/scan.h"

// Reads an open file. Looks for its data runs backwards from the end, in
// batches that double as the scan goes down, so a scan that stops early
// never walks the runs below it. The last 64 KiB are read even where the
// file system calls them a hole, as near 2^63 some answer wrongly.
class FileSource final : public ScanSource {
public:
    explicit FileSource(OsdFile& file) : file_(file) {}
    OsdRangesBelow dataRangesBelow(std::int64_t end) override;
    OsdError readAt(std::int64_t offset, void* buffer, std::int64_t count) override;
    void readAhead(std::int64_t offset, std::int64_t count) override { osd_read_ahead(file_, offset, count); }
    // A second handle on the file, for the helper thread.
    ScanSource* secondReader() override;

private:
    OsdFile& file_;
    // The first batch as long as two cores share at once.
    std::int64_t stride_ = 32 * ScanChunkSize;
    bool tailAsked_ = false;
    OsdFile secondFile_;
    std::unique_ptr<FileSource> second_;
};

// Scans the first `size` bytes of an open file for trailing `pad` bytes,
// the way plan_scan says for its allocation and residency: holes are looked
// for only where the allocation falls short of the length (some file
// systems, tmpfs, answer a hole query page by page, which for a dense file
// costs a good part of reading it), and two cores share a file all in the
// cache.
ScanResult scan_open_file(OsdFile& file, std::int64_t size, ScanObserver& observer, PadBytes pad = 0);

// Opens `path` read-only and scans it for trailing `pad` bytes. CannotOpen
// (with the cause in `error`) when it cannot be opened.
ScanResult scan_file(const std::string& path, ScanObserver& observer, PadBytes pad = 0);
