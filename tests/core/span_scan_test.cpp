// Spans: many chunks shown or read at once where the cache holds them, the
// lower half tested on a second core. The answers and the progress are those of the
// chunk-by-chunk scan; a fault on either core is the read error at its chunk;
// slow spans are given up after a first look.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "size/scan.h"
#include "size/scan_worker.h"
#include "tests/child_process.h"
#include "tests/temp_dir.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

constexpr std::int64_t MiB = 1024 * 1024;

// Bytes in memory, shown chunk by chunk, as whole spans, or read out.
class SpanMemorySource final : public ScanSource {
public:
    explicit SpanMemorySource(const unsigned char* bytes, std::int64_t size) : bytes_(bytes), size_(size) {}
    OsdRangesBelow dataRangesBelow(std::int64_t end) override { return {0, {{0, end}}}; }
    bool readAt(std::int64_t offset, void* buffer, std::int64_t count) override {
        if (readDelay.count() > 0) std::this_thread::sleep_for(readDelay);
        ++reads;
        if (offset <= failAt && failAt < offset + count) return false;
        std::memcpy(buffer, bytes_ + offset, static_cast<std::size_t>(count));
        return true;
    }
    const unsigned char* viewAt(std::int64_t offset, std::int64_t count, std::int64_t runBegin) override {
        EXPECT_LE(runBegin, offset);
        EXPECT_LE(offset + count, size_);
        return offerChunks ? bytes_ + offset : nullptr;
    }
    const unsigned char* residentViewAt(std::int64_t offset, std::int64_t count, std::int64_t runBegin) override {
        EXPECT_LE(runBegin, offset);
        EXPECT_LE(offset + count, size_);
        EXPECT_LE(count, ScanSpanSize);
        EXPECT_EQ(count % ScanChunkSize, 0);
        if (!offerSpans) return nullptr;
        if (spanDelay.count() > 0) std::this_thread::sleep_for(spanDelay);
        ++spansGiven;
        return bytes_ + offset;
    }
    void prepareSpan(std::int64_t offset, std::int64_t count) override {
        EXPECT_GE(offset, 0);
        EXPECT_LE(offset + count, size_);
        prepared += count;
    }
    void releaseViews() override { ++releases; }
    bool spanCached(std::int64_t offset, std::int64_t count) override {
        EXPECT_LE(offset + count, size_);
        return concurrent != nullptr;
    }
    ScanSource* concurrentReader() override { return concurrent; }
    OsdError lastError() const override { return error; }

    bool offerChunks = true;
    bool offerSpans = true;
    // A read of the byte at this offset fails, with `error`.
    std::int64_t failAt = -1;
    OsdError error = OsdError::ReadFailed;
    // The reader for the worker; spans are read where there is one.
    SpanMemorySource* concurrent = nullptr;
    std::atomic<int> reads{0};
    std::chrono::microseconds readDelay{0}, spanDelay{0};
    int spansGiven = 0;
    int releases = 0;
    std::atomic<std::int64_t> prepared{0};  // from both threads

private:
    const unsigned char* bytes_;
    std::int64_t size_;
};

struct Observer final : ScanObserver {
    std::vector<int> percents;
    std::function<bool(int chunk)> atChunk;  // optional; false stops the scan
    bool beforeChunk(int percent) override {
        percents.push_back(percent);
        return !atChunk || atChunk(static_cast<int>(percents.size()));
    }
};

const unsigned char* data_of(const std::string& bytes) { return reinterpret_cast<const unsigned char*>(bytes.data()); }

bool two_cores() { return ScanWorker::worthwhile(); }

TEST(SpanScan, SameAnswerAndProgressAsChunkByChunk) {
    std::mt19937_64 random(20261208);
    for (int round = 0; round < 24; ++round) {
        // Up to a little over two spans, rarely a whole number of chunks.
        const std::int64_t size = 1 + static_cast<std::int64_t>(random() % (70 * MiB));
        const std::uint8_t pad = round % 2 == 0 ? 0x00 : 0xFF;
        std::string bytes(static_cast<std::size_t>(size), static_cast<char>(pad));
        // The last other byte near an edge counted from the end (chunks,
        // halves and spans all fall on whole MiB from there), or none.
        std::int64_t last = -1;
        if (round % 6 != 5) {
            const std::int64_t back = static_cast<std::int64_t>(random() % 70) * MiB + static_cast<std::int64_t>(random() % 3) - 1;
            last = std::clamp<std::int64_t>(size - 1 - back, 0, size - 1);
            bytes[static_cast<std::size_t>(last)] = static_cast<char>(pad ^ 0x21);
            if (last > 0) bytes[static_cast<std::size_t>(random() % static_cast<std::uint64_t>(last))] = 'x';
        }
        SCOPED_TRACE("round " + std::to_string(round) + " size " + std::to_string(size) + " last " +
                     std::to_string(last));

        SpanMemorySource spans(data_of(bytes), size), chunks(data_of(bytes), size);
        chunks.offerSpans = false;
        Observer bySpans, byChunks, byReading;
        const ScanResult spanned = scan_trailing(spans, size, bySpans, pad, ScanAccess::ViewsOnly);
        const ScanResult chunked = scan_trailing(chunks, size, byChunks, pad, ScanAccess::ViewsOnly);
        const ScanResult read = scan_trailing(chunks, size, byReading, pad, ScanAccess::ReadOnly);
        ASSERT_TRUE(spanned.ok());
        ASSERT_TRUE(chunked.ok());
        ASSERT_TRUE(read.ok());
        EXPECT_EQ(spanned.trailing, size - 1 - last);
        EXPECT_EQ(chunked.trailing, spanned.trailing);
        EXPECT_EQ(read.trailing, spanned.trailing);
        EXPECT_EQ(bySpans.percents, byChunks.percents);
        EXPECT_EQ(byReading.percents, byChunks.percents);
        EXPECT_EQ(spans.releases, 1);
        if (two_cores() && last < size - 2 * MiB) {
            EXPECT_GT(spans.spansGiven, 0) << "no span was tested";
        }
    }
}

// Stopped in the part this thread tests, in the part the worker tested, and
// in a later span: the scan ends there, with every view handed back.
TEST(SpanScan, StopsAtTheChunkTheObserverSays) {
    const std::int64_t size = 80 * MiB;
    const std::string zeros(static_cast<std::size_t>(size), '\0');
    for (int stopAt : {2, 16, 17, 20, 40}) {
        SCOPED_TRACE("stop at chunk " + std::to_string(stopAt));
        SpanMemorySource source(data_of(zeros), size);
        Observer observer;
        observer.atChunk = [&](int chunk) { return chunk < stopAt; };
        const ScanResult result = scan_trailing(source, size, observer, 0, ScanAccess::ViewsOnly);
        EXPECT_EQ(result.status, ScanResult::Status::Stopped);
        EXPECT_EQ(static_cast<int>(observer.percents.size()), stopAt);
        EXPECT_EQ(source.releases, 1);
    }
}

// With the worker and without: every byte of every span is prepared, half by
// each thread, and the answer is the same.
TEST(SpanScan, WholeSpansArePreparedOnce) {
    const std::int64_t size = 3 * ScanSpanSize;
    const std::string zeros(static_cast<std::size_t>(size), '\0');
    SpanMemorySource source(data_of(zeros), size);
    Observer observer;
    EXPECT_EQ(scan_trailing(source, size, observer, 0, ScanAccess::ViewsOnly).trailing, size);
    if (!two_cores()) GTEST_SKIP() << "one core: no spans";
    EXPECT_EQ(source.spansGiven, 3);
    EXPECT_EQ(source.prepared.load(), size);
}

// Fastest: spans that come slowly are left after a first look; spans that
// beat reading are kept to.
TEST(SpanScan, FastestLooksAtSlowSpansOnlyBriefly) {
    if (!two_cores()) GTEST_SKIP() << "one core: no spans";
    const std::int64_t size = 400 * MiB;
    const std::string zeros(static_cast<std::size_t>(size), '\0');
    Observer observer;

    SpanMemorySource slowSpans(data_of(zeros), size);
    slowSpans.spanDelay = std::chrono::milliseconds(20);
    EXPECT_EQ(scan_trailing(slowSpans, size, observer).trailing, size);
    EXPECT_LE(slowSpans.spansGiven, 3);

    SpanMemorySource slowReads(data_of(zeros), size);
    slowReads.readDelay = std::chrono::milliseconds(1);  // per 256 KiB piece
    EXPECT_EQ(scan_trailing(slowReads, size, observer).trailing, size);
    EXPECT_GE(slowReads.spansGiven, (size * 3 / 4) / ScanSpanSize) << "reading should be only samples";
}

// Read spans: where reading is the faster way and the bytes are cached, the
// worker reads the lower half through a reader of its own. The same answers
// and progress; a read that fails on either thread is the read error at its
// chunk, with that reader's cause.
TEST(SpanScan, ReadSpansGiveTheSameAnswersAndTheirOwnErrors) {
    if (!two_cores()) GTEST_SKIP() << "one core: no spans";
    const std::int64_t size = 70 * MiB + 4321;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    for (std::int64_t last : {size - 1, size - 3 * MiB - 7, size - 20 * MiB + 1, std::int64_t{5}}) {
        bytes[static_cast<std::size_t>(last)] = 'x';
        SCOPED_TRACE("last " + std::to_string(last));
        SpanMemorySource source(data_of(bytes), size), workerReader(data_of(bytes), size), plain(data_of(bytes), size);
        source.offerChunks = source.offerSpans = false;  // reading wins every time
        source.concurrent = &workerReader;
        plain.offerChunks = plain.offerSpans = false;
        Observer spanned, chunked;
        const ScanResult bySpans = scan_trailing(source, size, spanned);
        const ScanResult byChunks = scan_trailing(plain, size, chunked, 0, ScanAccess::ReadOnly);
        EXPECT_EQ(bySpans.trailing, size - 1 - last);
        EXPECT_EQ(byChunks.trailing, bySpans.trailing);
        EXPECT_EQ(spanned.percents, chunked.percents);
        if (last < size - 8 * MiB) {
            EXPECT_GT(workerReader.reads.load(), 0) << "the worker read nothing";
        }
        bytes[static_cast<std::size_t>(last)] = '\0';
    }

    // Failing reads: at the top of the worker's part of the first whole
    // span (the first 2 MiB are a span of their own, the next 32 MiB one
    // more, its lower half the worker's), and in this thread's part.
    const std::int64_t firstSpanEnd = size - 2 * MiB;
    const std::int64_t workerTop = firstSpanEnd - 16 * MiB;
    for (bool onWorker : {true, false}) {
        SCOPED_TRACE(onWorker ? "the worker's read fails" : "this thread's read fails");
        SpanMemorySource source(data_of(bytes), size), workerReader(data_of(bytes), size);
        source.offerChunks = source.offerSpans = false;
        source.concurrent = &workerReader;
        SpanMemorySource& failing = onWorker ? workerReader : source;
        failing.failAt = onWorker ? workerTop - 1 : firstSpanEnd - 3 * MiB - 1;
        failing.error = OsdError::AccessDenied;
        Observer observer;
        const ScanResult result = scan_trailing(source, size, observer);
        EXPECT_EQ(result.status, ScanResult::Status::ReadError);
        EXPECT_EQ(result.failedAt, onWorker ? workerTop - MiB : firstSpanEnd - 4 * MiB);
        EXPECT_EQ(result.error, OsdError::AccessDenied);
    }
}

#ifndef _WIN32

// An 8 MiB span whose lower half lies over files that were cut after they
// were mapped, so that touching it faults: [0, 3 MiB) always, [3, 4 MiB)
// unless `intactChunk` (then a mapped file that holds `lowerData`), and
// [4, 8 MiB) plain memory with `upperData`.
struct CutSpan {
    const TempDir& dir;
    bool intactChunk;
    std::int64_t lowerData;  // offset in [3, 4 MiB), or -1
    std::int64_t upperData;  // offset in [4, 8 MiB), or -1

    int scan(ScanResult& result) const {
        const std::int64_t size = 8 * MiB;
        auto* room = static_cast<unsigned char*>(
            ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        if (room == MAP_FAILED) return 10;
        if (upperData >= 0) room[upperData] = 'u';
        const std::string cut = dir.file("cut.bin");
        write_file(cut, std::string(static_cast<std::size_t>(4 * MiB), '\0'));
        const int cutFd = ::open(cut.c_str(), O_RDONLY);
        if (cutFd < 0 || ::mmap(room, 4 * MiB, PROT_READ, MAP_SHARED | MAP_FIXED, cutFd, 0) == MAP_FAILED) return 11;
        if (intactChunk) {
            const std::string intact = dir.file("intact.bin");
            std::string chunk(static_cast<std::size_t>(MiB), '\0');
            if (lowerData >= 0) chunk[static_cast<std::size_t>(lowerData - 3 * MiB)] = 'l';
            write_file(intact, chunk);
            const int intactFd = ::open(intact.c_str(), O_RDONLY);
            if (intactFd < 0 ||
                ::mmap(room + 3 * MiB, MiB, PROT_READ, MAP_SHARED | MAP_FIXED, intactFd, 0) == MAP_FAILED)
                return 12;
        }
        if (::truncate(cut.c_str(), 0) != 0) return 13;
        SpanMemorySource source(room, size);
        source.offerChunks = false;
        Observer observer;
        result = scan_trailing(source, size, observer, 0, ScanAccess::ViewsOnly);
        if (source.spansGiven != 1) return 14;
        if (observer.percents.size() != 8 - static_cast<std::size_t>(result.failedAt / MiB) &&
            result.status == ScanResult::Status::ReadError)
            return 15;
        return 0;
    }
};

TEST(SpanScanFault, AFaultOnEitherCoreIsAReadErrorAtItsChunk) {
    if (!two_cores()) GTEST_SKIP() << "one core: no spans";
    TempDir dir;
    struct Case {
        const char* what;
        CutSpan span;
        ScanResult::Status status;
        std::int64_t failedAt;
        std::int64_t trailing;
    };
    const Case cases[] = {
        {"the worker's first chunk faults", {dir, false, -1, -1}, ScanResult::Status::ReadError, 3 * MiB, 0},
        {"data above the fault wins", {dir, true, 3 * MiB + 100, -1}, ScanResult::Status::Ok, 0, 8 * MiB - (3 * MiB + 101)},
        {"the worker faults below a clean chunk", {dir, true, -1, -1}, ScanResult::Status::ReadError, 2 * MiB, 0},
        {"data in this thread's half ends it", {dir, false, -1, 5 * MiB + 7}, ScanResult::Status::Ok, 0, 8 * MiB - (5 * MiB + 8)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int outcome = in_child([&] {
            ScanResult result;
            if (const int failed = c.span.scan(result)) return failed;
            if (result.status != c.status) return 20 + static_cast<int>(result.status);
            if (c.status == ScanResult::Status::ReadError && result.failedAt != c.failedAt) return 30;
            if (c.status == ScanResult::Status::Ok && result.trailing != c.trailing) return 31;
            return 0;
        });
        EXPECT_EQ(outcome, 0);
    }
}

#endif  // !_WIN32

}  // namespace
