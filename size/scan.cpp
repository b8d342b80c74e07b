#include "size/scan.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <new>

#include "size/pad_test.h"
#include "util/wide_int.h"

namespace {

// The kernel copies file data into a page-aligned buffer several times faster
// than into one that starts mid cache line.
constexpr std::size_t kBufferAlignment = 4096;

// A chunk is read in pieces that fit a core's cache, each tested right after
// its read, so the test does not go back out to slower memory.
constexpr std::int64_t kPieceSize = 256 * 1024;

struct AlignedDelete {
    void operator()(unsigned char* bytes) const { ::operator delete[](bytes, std::align_val_t{kBufferAlignment}); }
};

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

    // `bytes` were got at by view or by reading in `seconds`.
    void record(bool viewed, std::int64_t bytes, double seconds) {
        if (access_ != ScanAccess::Fastest) return;
        if (untimed_ > 0) {
            untimed_ -= bytes;
        } else {
            Tally& tally = tallies_[static_cast<int>(viewed ? Way::View : Way::Read)];
            tally.bytes += bytes;
            tally.seconds += seconds;
        }
        left_ -= bytes;
        if (left_ <= 0) nextStretch();
    }

private:
    enum class Way { View, Read };
    static constexpr std::int64_t kSample = 4 * ScanChunkSize;
    // The first bytes after a change of way are not timed: they may have
    // been brought in ahead by the other way, or pay for setting up this one.
    static constexpr std::int64_t kUntimed = 2 * ScanChunkSize;
    static constexpr std::int64_t kFirstRun = 64 * ScanChunkSize;
    static constexpr std::int64_t kLongestRun = 1024 * ScanChunkSize;
    static constexpr double kRunsPerSample = 32;

    struct Tally {
        std::int64_t bytes = 0;
        double seconds = 0;
        double rate = -1;  // bytes per second; unknown below zero
    };

    static Way other(Way way) { return way == Way::View ? Way::Read : Way::View; }

    void nextStretch() {
        for (Tally& tally : tallies_) {
            if (tally.bytes > 0) tally.rate = tally.seconds > 0 ? tally.bytes / tally.seconds : 1e30;
            tally.bytes = 0;
            tally.seconds = 0;
        }
        if (!sampled_) {
            // The first samples: views, then reading.
            if (current_ == Way::View) {
                current_ = Way::Read;
                left_ = kUntimed + kSample;
                untimed_ = kUntimed;
                return;
            }
            sampled_ = true;
        } else if (!sampling_) {
            // A run ends: sample the other way again.
            current_ = other(current_);
            sampling_ = true;
            left_ = kUntimed + kSample;
            untimed_ = kUntimed;
            return;
        }
        const double viewRate = tallies_[static_cast<int>(Way::View)].rate;
        const double readRate = tallies_[static_cast<int>(Way::Read)].rate;
        const Way winner = viewRate >= readRate ? Way::View : Way::Read;
        const double faster = std::max(viewRate, readRate);
        const double slower = std::max(std::min(viewRate, readRate), faster * 1e-3);
        // A close call may be noise (a disk's first reads, a busy machine):
        // a short run, then look again.
        const double run = faster < 2 * slower ? static_cast<double>(kFirstRun)
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
    Way current_ = Way::View;
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
    std::uint8_t pad;
    std::int64_t lastNonPad;
};

void run_view_test(void* context) {
    auto* test = static_cast<ViewTest*>(context);
    test->lastNonPad = last_non_pad(test->bytes, test->count, test->pad);
}

double seconds_between(Clock::time_point start, Clock::time_point end) {
    return std::chrono::duration<double>(end - start).count();
}

}  // namespace

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
    BackwardScan(ScanSource& source, std::int64_t size, ScanObserver& observer, std::uint8_t pad,
                 ScanAccess access, unsigned char* buffer)
        : position(size), source_(source), observer_(observer), pad_(pad), chooser_(access), buffer_(buffer) {
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
            const std::int64_t chunk = position - begin < ScanChunkSize ? position - begin : ScanChunkSize;
            const std::int64_t chunkStart = position - chunk;
            const Clock::time_point started = Clock::now();
            const bool wantsView = chooser_.wantsView();
            if (!wantsView && viewsHeld_) {
                // Reading from here on: no window should stay mapped meanwhile.
                source_.releaseViews();
                viewsHeld_ = false;
            }
            const unsigned char* view = wantsView ? source_.viewAt(chunkStart, chunk, begin) : nullptr;
            if (view != nullptr) {
                viewsHeld_ = true;
                ViewTest test{view, chunk, pad_, -1};
                if (!osd_run_guarded(view, chunk, run_view_test, &test)) {
                    result.status = Status::ReadError;
                    result.failedAt = chunkStart;
                    result.error = OsdError::ReadFailed;
                    return true;
                }
                if (test.lastNonPad >= 0) {
                    result.trailing = result.size - (chunkStart + test.lastNonPad + 1);
                    return true;
                }
                position = chunkStart;
                chooser_.record(true, chunk, seconds_between(started, Clock::now()));
                continue;
            }
            while (position > chunkStart) {
                const std::int64_t piece = position - chunkStart < kPieceSize ? position - chunkStart : kPieceSize;
                const std::int64_t offset = position - piece;
                if (!source_.readAt(offset, buffer_, piece)) {
                    result.status = Status::ReadError;
                    result.failedAt = chunkStart;
                    result.error = source_.lastError();
                    return true;
                }
                const std::int64_t index = last_non_pad(buffer_, piece, pad_);
                if (index >= 0) {
                    result.trailing = result.size - (offset + index + 1);
                    return true;
                }
                position = offset;
            }
            chooser_.record(false, chunk, seconds_between(started, Clock::now()));
        }
        return false;
    }

    ScanResult result;
    std::int64_t position;

private:
    ScanSource& source_;
    ScanObserver& observer_;
    const std::uint8_t pad_;
    AccessChooser chooser_;
    unsigned char* const buffer_;
    bool first_ = true;
    bool viewsHeld_ = false;
};

}  // namespace

ScanResult scan_trailing(ScanSource& source, std::int64_t size, ScanObserver& observer, std::uint8_t pad,
                         ScanAccess access) {
    if (size <= 0) {
        ScanResult empty;
        empty.size = size;
        return empty;
    }
    const auto bufferSize = static_cast<std::size_t>(size < kPieceSize ? size : kPieceSize);
    std::unique_ptr<unsigned char[], AlignedDelete> buffer(static_cast<unsigned char*>(
        ::operator new[](bufferSize, std::align_val_t{kBufferAlignment}, std::nothrow)));
    BackwardScan scan(source, size, observer, pad, access, buffer.get());
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
                if (pad != 0) {
                    scan.result.trailing = size - scan.position;
                    return scan.result;
                }
                scan.position = range->end;
            }
            if (scan.throughData(range->begin < 0 ? 0 : range->begin)) return scan.result;
        }
    }
    // Nothing but padding, or with a pad other than zero, a hole at the start.
    scan.result.trailing = pad == 0 || scan.position == 0 ? size : size - scan.position;
    return scan.result;
}
