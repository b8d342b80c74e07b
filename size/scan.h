// The backward scan engine: how many bytes of padding end a file. Pure: it
// reads through a ScanSource and reports to a ScanObserver, so any front end
// (the window, the command line) and any test can drive it.
#pragma once

#include <cstdint>
#include <limits>

#include "osd/osd.h"
#include "size/padding_kernel.h"

inline constexpr std::int64_t ScanChunkSize = 0x100000;

// Where the scan reads from: a file in production, fakes in tests, through
// the same calls.
class ScanSource {
public:
    virtual ~ScanSource() = default;
    // The runs that hold data in [from, end) for a `from` the source picks,
    // in order; the rest of it reads as zero. The scan goes through them and
    // asks again below `from` until `from` is 0, so a source can look for
    // runs backwards from the end and stop where the scan stops.
    virtual OsdRangesBelow dataRangesBelow(std::int64_t end) = 0;
    // Reads exactly `count` bytes at `offset`: OsdError::None, or why not
    // (Shrank for a file that ends before them).
    virtual OsdError readAt(std::int64_t offset, void* buffer, std::int64_t count) = 0;
    // Asks for these bytes to be brought in while the scan tests others;
    // the scan never asks for bytes outside a data run.
    virtual void readAhead(std::int64_t offset, std::int64_t count) { (void)offset, (void)count; }
    // A source over the same bytes whose readAt the scan's helper thread
    // calls while the scan's own thread calls this one's. Null when there
    // is none.
    virtual ScanSource* secondReader() { return nullptr; }
};

// Told before each chunk is read; returns false to stop the scan.
class ScanObserver {
public:
    virtual ~ScanObserver() = default;
    virtual bool beforeChunk(int progressPercent) = 0;
    // Work that counts bytes (a written fill) tells them too; an observer
    // that shows only the share leaves this as it is.
    virtual bool beforeBytes(std::int64_t done, std::int64_t total);
};

// An observer for callers that want neither progress nor a way to stop.
class SilentObserver final : public ScanObserver {
public:
    bool beforeChunk(int) override { return true; }
};

// How a scan reads its file, decided before the first read from what can
// be stated of the file (its length, allocation and residency) and kept to
// the end.
struct ScanPlan {
    // Holes are looked up and never read, as long as the bytes taken as
    // holes stay within `holeBudget`; past it, holes are read like data.
    bool askHoles = true;
    std::int64_t holeBudget = std::numeric_limits<std::int64_t>::max();
    // Spans of 32 chunks are tested on two cores: the file is all in the
    // cache, and there is a second core and a reader for it.
    bool twoCores = false;
};

// The plan for a file of `size` bytes, `allocated` of them allocated (-1:
// unknown), all in the cache or not. Holes are asked for where the file
// system allocated less than the length; the bytes taken as holes may not
// exceed what the allocation leaves unallocated, with room for the file
// system's own index blocks (1/256 of the allocation), so that a file
// system that calls allocated data a hole (tmpfs near 2^63 bytes,
// preallocated extents) has those bytes read.
ScanPlan plan_scan(std::int64_t size, std::int64_t allocated, bool allCached);

struct ScanResult {
    enum class Status { Ok, CannotOpen, NoBuffer, ReadError, Stopped };
    Status status = Status::Ok;
    std::int64_t size = 0;      // length of the file scanned
    std::int64_t trailing = 0;  // bytes of padding at its end
    std::int64_t holeBytes = 0; // of those, the ones in holes, never read
    std::int64_t failedAt = 0;  // start of the chunk whose read failed
    OsdError error = OsdError::None;
    ScanPlan plan;              // the way it read

    bool ok() const { return status == Status::Ok; }
};

// Share of `size` that lies before `position`, 0..100, for the progress bar.
// Exact for every 64-bit size (a plain ×100 would wrap above ~184 PB).
int percent_before(std::int64_t position, std::int64_t size);

// Counts the bytes in `pad` at the end of `size` bytes of `source`,
// backwards in chunks of ScanChunkSize, the way `plan` says. Holes read as
// zero bytes: where 0 is a pad byte they join the count without being read;
// otherwise a hole ends it. The observer is told before every chunk, with
// the share of the file below it, the first time 100; a chunk that cannot
// be read is a ReadError at its start.
ScanResult scan_trailing(ScanSource& source, std::int64_t size, ScanObserver& observer, PadBytes pad = 0,
                         ScanPlan plan = {});
