// How the scan gets at its bytes, decided by what the source says of them:
// spans the cache holds are shared with the helper thread through its own
// reader, other bytes are read chunk by chunk with the one below asked for
// ahead, never outside a data run. Whichever way, the answer and the
// progress are those of a scan on one thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "size/scan.h"
#include "util/helper_thread.h"

namespace {

constexpr std::int64_t MiB = 1024 * 1024;

// Bytes in memory behind data runs, with a cache that holds what `cachedFrom`
// says, a reader for the helper, and reads that may fail.
class FakeFile final : public ScanSource {
public:
    FakeFile(const std::string& bytes, std::vector<OsdRange> runs) : bytes_(bytes), runs_(std::move(runs)) {}
    OsdRangesBelow dataRangesBelow(std::int64_t end) override {
        OsdRangesBelow batch{0, {}};
        for (const OsdRange& run : runs_) {
            if (run.begin < end) batch.ranges.push_back({run.begin, std::min(run.end, end)});
        }
        return batch;
    }
    OsdError readAt(std::int64_t offset, void* buffer, std::int64_t count) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            reads.push_back({offset, offset + count});
        }
        if (offset <= failAt && failAt < offset + count) return error;
        std::memcpy(buffer, bytes_.data() + offset, static_cast<std::size_t>(count));
        return OsdError::None;
    }
    void readAhead(std::int64_t offset, std::int64_t count) override { askedAhead.push_back({offset, offset + count}); }
    ScanSource* secondReader() override { return second; }

    FakeFile* second = nullptr;
    std::int64_t failAt = -1;  // a read of this byte fails, with `error`
    OsdError error = OsdError::InputOutput;
    std::vector<OsdRange> reads, askedAhead;

private:
    const std::string& bytes_;
    std::vector<OsdRange> runs_;
    std::mutex mutex_;
};

struct Observer final : ScanObserver {
    std::vector<int> percents;
    std::function<bool(int chunk)> atChunk;  // optional; false stops the scan
    bool beforeChunk(int percent) override {
        percents.push_back(percent);
        return !atChunk || atChunk(static_cast<int>(percents.size()));
    }
};

bool inside(const OsdRange& range, const std::vector<OsdRange>& runs) {
    return std::any_of(runs.begin(), runs.end(),
                       [&](const OsdRange& run) { return run.begin <= range.begin && range.end <= run.end; });
}

// The plan for a file all in the cache: spans on two cores.
constexpr ScanPlan kTwoCores{true, std::numeric_limits<std::int64_t>::max(), true};

TEST(ScanRules, SameAnswerAndProgressWhicheverWay) {
    std::mt19937_64 random(20261208);
    for (int round = 0; round < 24; ++round) {
        // Up to a little over two spans, rarely a whole number of chunks.
        const std::int64_t size = 1 + static_cast<std::int64_t>(random() % (70 * MiB));
        const PadBytes pad = round % 3 == 0 ? PadBytes(0x00) : round % 3 == 1 ? PadBytes(0xFF) : PadBytes(0x00, 0xFF);
        std::string bytes(static_cast<std::size_t>(size), static_cast<char>(pad.second));
        // The last other byte near a chunk edge counted from the end, or none.
        std::int64_t last = -1;
        if (round % 6 != 5) {
            const std::int64_t back =
                static_cast<std::int64_t>(random() % 70) * MiB + static_cast<std::int64_t>(random() % 3) - 1;
            last = std::clamp<std::int64_t>(size - 1 - back, 0, size - 1);
            bytes[static_cast<std::size_t>(last)] = 0x21;
        }
        SCOPED_TRACE("round " + std::to_string(round) + " size " + std::to_string(size) + " last " +
                     std::to_string(last));
        const std::vector<OsdRange> whole{{0, size}};
        FakeFile fromDisk(bytes, whole), inCache(bytes, whole), helperReader(bytes, whole);
        inCache.second = &helperReader;
        Observer byChunks, bySpans;
        const ScanResult chunked = scan_trailing(fromDisk, size, byChunks, pad);
        const ScanResult spanned = scan_trailing(inCache, size, bySpans, pad, kTwoCores);
        ASSERT_TRUE(chunked.ok());
        ASSERT_TRUE(spanned.ok());
        EXPECT_EQ(chunked.trailing, size - 1 - last);
        EXPECT_EQ(spanned.trailing, chunked.trailing);
        EXPECT_EQ(bySpans.percents, byChunks.percents);
    }
}

// A file of three spans of data, a hole, and one more run below. All in the
// cache, the spans are shared with the helper; from a disk, each chunk is
// asked for ahead within its run.
TEST(ScanRules, CachedSpansOnTwoCoresOthersReadAheadWithinTheirRun) {
    const std::int64_t span = 32 * MiB;
    const std::int64_t size = 4 * span;
    const std::vector<OsdRange> runs{{0, MiB + 5}, {span, size}};
    std::string bytes(static_cast<std::size_t>(size), '\0');
    bytes[5] = 'x';
    for (const bool cached : {true, false}) {
        SCOPED_TRACE(cached ? "all cached" : "from a disk");
        FakeFile file(bytes, runs), helperReader(bytes, runs);
        file.second = &helperReader;
        Observer observer;
        const ScanResult result = scan_trailing(file, size, observer, 0, cached ? kTwoCores : ScanPlan{});
        ASSERT_TRUE(result.ok());
        EXPECT_EQ(result.trailing, size - 6);
        EXPECT_EQ(result.holeBytes, span - (MiB + 5));
        EXPECT_EQ(result.plan.twoCores, cached);
        // The lower half of each span above the hole, in 256 KiB pieces.
        EXPECT_EQ(helperReader.reads.size(), cached ? 3u * 16 * 4 : 0u);
        if (cached) continue;
        // Asked for ahead: each chunk before it was read (bar the first),
        // never a byte outside the runs, each byte once.
        std::int64_t askedBytes = 0, lowest = size - MiB;
        for (const OsdRange& ahead : file.askedAhead) {
            EXPECT_TRUE(inside(ahead, runs)) << "asked ahead at " << ahead.begin << " outside the data runs";
            if (ahead.begin >= span) {
                EXPECT_EQ(ahead.end, lowest) << "asked twice, or left a gap";
                lowest = ahead.begin;
                askedBytes += ahead.end - ahead.begin;
            }
        }
        EXPECT_EQ(lowest, span);
        EXPECT_EQ(askedBytes, size - MiB - span);
    }
}

// Holes are taken as zeros only as far as the plan's budget: a file system
// that calls data a hole has the bytes past the budget read.
TEST(ScanRules, HolesPastTheBudgetAreRead) {
    const std::int64_t size = 8 * MiB;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    bytes[static_cast<std::size_t>(3 * MiB)] = 'd';  // inside what the runs call a hole
    for (const std::int64_t budget : {std::int64_t{6} * MiB, std::int64_t{4} * MiB}) {
        FakeFile file(bytes, {{0, MiB}, {7 * MiB, size}});
        Observer observer;
        const ScanResult result = scan_trailing(file, size, observer, 0, ScanPlan{true, budget, false});
        EXPECT_EQ(result.trailing, budget >= 6 * MiB ? size : size - 3 * MiB - 1) << budget;
    }
}

// Stopped in this thread's half, in the helper's half, and in a later span:
// the scan ends there.
TEST(ScanRules, StopsAtTheChunkTheObserverSays) {
    const std::int64_t size = 80 * MiB;
    const std::string zeros(static_cast<std::size_t>(size), '\0');
    for (int stopAt : {2, 16, 17, 20, 40}) {
        SCOPED_TRACE("stop at chunk " + std::to_string(stopAt));
        FakeFile file(zeros, {{0, size}}), helperReader(zeros, {{0, size}});
        file.second = &helperReader;
        Observer observer;
        observer.atChunk = [&](int chunk) { return chunk < stopAt; };
        EXPECT_EQ(scan_trailing(file, size, observer, 0, kTwoCores).status, ScanResult::Status::Stopped);
        EXPECT_EQ(static_cast<int>(observer.percents.size()), stopAt);
    }
}

// A read that fails on either thread is the read error at its chunk, with
// that reader's cause: at the top of the helper's half of the first span,
// and in this thread's half.
TEST(ScanRules, AFailedReadOnEitherThreadIsAReadErrorAtItsChunk) {
    if (!HelperThread::worthwhile()) GTEST_SKIP() << "one core: nothing to share";
    const std::int64_t size = 70 * MiB + 4321;
    const std::string zeros(static_cast<std::size_t>(size), '\0');
    const std::int64_t helperTop = size - 16 * MiB;
    for (bool onHelper : {true, false}) {
        SCOPED_TRACE(onHelper ? "the helper's read fails" : "this thread's read fails");
        FakeFile file(zeros, {{0, size}}), helperReader(zeros, {{0, size}});
        file.second = &helperReader;
        FakeFile& failing = onHelper ? helperReader : file;
        failing.failAt = onHelper ? helperTop - 1 : size - 3 * MiB - 1;
        failing.error = OsdError::AccessDenied;
        Observer observer;
        const ScanResult result = scan_trailing(file, size, observer, 0, kTwoCores);
        EXPECT_EQ(result.status, ScanResult::Status::ReadError);
        EXPECT_EQ(result.failedAt, onHelper ? helperTop - MiB : size - 4 * MiB);
        EXPECT_EQ(result.error, OsdError::AccessDenied);
    }
}

}  // namespace
