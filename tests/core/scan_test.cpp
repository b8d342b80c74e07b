#include <gtest/gtest.h>

#include <cstring>

#include "size/scan.h"

namespace {

constexpr std::int64_t MiB = 1 << 20;

// Bytes held in memory; counts the chunks read.
class MemorySource final : public ScanSource {
public:
    explicit MemorySource(std::string bytes, std::vector<OsdRange> ranges = {})
        : bytes_(std::move(bytes)), ranges_(std::move(ranges)) {
        if (ranges_.empty()) ranges_.push_back({0, static_cast<std::int64_t>(bytes_.size())});
    }
    OsdRangesBelow dataRangesBelow(std::int64_t) override { return {0, ranges_}; }
    OsdError readAt(std::int64_t offset, void* buffer, std::int64_t count) override {
        reads.push_back({offset, count});
        if (reads.size() == failOnRead) return OsdError::InputOutput;
        std::memcpy(buffer, bytes_.data() + offset, static_cast<std::size_t>(count));
        return OsdError::None;
    }
    std::vector<std::pair<std::int64_t, std::int64_t>> reads;
    std::size_t failOnRead = 0;  // 1-based; 0 never fails

private:
    std::string bytes_;
    std::vector<OsdRange> ranges_;
};

struct RecordingObserver final : ScanObserver {
    std::vector<int> percents;
    bool beforeChunk(int percent) override {
        percents.push_back(percent);
        return true;
    }
};

std::string data_then_zeros(std::int64_t data, std::int64_t zeros) {
    return std::string(static_cast<std::size_t>(data), '\x5a') + std::string(static_cast<std::size_t>(zeros), '\0');
}

TEST(ScanTrailingZeros, CountsChunkByChunkFromTheEnd) {
    struct Case {
        std::int64_t data, zeros;
        std::size_t chunksRead;
    };
    const Case cases[] = {
        {100, 0, 1},                 // last byte not zero: one chunk
        {0, 10, 1},                  // all zero
        {0, MiB + 1, 2},             // 1 MiB, then 1 byte
        {1, MiB, 2},                 // the non-zero byte alone in the last chunk
        {3 * MiB + 100 - 1048676, 1048676, 2},
        {64, 63, 1},                 // zeros shorter than one 64-byte block
        {MiB, MiB, 2},               // data ends exactly on a chunk edge
        {5, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.data) + " data, " + std::to_string(c.zeros) + " zeros");
        MemorySource source(data_then_zeros(c.data, c.zeros));
        RecordingObserver observer;
        const ScanResult result = scan_trailing(source, c.data + c.zeros, observer);
        EXPECT_EQ(result.status, ScanResult::Status::Ok);
        EXPECT_EQ(result.trailing, c.zeros);
        EXPECT_EQ(observer.percents.size(), c.chunksRead);
        ASSERT_FALSE(observer.percents.empty());
        EXPECT_EQ(observer.percents.front(), 100);
    }
}

TEST(ScanTrailingZeros, FindsEveryPositionOfTheLastNonZeroByte) {
    // Walks the last data byte through every place in short buffers and in
    // buffers around the zero test's block sizes.
    std::vector<std::int64_t> lengths;
    for (std::int64_t length = 1; length <= 200; ++length) lengths.push_back(length);
    for (std::int64_t length : {1023, 1024, 1025, 2048, 3001, 4096}) lengths.push_back(length);
    for (std::int64_t length : lengths) {
        for (std::int64_t at = 0; at < length; ++at) {
            std::string bytes(static_cast<std::size_t>(length), '\0');
            bytes[static_cast<std::size_t>(at)] = '\x01';
            MemorySource source(bytes);
            RecordingObserver observer;
            ASSERT_EQ(scan_trailing(source, length, observer).trailing, length - at - 1)
                << "length " << length << " at " << at;
        }
    }
}

TEST(ScanTrailingZeros, HolesCountAsZerosWithoutBeingRead) {
    // 8 MiB: data at [0, 4), a non-zero byte at 3 MiB, written zeros at
    // [6 MiB, 6 MiB + 10), holes elsewhere.
    std::string bytes(8 * MiB, '\0');
    bytes.replace(0, 4, "data");
    bytes[3 * MiB] = 'x';
    const std::vector<OsdRange> ranges = {{0, 4096}, {3 * MiB - 4096, 3 * MiB + 4096}, {6 * MiB, 6 * MiB + 10}};
    MemorySource source(bytes, ranges);
    RecordingObserver observer;
    const ScanResult result = scan_trailing(source, 8 * MiB, observer);
    EXPECT_EQ(result.trailing, 8 * MiB - (3 * MiB + 1));
    // Only the written zeros and the run holding the byte were read.
    EXPECT_EQ(source.reads, (std::vector<std::pair<std::int64_t, std::int64_t>>{
                                {6 * MiB, 10}, {3 * MiB - 4096, 8192}}));
    EXPECT_EQ(observer.percents, (std::vector<int>{100, 37}));

    // All hole: nothing is read at all.
    MemorySource empty(std::string(4 * MiB, '\0'), {{0, 0}});
    EXPECT_EQ(scan_trailing(empty, 4 * MiB, observer).trailing, 4 * MiB);
    EXPECT_TRUE(empty.reads.empty());
}

TEST(ScanTrailingZeros, ProgressFallsAsTheScanMovesBack) {
    MemorySource source(std::string(4 * MiB, '\0'));
    RecordingObserver observer;
    EXPECT_EQ(scan_trailing(source, 4 * MiB, observer).trailing, 4 * MiB);
    EXPECT_EQ(observer.percents, (std::vector<int>{100, 75, 50, 25}));
}

TEST(ScanTrailingZeros, ReadErrorNamesTheChunkStart) {
    MemorySource source(std::string(3 * MiB, '\0'));
    source.failOnRead = 5;  // past the first chunk's pieces
    RecordingObserver observer;
    const ScanResult result = scan_trailing(source, 3 * MiB, observer);
    EXPECT_EQ(result.status, ScanResult::Status::ReadError);
    EXPECT_EQ(result.failedAt, MiB);
}

// Above ~184 PB a plain ×100 would wrap and the bar would jump back.
TEST(ScanProgress, PercentNeverOverflows) {
    EXPECT_EQ(percent_before(INT64_MAX, INT64_MAX), 100);
    EXPECT_EQ(percent_before(INT64_MAX / 2, INT64_MAX), 49);
    EXPECT_EQ(percent_before(INT64_MAX - 1, INT64_MAX), 99);
    EXPECT_EQ(percent_before(std::int64_t{1} << 61, std::int64_t{1} << 62), 50);
    EXPECT_EQ(percent_before(0, 10), 0);
    EXPECT_EQ(percent_before(5, 0), 0);
    int last = 100;
    for (std::int64_t position = INT64_MAX; position > 0; position /= 3) {
        const int percent = percent_before(position, INT64_MAX);
        EXPECT_LE(percent, last);
        last = percent;
    }
}

// Any pad byte: 0xFF padding as on flash images; a hole reads as zeros, so
// it is padding only when the pad byte is zero.
TEST(ScanTrailing, AnyPadByteAndHolesOnlyForZero) {
    std::string bytes = "data" + std::string(3 * MiB, '\xff');
    MemorySource source(bytes);
    RecordingObserver observer;
    EXPECT_EQ(scan_trailing(source, static_cast<std::int64_t>(bytes.size()), observer, 0xFF).trailing, 3 * MiB);
    EXPECT_EQ(scan_trailing(source, static_cast<std::int64_t>(bytes.size()), observer, 0x00).trailing, 0);

    // 0xFF data, then a hole to the end: no 0xFF padding at all.
    std::string holey = std::string(MiB, '\xff') + std::string(MiB, '\0');
    MemorySource withHole(holey, {{0, MiB}});
    EXPECT_EQ(scan_trailing(withHole, 2 * MiB, observer, 0xFF).trailing, 0);
    EXPECT_EQ(scan_trailing(withHole, 2 * MiB, observer, 0x00).trailing, MiB);
    // A hole before 0xFF padding ends it there.
    std::string tail = std::string(MiB, '\0') + std::string(100, '\xff');
    MemorySource holeThenPad(tail, {{MiB, MiB + 100}});
    EXPECT_EQ(scan_trailing(holeThenPad, MiB + 100, observer, 0xFF).trailing, 100);
    // All padding, and nothing at all.
    MemorySource allPad(std::string(5000, '\xff'));
    EXPECT_EQ(scan_trailing(allPad, 5000, observer, 0xFF).trailing, 5000);
    MemorySource allHole(std::string(5000, '\0'), {{0, 0}});
    EXPECT_EQ(scan_trailing(allHole, 5000, observer, 0xFF).trailing, 0);
}

}  // namespace
