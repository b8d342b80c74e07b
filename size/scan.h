// The backward scan engine: how many bytes of padding end a file. Pure: it
// reads through a ScanSource and reports to a ScanObserver, so any front end
// (the window, the command line) and any test can drive it.
#pragma once

#include <cstdint>
#include <vector>

#include "osd/osd.h"
#include "size/padding_kernel.h"

inline constexpr std::int64_t ScanChunkSize = 0x100000;
// The most the scan asks to see at once where a source has it all in memory:
// a run of chunks that two cores test together.
inline constexpr std::int64_t ScanSpanSize = 32 * ScanChunkSize;

// Where the scan reads from; the file in production, fakes in tests.
class ScanSource {
public:
    virtual ~ScanSource() = default;
    // The runs that hold data in [from, end) for a `from` the source picks,
    // in order; the rest of it reads as zero. The scan goes through them and
    // asks again below `from` until `from` is 0, so a source can look for
    // runs backwards from the end and stop where the scan stops.
    virtual OsdRangesBelow dataRangesBelow(std::int64_t end) = 0;
    // Reads exactly `count` bytes at `offset`; false on error or a short file.
    virtual bool readAt(std::int64_t offset, void* buffer, std::int64_t count) = 0;
    // Cause of the last failed read, for messages.
    virtual OsdError lastError() const { return OsdError::ReadFailed; }

    // The `count` bytes at `offset` where they lie in memory (a mapped view
    // of the file), for the scan to test in place instead of copying them
    // out; valid until the next call or releaseViews. Null when the source
    // has no view of them: the scan then reads them. The data run holding
    // them begins at `runBegin`: the scan asks for the bytes below next, so
    // a source may prepare them as far down as that, and never into a hole.
    // A view's bytes may still fail when touched (the file shrank); the scan
    // tests them under osd_run_guarded.
    virtual const unsigned char* viewAt(std::int64_t offset, std::int64_t count, std::int64_t runBegin) {
        (void)offset, (void)count, (void)runBegin;
        return nullptr;
    }
    // Like viewAt, for a span of up to ScanSpanSize bytes (whole chunks), but
    // only where every byte of it is in memory already, so that showing it
    // waits for no disk; null otherwise, and the scan goes on chunk by chunk.
    virtual const unsigned char* residentViewAt(std::int64_t offset, std::int64_t count, std::int64_t runBegin) {
        (void)offset, (void)count, (void)runBegin;
        return nullptr;
    }
    // Whether every byte of the `count` at `offset` is in memory, so that
    // reading them waits for no disk; the scan then reads a span of them on
    // two cores, through concurrentReader().
    virtual bool spanCached(std::int64_t offset, std::int64_t count) {
        (void)offset, (void)count;
        return false;
    }
    // A source over the same bytes whose readAt the scan's worker may call
    // while the scan's own thread calls this one's, each with an error of
    // its own. Null when there is none.
    virtual ScanSource* concurrentReader() { return nullptr; }
    // Gets these bytes of the span residentViewAt showed last ready for the
    // test (maps them), so that the test does not stop at every page.
    // Called from the scan's thread and its worker at once, for different
    // bytes.
    virtual void prepareSpan(std::int64_t offset, std::int64_t count) { (void)offset, (void)count; }
    // The scan is done with every view it was given.
    virtual void releaseViews() {}
};

// How the scan gets at the bytes of a source that offers views.
enum class ScanAccess {
    // Times testing views and reading on the file at hand, and keeps to the
    // faster, trying the other again now and then.
    Fastest,
    // Views wherever the source offers them.
    ViewsOnly,
    // Never views: reads every byte into the scan's own buffer.
    ReadOnly,
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

struct ScanResult {
    enum class Status { Ok, CannotOpen, NoBuffer, ReadError, Stopped };
    Status status = Status::Ok;
    std::int64_t size = 0;      // length of the file scanned
    std::int64_t trailing = 0;  // bytes of padding at its end
    std::int64_t holeBytes = 0; // of those, the ones in holes, never read
    std::int64_t failedAt = 0;  // start of the chunk whose read failed
    OsdError error = OsdError::None;

    bool ok() const { return status == Status::Ok; }
};

// Share of `size` that lies before `position`, 0..100, for the progress bar.
// Exact for every 64-bit size (a plain ×100 would wrap above ~184 PB).
int percent_before(std::int64_t position, std::int64_t size);

// Counts the bytes in `pad` at the end of `size` bytes of `source`,
// backwards in chunks of ScanChunkSize. Holes read as zero bytes: where 0
// is a pad byte they join the count without being read; otherwise a hole
// ends it.
// The observer is told before every chunk, whichever way it is got at; a
// chunk that cannot be read or touched is a ReadError at its start.
ScanResult scan_trailing(ScanSource& source, std::int64_t size, ScanObserver& observer, PadBytes pad = 0,
                         ScanAccess access = ScanAccess::Fastest);
