#include <gtest/gtest.h>

#include <cstring>

#include "fake_view.h"
#include "size/execute.h"
#include "size/output_size.h"
#include "size/trailing_zeros.h"
#include "temp_dir.h"
#include "util/format_grouped.h"

namespace {

constexpr std::int64_t MiB = 1 << 20;

// Bytes held in memory; counts the chunks read.
class MemorySource final : public ScanSource {
public:
    explicit MemorySource(std::string bytes, std::vector<OsdRange> ranges = {})
        : bytes_(std::move(bytes)), ranges_(std::move(ranges)) {
        if (ranges_.empty()) ranges_.push_back({0, static_cast<std::int64_t>(bytes_.size())});
    }
    std::vector<OsdRange> dataRanges() override { return ranges_; }
    bool readAt(std::int64_t offset, void* buffer, std::int64_t count) override {
        reads.push_back({offset, count});
        if (reads.size() == failOnRead) return false;
        std::memcpy(buffer, bytes_.data() + offset, static_cast<std::size_t>(count));
        return true;
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
        const ScanResult result = scan_trailing_zeros(source, c.data + c.zeros, observer);
        EXPECT_EQ(result.status, ScanResult::Status::Ok);
        EXPECT_EQ(result.zeros, c.zeros);
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
            ASSERT_EQ(scan_trailing_zeros(source, length, observer).zeros, length - at - 1)
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
    const ScanResult result = scan_trailing_zeros(source, 8 * MiB, observer);
    EXPECT_EQ(result.zeros, 8 * MiB - (3 * MiB + 1));
    // Only the written zeros and the run holding the byte were read.
    EXPECT_EQ(source.reads, (std::vector<std::pair<std::int64_t, std::int64_t>>{
                                {6 * MiB, 10}, {3 * MiB - 4096, 8192}}));
    EXPECT_EQ(observer.percents, (std::vector<int>{100, 37}));

    // All hole: nothing is read at all.
    MemorySource empty(std::string(4 * MiB, '\0'), {{0, 0}});
    EXPECT_EQ(scan_trailing_zeros(empty, 4 * MiB, observer).zeros, 4 * MiB);
    EXPECT_TRUE(empty.reads.empty());
}

TEST(ScanTrailingZeros, ProgressFallsAsTheScanMovesBack) {
    MemorySource source(std::string(4 * MiB, '\0'));
    RecordingObserver observer;
    EXPECT_EQ(scan_trailing_zeros(source, 4 * MiB, observer).zeros, 4 * MiB);
    EXPECT_EQ(observer.percents, (std::vector<int>{100, 75, 50, 25}));
}

TEST(ScanTrailingZeros, ReadErrorNamesTheChunkStart) {
    MemorySource source(std::string(3 * MiB, '\0'));
    source.failOnRead = 5;  // past the first chunk's pieces
    RecordingObserver observer;
    const ScanResult result = scan_trailing_zeros(source, 3 * MiB, observer);
    EXPECT_EQ(result.status, ScanResult::Status::ReadError);
    EXPECT_EQ(result.failedAt, MiB);
}

class Button1Test : public testing::Test {
protected:
    void SetUp() override { OutputSize = 0; }
    TempDir dir;
    FakeView view;

    void scan(const std::string& path) {
        view.edits[EditId::Edit1] = path;
        Button1Click(view);
    }
};

TEST_F(Button1Test, WorkedExampleThenExecuteCutsTheZerosOff) {
    const std::string path = dir.file("dump.bin");
    const std::string bytes = data_then_zeros(3 * MiB + 100 - 1048676, 1048676);
    write_file(path, bytes);
    view.labels[LabelId::Label5] = "abc";
    scan(path);
    EXPECT_EQ(view.labels[LabelId::Label9], "1,048,676");
    EXPECT_EQ(view.labels[LabelId::Label4], "2,097,152");
    EXPECT_EQ(view.labels[LabelId::Label5], "abc");  // the hex label is the calculator's
    EXPECT_EQ(OutputSize, std::optional<std::int64_t>(2097152));
    EXPECT_EQ(view.progress.front(), 100);
    EXPECT_EQ(view.progress.back(), 0);
    EXPECT_EQ(view.pumps, 2);  // once before each chunk
    EXPECT_TRUE(view.statusTexts.empty());

    E1Click(view);
    EXPECT_EQ(view.status(), path + "を作成しました");
    EXPECT_EQ(read_file(path), bytes.substr(0, 2097152));
}

TEST_F(Button1Test, SmallFiles) {
    const std::string five = dir.file("five.bin");
    write_file(five, "abc" + std::string(5, '\0'));
    scan(five);
    EXPECT_EQ(view.labels[LabelId::Label9], "5");
    EXPECT_EQ(view.labels[LabelId::Label4], "3");

    const std::string zeros = dir.file("zeros.bin");
    write_file(zeros, std::string(10, '\0'));
    scan(zeros);
    EXPECT_EQ(view.labels[LabelId::Label9], "10");
    EXPECT_EQ(OutputSize, std::optional<std::int64_t>(0));

    const std::string empty = dir.file("empty.bin");
    write_file(empty, "");
    OutputSize = 99;
    scan(empty);
    EXPECT_EQ(view.labels[LabelId::Label9], "0");
    EXPECT_EQ(view.labels[LabelId::Label4], "0");
    EXPECT_EQ(OutputSize, std::optional<std::int64_t>(0));
    EXPECT_TRUE(view.statusTexts.empty());
}

TEST_F(Button1Test, SparseFilesAreCountedWithoutReadingTheHoles) {
    if (!holes_reported(dir)) GTEST_SKIP() << "this file system reports no holes";
    // All hole.
    const std::string hole = dir.file("hole.bin");
    make_sparse(hole, std::uintmax_t{5} << 30);
    scan(hole);
    EXPECT_EQ(view.labels[LabelId::Label9], "5,368,709,120");
    EXPECT_EQ(OutputSize, std::optional<std::int64_t>(0));

    // Data, a written run of zeros far in, then a hole to the end: the written
    // zeros count as well, and the data's last byte ends the count.
    const std::string image = dir.file("image.bin");
    write_file(image, std::string(4096, 'x'));
    {
        std::fstream out(fs_path(image), std::ios::binary | std::ios::in | std::ios::out);
        out.seekp(std::int64_t{8} << 30);
        out.write(std::string(MiB, '\0').data(), MiB);
    }
    std::filesystem::resize_file(fs_path(image), std::uintmax_t{16} << 30);
    scan(image);
    EXPECT_EQ(OutputSize, std::optional<std::int64_t>(4096));
    EXPECT_EQ(view.labels[LabelId::Label9], format_grouped((std::int64_t{16} << 30) - 4096));
}

TEST_F(Button1Test, FailuresKeepTheWindowAndTheLastSize) {
    OutputSize = 1234;
    view.labels[LabelId::Label4] = "1,234";
    view.labels[LabelId::Label9] = "7";
    for (const std::string& path : {dir.file("missing.bin"), dir.path(), std::string()}) {
        scan(path);
        EXPECT_EQ(view.status(), path + "を開けません");
        EXPECT_EQ(OutputSize, std::optional<std::int64_t>(1234));
        EXPECT_EQ(view.labels[LabelId::Label4], "1,234");
        EXPECT_EQ(view.labels[LabelId::Label9], "7");
        EXPECT_EQ(view.progress.back(), 0);
        EXPECT_EQ(view.commandsEnabled.back(), true);
    }
}

TEST_F(Button1Test, FileCutUnderTheScanIsAReadError) {
    const std::string path = dir.file("shrinking.bin");
    write_file(path, std::string(3 * MiB, '\0'));
    OutputSize = 1234;
    view.onPump = [&] { std::filesystem::resize_file(fs_path(path), MiB); };
    scan(path);
    EXPECT_EQ(view.status(), "リードエラー 0x200000");
    EXPECT_EQ(OutputSize, std::optional<std::int64_t>(1234));
    EXPECT_EQ(view.progress.back(), 0);
}

TEST_F(Button1Test, CommandsAreOffWhileScanning) {
    const std::string path = dir.file("zeros.bin");
    write_file(path, std::string(2 * MiB, '\0'));
    std::vector<bool> duringScan;
    view.onPump = [&] { duringScan.push_back(view.commandsEnabled.back()); };
    scan(path);
    EXPECT_EQ(duringScan, (std::vector<bool>{false, false}));
    EXPECT_EQ(view.commandsEnabled, (std::vector<bool>{false, true}));
}

TEST_F(Button1Test, ClosingTheWindowStopsTheScan) {
    const std::string path = dir.file("zeros.bin");
    write_file(path, std::string(3 * MiB, '\0'));
    OutputSize = 1234;
    view.onPump = [&] { view.closing = true; };
    scan(path);
    EXPECT_EQ(view.pumps, 1);
    EXPECT_EQ(OutputSize, std::optional<std::int64_t>(1234));
    EXPECT_EQ(view.labels[LabelId::Label9], "0");
}

}  // namespace
