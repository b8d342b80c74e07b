#include "size/scan.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <limits>
#include <memory>
#include <new>

#include "size/padding_kernel.h"
#include "size/scan_worker.h"
#include "util/aligned_buffer.h"
#include "util/wide_int.h"

namespace {

// Spans shorter than this are not shared with the worker.
constexpr int kSharedSpanChunks = 4;


// A chunk is read in pieces that fit a core's cache, each tested right after
// its read, so the test does not go back out to slower memory.
constexpr std::int64_t kPieceSize = 256 * 1024;


using Clock = std::chrono::steady_clock;

// Testing the bytes where a view shows them beats copying them out when the
// cache maps them in large pages; but a file cached in small pages (one
// just written in small pieces, say) can map several times slower than it
// reads, notably in virtual machines. So the scan times both ways on the
// file at hand: a sample of each, then a run of the faster, then a sample
// of the slower again. The runs are long enough that sampling the slower
// way costs a few percent however much slower it is, and double while the
// same way keeps winning.
class AccessChooser {
public:
    explicit AccessChooser(ScanAccess access) : access_(access) {}

    bool wantsView() const {
        if (access_ == ScanAccess::Fastest) return current_ == Way::View;
        return access_ == ScanAccess::ViewsOnly;
    }

    // The most bytes to get at in one go before the next record: the
    // untimed bytes of a stretch go alone, so that a span's set-up falls on
    // them.
    std::int64_t bytesLeft() const {
        if (access_ != ScanAccess::Fastest) return std::numeric_limits<std::int64_t>::max();
        return untimed_ > 0 ? std::min(untimed_, left_) : left_;
    }

    // `bytes` were got at by view or by reading in `seconds`.
    void record(bool viewed, std::int64_t bytes, double seconds) {
        if (access_ != ScanAccess::Fastest || bytes <= 0) return;
        const std::int64_t untimed = std::min(untimed_, bytes);
        untimed_ -= untimed;
        Tally& tally = tallies_[static_cast<int>(viewed ? Way::View : Way::Read)];
        if (bytes > untimed) {
            tally.bytes += bytes - untimed;
            tally.seconds += seconds * static_cast<double>(bytes - untimed) / static_cast<double>(bytes);
        }
        left_ -= bytes;
        // A first look at views that falls far behind reading, set-up and
        // all, says enough: this file maps slowly, and a whole sample of
        // views would cost more than the scan can win back.
        const double readRate = tallies_[static_cast<int>(Way::Read)].rate;
        if (viewed && sampling_ && untimed == bytes && readRate > 0 && seconds > 0 &&
            static_cast<double>(bytes) / seconds < readRate * kFarBehind) {
            tally.bytes += bytes;
            tally.seconds += seconds;
            left_ = 0;
        }
        if (left_ <= 0) nextStretch();
    }

private:
    enum class Way { View, Read };
    // Either way hands half of each span to the other core, and views pay
    // for mapping a window too: a sample is a whole span, so that this
    // counts as little as it does in a run.
    static constexpr std::int64_t kSample = ScanSpanSize;
    // The first bytes after a change of way are not timed: they may have
    // been brought in ahead by the other way, or pay for setting up this one.
    static constexpr std::int64_t kUntimed = 2 * ScanChunkSize;
    static constexpr double kFarBehind = 0.5;
    static constexpr std::int64_t kFirstRun = 8 * kSample;
    static constexpr std::int64_t kLongestRun = 4096 * ScanChunkSize;
    static constexpr double kRunsPerSample = 32;

    struct Tally {
        std::int64_t bytes = 0;
        double seconds = 0;
        double rate = -1;  // bytes per second; unknown below zero
    };

    static Way other(Way way) { return way == Way::View ? Way::Read : Way::View; }

    void startSample(Way way) {
        current_ = way;
        sampling_ = true;
        left_ = kUntimed + kSample;
        untimed_ = kUntimed;
    }

    void nextStretch() {
        for (Tally& tally : tallies_) {
            if (tally.bytes > 0) tally.rate = tally.seconds > 0 ? tally.bytes / tally.seconds : 1e30;
            tally.bytes = 0;
            tally.seconds = 0;
        }
        if (!sampled_) {
            // The first samples: reading, then views, which can then be
            // judged by their first look.
            if (current_ == Way::Read) return startSample(Way::View);
            sampled_ = true;
        } else if (!sampling_) {
            // A run ends: sample the other way again.
            return startSample(other(current_));
        }
        const double viewRate = tallies_[static_cast<int>(Way::View)].rate;
        const double readRate = tallies_[static_cast<int>(Way::Read)].rate;
        const Way winner = viewRate >= readRate ? Way::View : Way::Read;
        const double faster = std::max(viewRate, readRate);
        const double slower = std::max(std::min(viewRate, readRate), faster * 1e-3);
        // A close call may be noise (a disk's first reads, a busy machine):
        // a short run, then look again.
        const double run = faster < 1.5 * slower ? static_cast<double>(kFirstRun)
                                                 : std::clamp(kSample * kRunsPerSample * faster / slower,
                                                              static_cast<double>(kFirstRun),
                                                              static_cast<double>(kLongestRun));
        run_ = winner == winner_ ? std::max(static_cast<std::int64_t>(run), std::min(run_ * 2, kLongestRun))
                                 : static_cast<std::int64_t>(run);
        untimed_ = winner == current_ ? 0 : kUntimed;
        winner_ = winner;
        current_ = winner;
        sampling_ = false;
        left_ = run_;
    }

    ScanAccess access_;
    Way current_ = Way::Read;
    Way winner_ = Way::View;
    bool sampled_ = false;   // both ways measured once
    bool sampling_ = true;   // the stretch under way is a sample
    std::int64_t left_ = kUntimed + kSample;
    std::int64_t untimed_ = kUntimed;
    std::int64_t run_ = 0;
    Tally tallies_[2];
};

// Hands every view back however the scan ends.
class ViewsReleased {
public:
    explicit ViewsReleased(ScanSource& source) : source_(source) {}
    ~ViewsReleased() { source_.releaseViews(); }
    ViewsReleased(const ViewsReleased&) = delete;
    ViewsReleased& operator=(const ViewsReleased&) = delete;

private:
    ScanSource& source_;
};

struct ViewTest {
    const unsigned char* bytes;
    std::int64_t count;
    PadBytes pad;
    std::int64_t lastNonPad;
};

void run_view_test(void* context) {
    auto* test = static_cast<ViewTest*>(context);
    test->lastNonPad = last_non_pad(test->bytes, test->count, test->pad);
}

// What testing one chunk found.
struct ChunkOutcome {
    enum class Kind { AllPad, Found, Failed };
    Kind kind = Kind::AllPad;
    std::int64_t lastNonPad = -1;  // from the chunk's start, when Found
    OsdError error = OsdError::None;  // when Failed
};

// Tests a chunk where a view shows it. A byte that cannot be touched (the
// file shrank, a page could not be read in) fails it.
ChunkOutcome test_view_chunk(const unsigned char* bytes, std::int64_t count, PadBytes pad) {
    ViewTest test{bytes, count, pad, -1};
    if (!osd_run_guarded(bytes, count, run_view_test, &test)) return {ChunkOutcome::Kind::Failed, -1, OsdError::ReadFailed};
    if (test.lastNonPad >= 0) return {ChunkOutcome::Kind::Found, test.lastNonPad, OsdError::None};
    return {};
}

// Reads a chunk into `buffer` a piece at a time from its end, testing each
// piece right after its read, and stops at the first other byte.
ChunkOutcome read_chunk(ScanSource& source, unsigned char* buffer, std::int64_t chunkStart, std::int64_t count,
                        PadBytes pad) {
    for (std::int64_t end = count; end > 0;) {
        const std::int64_t piece = end < kPieceSize ? end : kPieceSize;
        end -= piece;
        if (!source.readAt(chunkStart + end, buffer, piece)) {
            return {ChunkOutcome::Kind::Failed, -1, source.lastError()};
        }
        const std::int64_t index = last_non_pad(buffer, piece, pad);
        if (index >= 0) return {ChunkOutcome::Kind::Found, end + index, OsdError::None};
    }
    return {};
}

// How the bytes of a span are got at: shown by a view, or read through a
// source into a buffer.
struct SpanAccess {
    const unsigned char* view;  // the span's first byte, or null to read
    ScanSource* reader;
    unsigned char* buffer;

    ChunkOutcome test(std::int64_t spanStart, std::int64_t chunkStart, PadBytes pad) const {
        if (view != nullptr) return test_view_chunk(view + (chunkStart - spanStart), ScanChunkSize, pad);
        return read_chunk(*reader, buffer, chunkStart, ScanChunkSize, pad);
    }
};

// The lower part of a span, tested chunk by chunk from its top on the
// worker while the scan's own thread tests the upper part. Stops at the
// first chunk that holds other bytes or cannot be got at, as the scan
// itself would, or when the scan no longer needs it.
struct LowerPart {
    LowerPart(SpanAccess access, std::int64_t start, int chunks, PadBytes pad)
        : access(access), start(start), chunks(chunks), pad(pad) {}

    SpanAccess access;
    std::int64_t start;  // of the span, and of this part
    int chunks;
    PadBytes pad;
    std::atomic<bool> unwanted{false};
    // The chunk (counted from the top, 0 first) that ends the scan, and what
    // was found there.
    int endingChunk = -1;
    ChunkOutcome outcome;

    void test(ScanSource& source) {
        if (access.view != nullptr) source.prepareSpan(start, chunks * ScanChunkSize);
        for (int chunk = 0; chunk < chunks && !unwanted.load(std::memory_order_relaxed); ++chunk) {
            const ChunkOutcome found = access.test(start, start + (chunks - 1 - chunk) * ScanChunkSize, pad);
            if (found.kind != ChunkOutcome::Kind::AllPad) {
                endingChunk = chunk;
                outcome = found;
                return;
            }
        }
    }
};

double seconds_between(Clock::time_point start, Clock::time_point end) {
    return std::chrono::duration<double>(end - start).count();
}

}  // namespace

bool ScanObserver::beforeBytes(std::int64_t done, std::int64_t total) {
    return beforeChunk(percent_before(done, total));
}

int percent_before(std::int64_t position, std::int64_t size) {
    if (size <= 0 || position <= 0) return 0;
    if (position >= size) return 100;
    return static_cast<int>(static_cast<WideUint>(position) * 100 / static_cast<WideUint>(size));
}

namespace {

// One scan, walked down the file: `position` is where the padding found so
// far begins.
class BackwardScan {
public:
    BackwardScan(ScanSource& source, std::int64_t size, ScanObserver& observer, PadBytes pad,
                 ScanAccess access, unsigned char* buffer, ScanWorker* worker, unsigned char* workerBuffer)
        : position(size), source_(source), observer_(observer), pad_(pad), access_(access), chooser_(access),
          buffer_(buffer), worker_(worker), workerBuffer_(workerBuffer) {
        result.size = size;
    }

    // Tests the data from `position` down to `begin`, chunk by chunk. True
    // when that ends the scan, with `result` set.
    bool throughData(std::int64_t begin) {
        using Status = ScanResult::Status;
        while (position > begin) {
            // The share of the file still unread; the bar starts full.
            const int percent = first_ ? 100 : percent_before(position, result.size);
            first_ = false;
            if (!observer_.beforeChunk(percent)) {
                result.status = Status::Stopped;
                return true;
            }
            const Clock::time_point started = Clock::now();
            const bool wantsView = chooser_.wantsView();
            if (!wantsView && viewsHeld_) {
                // Reading from here on: no window should stay mapped meanwhile.
                source_.releaseViews();
                viewsHeld_ = false;
            }
            if (worker_ != nullptr && position <= spanFloor_) {
                // Every chunk down to `begin` in whole chunks, up to a span.
                const std::int64_t span =
                    std::min({position - begin, ScanSpanSize, chooser_.bytesLeft()}) / ScanChunkSize * ScanChunkSize;
                if (span >= 2 * ScanChunkSize) {
                    const std::int64_t spanStart = position - span;
                    SpanAccess access{nullptr, nullptr, nullptr};
                    if (wantsView) {
                        access.view = source_.residentViewAt(spanStart, span, begin);
                        viewsHeld_ = viewsHeld_ || access.view != nullptr;
                    } else if (access_ == ScanAccess::Fastest && workerBuffer_ != nullptr &&
                               source_.spanCached(spanStart, span)) {
                        access.reader = source_.concurrentReader();
                    }
                    if (access.view != nullptr || access.reader != nullptr) {
                        if (throughSpan(access, span)) return true;
                        chooser_.record(wantsView, span, seconds_between(started, Clock::now()));
                        continue;
                    }
                    // Not all in memory: chunk by chunk until below it.
                    spanFloor_ = position - span;
                }
            }
            const std::int64_t chunk = position - begin < ScanChunkSize ? position - begin : ScanChunkSize;
            const std::int64_t chunkStart = position - chunk;
            const unsigned char* view = wantsView ? source_.viewAt(chunkStart, chunk, begin) : nullptr;
            viewsHeld_ = viewsHeld_ || view != nullptr;
            const ChunkOutcome outcome = view != nullptr ? test_view_chunk(view, chunk, pad_)
                                                         : read_chunk(source_, buffer_, chunkStart, chunk, pad_);
            if (endsScan(outcome, chunkStart)) return true;
            position = chunkStart;
            chooser_.record(view != nullptr, chunk, seconds_between(started, Clock::now()));
        }
        return false;
    }

    ScanResult result;
    std::int64_t position;

private:
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

    // Tests the `span` bytes below `position`: the upper chunks here, the
    // lower ones on the worker at the same time. The observer has been told
    // about the first chunk; it is told about each of the others in turn,
    // as if they were tested one after another. True when that ends the scan.
    bool throughSpan(const SpanAccess& access, std::int64_t span) {
        const std::int64_t spanStart = position - span;
        const int chunks = static_cast<int>(span / ScanChunkSize);
        const int upperChunks = (chunks + 1) / 2;
        LowerPart lower(access, spanStart, chunks - upperChunks, pad_);
        if (access.view == nullptr) lower.access.buffer = workerBuffer_;
        ScanSource& source = source_;
        // Waking the worker can take longer than testing a few MiB (a
        // virtual machine's idle core sleeps): a short span, such as the
        // first look at views, is tested here alone, through this thread's
        // own source and buffer.
        const bool onWorker =
            chunks >= kSharedSpanChunks && worker_->start([&lower, &source] { lower.test(source); });
        const ScanWorkerJoin joined(*worker_);
        if (!onWorker && access.view == nullptr) lower.access = {nullptr, &source_, buffer_};
        const SpanAccess upper{access.view, &source_, buffer_};
        auto endsHere = [&](const ChunkOutcome& outcome, std::int64_t chunkStart) {
            lower.unwanted.store(true, std::memory_order_relaxed);
            return endsScan(outcome, chunkStart);
        };
        if (access.view != nullptr) source_.prepareSpan(position - upperChunks * ScanChunkSize, upperChunks * ScanChunkSize);
        for (int chunk = 0; chunk < upperChunks; ++chunk) {
            if (chunk > 0 && !observer_.beforeChunk(percent_before(position, result.size))) {
                lower.unwanted.store(true, std::memory_order_relaxed);
                result.status = ScanResult::Status::Stopped;
                return true;
            }
            const std::int64_t chunkStart = position - ScanChunkSize;
            const ChunkOutcome outcome = upper.test(spanStart, chunkStart, pad_);
            if (outcome.kind != ChunkOutcome::Kind::AllPad) return endsHere(outcome, chunkStart);
            position = chunkStart;
        }
        if (onWorker) {
            worker_->wait();
        } else {
            lower.test(source_);
        }
        for (int chunk = 0; chunk < lower.chunks; ++chunk) {
            if (!observer_.beforeChunk(percent_before(position, result.size))) {
                result.status = ScanResult::Status::Stopped;
                return true;
            }
            const std::int64_t chunkStart = position - ScanChunkSize;
            if (chunk == lower.endingChunk) return endsScan(lower.outcome, chunkStart);
            position = chunkStart;
        }
        return false;
    }

    ScanSource& source_;
    ScanObserver& observer_;
    const PadBytes pad_;
    const ScanAccess access_;
    AccessChooser chooser_;
    unsigned char* const buffer_;
    ScanWorker* const worker_;  // null: one thread only
    unsigned char* const workerBuffer_;  // the worker's, for reading spans
    // Spans are not asked for above this offset: one was not all in memory.
    std::int64_t spanFloor_ = std::numeric_limits<std::int64_t>::max();
    bool first_ = true;
    bool viewsHeld_ = false;
};

}  // namespace

ScanResult scan_trailing(ScanSource& source, std::int64_t size, ScanObserver& observer, PadBytes pad,
                         ScanAccess access) {
    if (size <= 0) {
        ScanResult empty;
        empty.size = size;
        return empty;
    }
    const auto bufferSize = static_cast<std::size_t>(size < kPieceSize ? size : kPieceSize);
    AlignedBuffer buffer = make_aligned_buffer(bufferSize);
    // Spans go to a second core only where a file is large enough for them;
    // reading only stays on one thread, as a plain baseline.
    std::unique_ptr<ScanWorker> worker;
    AlignedBuffer workerBuffer;
    if (access != ScanAccess::ReadOnly && size >= 2 * ScanChunkSize && ScanWorker::worthwhile()) {
        worker = std::make_unique<ScanWorker>();
        workerBuffer = make_aligned_buffer(static_cast<std::size_t>(kPieceSize));
    }
    BackwardScan scan(source, size, observer, pad, access, buffer.get(), worker.get(), workerBuffer.get());
    if (!buffer) {
        scan.result.status = ScanResult::Status::NoBuffer;
        return scan.result;
    }

    const ViewsReleased viewsReleased(source);
    for (std::int64_t below = size; below > 0;) {
        const OsdRangesBelow batch = source.dataRangesBelow(below);
        // A source that does not move down has given all it has.
        below = batch.from < below ? batch.from : 0;
        for (auto range = batch.ranges.rbegin(); range != batch.ranges.rend(); ++range) {
            if (range->end < scan.position) {
                // A hole reads as zeros: padding only when zero is the pad byte.
                if (!pad.includes(0)) {
                    scan.result.trailing = size - scan.position;
                    return scan.result;
                }
                scan.result.holeBytes += scan.position - range->end;
                scan.position = range->end;
            }
            if (scan.throughData(range->begin < 0 ? 0 : range->begin)) return scan.result;
        }
    }
    // Nothing but padding, or with a pad other than zero, a hole at the start.
    scan.result.trailing = pad.includes(0) || scan.position == 0 ? size : size - scan.position;
    if (pad.includes(0)) scan.result.holeBytes += scan.position;
    return scan.result;
}
