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
    // Where the file has no holes to look for, or the file system's holes
    // cannot be trusted (askForHoles false), every byte counts as data and
    // is read.
    explicit FileSource(OsdFile& file, bool askForHoles = true) : file_(file), askForHoles_(askForHoles) {}
    OsdRangesBelow dataRangesBelow(std::int64_t end) override;
    bool readAt(std::int64_t offset, void* buffer, std::int64_t count) override;
    OsdError lastError() const override { return file_.error; }
    bool cached(std::int64_t offset, std::int64_t count) override { return osd_cached(file_, offset, count); }
    void readAhead(std::int64_t offset, std::int64_t count) override { osd_read_ahead(file_, offset, count); }
    // A second handle on the file, so that each thread has its own error.
    ScanSource* secondReader() override;

private:
    OsdFile& file_;
    bool askForHoles_;
    // The first batch as long as two cores share at once.
    std::int64_t stride_ = 32 * ScanChunkSize;
    bool tailAsked_ = false;
    OsdFile secondFile_;
    std::unique_ptr<FileSource> second_;
};

// Whether a scan that counted `result.holeBytes` of its padding in holes
// can trust them: the file system must not have allocated more than the
// bytes outside those holes can hold. Some answer "no data" where there is
// some (tmpfs near 2^63 bytes); the blocks they allocated still show. The
// allowance is the bytes outside the holes in whole 4 KiB blocks, plus
// 1/256 of them for the file system's own index blocks.
bool holes_agree_with_allocation(const ScanResult& result, std::int64_t allocatedBytes);

// Scans the first `size` bytes of an open file for trailing `pad` bytes.
// Holes are looked for only where the file's allocation falls short of its
// length: some file systems (tmpfs) answer a hole query page by page, which
// for a dense file costs a good part of reading it. Where the holes it
// skipped contradict the file's allocation, it scans again reading every
// byte.
ScanResult scan_open_file(OsdFile& file, std::int64_t size, ScanObserver& observer, PadBytes pad = 0);

// Opens `path` read-only and scans it for trailing `pad` bytes. CannotOpen
// (with the cause in `error`) when it cannot be opened.
ScanResult scan_file(const std::string& path, ScanObserver& observer, PadBytes pad = 0);
