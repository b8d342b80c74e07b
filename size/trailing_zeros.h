#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "osd/osd.h"

class View;

inline constexpr std::int64_t ScanChunkSize = 0x100000;

// Where the scan reads from; the file in production, fakes in tests.
class ScanSource {
public:
    virtual ~ScanSource() = default;
    // The runs that hold data, in order; bytes outside them read as zero.
    virtual std::vector<OsdRange> dataRanges() = 0;
    // Reads exactly `count` bytes at `offset`; false on error or a short file.
    virtual bool readAt(std::int64_t offset, void* buffer, std::int64_t count) = 0;
};

// Told before each chunk is read; returns false to stop the scan.
class ScanObserver {
public:
    virtual ~ScanObserver() = default;
    virtual bool beforeChunk(int progressPercent) = 0;
};

struct ScanResult {
    enum class Status { Ok, CannotOpen, NoBuffer, ReadError, Stopped };
    Status status = Status::Ok;
    std::int64_t size = 0;         // length of the file scanned
    std::int64_t zeros = 0;        // zero bytes at its end
    std::int64_t failedAt = 0;     // start of the chunk whose read failed
};

// Counts the zero bytes at the end of `size` bytes of `source`, backwards in
// chunks of ScanChunkSize, counting holes as zeros without reading them.
ScanResult scan_trailing_zeros(ScanSource& source, std::int64_t size, ScanObserver& observer);

// Opens `path` and scans it, reporting progress to the window and pumping its
// events between chunks. On failure the status text says why.
ScanResult count_trailing_zeros(View& form, const std::string& path);

// The "末尾ゼロ検索" button: scans the file in Edit1 and sets OutputSize to
// its length without the trailing zeros.
void Button1Click(View& form);
