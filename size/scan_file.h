// Scanning a file on disk: opens it, reads through the file layer, closes it.
#pragma once

#include <cstdint>
#include <string>

#include "osd/osd.h"
#include "size/scan.h"

// Reads an open file through the file layer.
class FileSource final : public ScanSource {
public:
    explicit FileSource(OsdFile& file) : file_(file) {}
    std::vector<OsdRange> dataRanges() override;
    bool readAt(std::int64_t offset, void* buffer, std::int64_t count) override;
    OsdError lastError() const override { return file_.error; }

private:
    OsdFile& file_;
};

// Opens `path` read-only and scans it for trailing `pad` bytes. CannotOpen
// (with the cause in `error`) when it cannot be opened.
ScanResult scan_file(const std::string& path, ScanObserver& observer, std::uint8_t pad = 0);
