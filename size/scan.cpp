#include "size/scan.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <memory>

#include "size/padding_kernel.h"
#include "util/helper_thread.h"
#include "util/aligned_buffer.h"
#include "util/wide_int.h"

// How the scan gets at each stretch of bytes, decided once by its plan from
// what the system says of the file, never by timing:
// - Holes (from the source's data runs) are never read: zeros where 0 is a
//   pad byte, else the end of the padding; past the plan's budget for
//   holes, they are read like data.
// - A file all in the cache is tested on two cores, a span at a time: this
//   thread reads and tests the upper half while the helper thread does the
//   lower half through a reader of its own. One core copying out of the
//   cache is bound by that core; memory has room for two.
// - Other files come from a disk, one chunk at a time, with the chunks
//   below asked for ahead so that the disk reads them while this one is
//   tested: nothing reads ahead backwards by itself. Each is asked for
//   before any below it, so on a slow disk the chunk the window waits for
//   is never queued behind others.

namespace {

// What two cores share at once: about a millisecond of either one's work,
// long enough that waking the helper costs a few percent at most.
constexpr std::int64_t kSpanSize = 32 * ScanChunkSize;
// As far ahead as a fast disk needs to stay busy: twice the 8 MiB Linux
// reads ahead forwards on such disks (half as far, or twice, was slower in
// the bench).
constexpr std::int64_t kReadAhead = 16 * ScanChunkSize;
// A chunk is read in pieces that fit a core's cache, each tested right after
// its read, so the test does not go back out to slower memory.
constexpr std::int64_t kPieceSize = 256 * 1024;

// What testing one chunk found.
struct ChunkOutcome {
    enum class Kind { AllPad, Found, Failed };
    Kind kind = Kind::AllPad;
    std::int64_t lastNonPad = -1;     // from the chunk's start, when Found
    OsdError error = OsdError::None;  // when Failed
};

// Reads a chunk a piece at a time from its end, testing each piece right
// after its read, and stops at the first other byte.
ChunkOutcome test_chunk(ScanSource& source, unsigned char* buffer, std::int64_t chunkStart, std::int64_t count,
                        PadBytes pad) {
    for (std::int64_t end = count; end > 0;) {
        const std::int64_t piece = std::min(end, kPieceSize);
        end -= piece;
        const OsdError cause = source.readAt(chunkStart + end, buffer, piece);
        if (cause != OsdError::None) return {ChunkOutcome::Kind::Failed, -1, cause};
        const std::int64_t index = last_non_pad(buffer, piece, pad);
        if (index >= 0) return {ChunkOutcome::Kind::Found, end + index, OsdError::None};
    }
    return {};
}

// One scan, walked down the file: `position` is where the padding found so
// far begins.
class BackwardScan {
public:
    BackwardScan(ScanSource& source, std::int64_t size, ScanObserver& observer, PadBytes pad, ScanPlan plan)
        : position(size), source_(source), observer_(observer), pad_(pad),
          buffer_(make_aligned_buffer(static_cast<std::size_t>(std::min(size, kPieceSize)))) {
        result.size = size;
        if (!buffer_) result.status = ScanResult::Status::NoBuffer;
        // Two cores only where there is a span to share and all it takes.
        if (plan.twoCores && size >= 2 * ScanChunkSize) {
            secondReader_ = source_.secondReader();
            helperBuffer_ = make_aligned_buffer(static_cast<std::size_t>(kPieceSize));
            if (secondReader_ != nullptr && helperBuffer_) helper_ = std::make_unique<HelperThread>();
        }
        plan.twoCores = helper_ != nullptr;
        result.plan = plan;
    }

    // Tests the data from `position` down to `begin`. True when that ends
    // the scan, with `result` set.
    bool throughData(std::int64_t begin) {
        while (position > begin) {
            const std::int64_t span = std::min(position - begin, kSpanSize) / ScanChunkSize * ScanChunkSize;
            if (helper_ != nullptr && span >= 2 * ScanChunkSize) {
                if (throughSpan(span)) return true;
                continue;
            }
            if (!tellObserver()) return true;
            const std::int64_t chunk = std::min(position - begin, ScanChunkSize);
            const std::int64_t chunkStart = position - chunk;
            askAhead(begin, chunkStart);
            if (endsScan(test_chunk(source_, buffer_.get(), chunkStart, chunk, pad_), chunkStart)) return true;
            position = chunkStart;
        }
        return false;
    }

    ScanResult result;
    std::int64_t position;

private:
    // The observer hears of every chunk; false when it stops the scan.
    bool tellObserver() {
        const int percent = first_ ? 100 : percent_before(position, result.size);
        first_ = false;
        if (observer_.beforeChunk(percent)) return true;
        result.status = ScanResult::Status::Stopped;
        return false;
    }

    // Asks for the bytes down to kReadAhead below `chunkStart` (not below
    // `begin`, where the run ends) that were not asked for yet.
    void askAhead(std::int64_t begin, std::int64_t chunkStart) {
        const std::int64_t bottom = std::max(begin, chunkStart - kReadAhead);
        const std::int64_t top = std::min(askedDownTo_, chunkStart);
        if (bottom >= top) return;
        source_.readAhead(bottom, top - bottom);
        askedDownTo_ = bottom;
    }

    // Sets the result where a chunk's outcome ends the scan.
    bool endsScan(const ChunkOutcome& outcome, std::int64_t chunkStart) {
        switch (outcome.kind) {
            case ChunkOutcome::Kind::AllPad: return false;
            case ChunkOutcome::Kind::Found:
                result.trailing = result.size - (chunkStart + outcome.lastNonPad + 1);
                return true;
            case ChunkOutcome::Kind::Failed:
                result.status = ScanResult::Status::ReadError;
                result.failedAt = chunkStart;
                result.error = outcome.error;
                return true;
        }
        return true;
    }

    // Tests the `span` bytes below `position`: the upper half here, the
    // lower half on the helper at once. The observer hears of every chunk
    // in order, as if they were tested one after another. True when that
    // ends the scan.
    bool throughSpan(std::int64_t span) {
        const int chunks = static_cast<int>(span / ScanChunkSize);
        const int upperChunks = (chunks + 1) / 2;
        const std::int64_t lowerTop = position - upperChunks * ScanChunkSize;
        struct LowerHalf {
            std::atomic<bool> unwanted{false};
            int endingChunk = -1;  // counted from its top: where the scan ends
            ChunkOutcome outcome;
        } lower;
        auto testLower = [&] {
            for (int chunk = 0; chunk < chunks - upperChunks && !lower.unwanted.load(); ++chunk) {
                const ChunkOutcome found = test_chunk(*secondReader_, helperBuffer_.get(),
                                                      lowerTop - (chunk + 1) * ScanChunkSize, ScanChunkSize, pad_);
                if (found.kind == ChunkOutcome::Kind::AllPad) continue;
                lower.endingChunk = chunk;
                lower.outcome = found;
                return;
            }
        };
        const bool onHelper = helper_->start(testLower);
        const HelperThreadJoin joined(*helper_);
        for (int chunk = 0; chunk < chunks; ++chunk) {
            if (!tellObserver()) {
                lower.unwanted.store(true);
                return true;
            }
            const std::int64_t chunkStart = position - ScanChunkSize;
            ChunkOutcome outcome;
            if (chunk < upperChunks) {
                outcome = test_chunk(source_, buffer_.get(), chunkStart, ScanChunkSize, pad_);
            } else {
                if (chunk == upperChunks) onHelper ? helper_->wait() : testLower();
                if (chunk - upperChunks == lower.endingChunk) outcome = lower.outcome;
            }
            if (outcome.kind != ChunkOutcome::Kind::AllPad) {
                lower.unwanted.store(true);
                return endsScan(outcome, chunkStart);
            }
            position = chunkStart;
        }
        return false;
    }

    ScanSource& source_;
    ScanObserver& observer_;
    const PadBytes pad_;
    AlignedBuffer buffer_;
    ScanSource* secondReader_ = nullptr;
    AlignedBuffer helperBuffer_;
    std::unique_ptr<HelperThread> helper_;  // after what its jobs use: it goes first
    std::int64_t askedDownTo_ = std::numeric_limits<std::int64_t>::max();
    bool first_ = true;
};

}  // namespace

bool ScanObserver::beforeBytes(std::int64_t done, std::int64_t total) {
    return beforeChunk(percent_before(done, total));
}

int percent_before(std::int64_t position, std::int64_t size) {
    if (size <= 0 || position <= 0) return 0;
    if (position >= size) return 100;
    return static_cast<int>(static_cast<WideUint>(position) * 100 / static_cast<WideUint>(size));
}

ScanPlan plan_scan(std::int64_t size, std::int64_t allocated, bool allCached) {
    ScanPlan plan;
    plan.askHoles = allocated < 0 || allocated < size;
    if (plan.askHoles && allocated >= 0) {
        const WideInt budget = WideInt{size} - allocated + allocated / 256;
        plan.holeBudget = budget > WideInt{size} ? size : static_cast<std::int64_t>(budget);
    }
    plan.twoCores = allCached && HelperThread::worthwhile();
    return plan;
}

ScanResult scan_trailing(ScanSource& source, std::int64_t size, ScanObserver& observer, PadBytes pad,
                         ScanPlan plan) {
    if (size <= 0) {
        ScanResult empty;
        empty.size = size;
        empty.plan = plan;
        return empty;
    }
    BackwardScan scan(source, size, observer, pad, plan);
    if (!scan.result.ok()) return scan.result;
    // Takes [end, position) as a hole, zeros never read, while the plan's
    // budget for holes allows, and reads it otherwise. True when that ends
    // the scan.
    auto holeDownTo = [&](std::int64_t end) {
        const std::int64_t hole = scan.position - end;
        if (hole > plan.holeBudget - scan.result.holeBytes) return scan.throughData(end);
        if (!pad.includes(0)) {
            scan.result.trailing = size - scan.position;
            return true;
        }
        scan.result.holeBytes += hole;
        scan.position = end;
        return false;
    };
    for (std::int64_t below = size; below > 0;) {
        const OsdRangesBelow batch = plan.askHoles ? source.dataRangesBelow(below) : OsdRangesBelow{0, {{0, below}}};
        // A source that does not move down has given all it has.
        below = batch.from < below ? batch.from : 0;
        for (auto run = batch.ranges.rbegin(); run != batch.ranges.rend(); ++run) {
            if (run->end < scan.position && holeDownTo(run->end)) return scan.result;
            if (scan.throughData(std::max<std::int64_t>(run->begin, 0))) return scan.result;
        }
    }
    // Down to the start: nothing but padding, unless a hole below the lowest
    // run ends it.
    if (scan.position > 0 && holeDownTo(0)) return scan.result;
    scan.result.trailing = size;
    return scan.result;
}
