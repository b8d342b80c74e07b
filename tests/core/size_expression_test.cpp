// The size arithmetic and fill stream under tavrix-cli, at the edges the
// program's tests cannot reach cheaply.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>

#include "size/fill.h"
#include "size/size_expression.h"
#include "size/trim.h"
#include "tests/core/steps.h"
#include "tests/temp_dir.h"
#include "tests/unguarded.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

TEST(SizeExpression, RangeEdges) {
    EXPECT_EQ(parse_size_expression("8191P", false)->value, std::int64_t{8191} << 50);
    EXPECT_FALSE(parse_size_expression("8192P", false));  // exactly 2^63
    EXPECT_FALSE(parse_size_expression("99999999999999999999999", false));
    EXPECT_FALSE(parse_size_expression("+1K", false));
    using Parsed = ParsedSizeExpression::Status;
    EXPECT_EQ(read_size_expression("8E", false).status, Parsed::TooLarge);
    EXPECT_EQ(read_size_expression("99999999999999999999999Y", false).status, Parsed::TooLarge);
    EXPECT_EQ(read_size_expression("0Y", false).status, Parsed::Ok);
    EXPECT_EQ(read_size_expression("1X", false).status, Parsed::Invalid);
    EXPECT_EQ(read_size_expression("%0Z", true).status, Parsed::ZeroMultiple);
    EXPECT_EQ(parse_size_expression("+1K", true)->op, SizeOp::Grow);

    EXPECT_EQ(step_of(apply_size_expression({SizeOp::Grow, 1}, kMax).failure), Step::SizeTooLarge);
    EXPECT_EQ(step_of(apply_size_expression({SizeOp::RoundUp, kMax - 1}, kMax).failure), Step::SizeTooLarge);
    EXPECT_EQ(apply_size_expression({SizeOp::RoundUp, kMax}, kMax - 5).length, kMax);
    EXPECT_EQ(apply_size_expression({SizeOp::Shrink, kMax}, kMax).length, 0);
    EXPECT_EQ(step_of(apply_size_expression({SizeOp::Shrink, kMax}, kMax - 1).failure), Step::SizeBelowZero);
    EXPECT_EQ(apply_size_expression({SizeOp::AtMost, kMax}, 7).length, 7);
    EXPECT_EQ(apply_size_expression({SizeOp::AtLeast, kMax}, 7).length, kMax);
}

TEST(TrimmedLength, PowerOfTwoAndMultiplesNearTheTop) {
    const TrimAlignment pow2{TrimAlignment::Kind::PowerOfTwo, 1};
    EXPECT_EQ(trimmed_length(kMax, (std::int64_t{1} << 62) + 1, pow2), kMax);  // 2^63 does not fit
    EXPECT_EQ(trimmed_length(kMax, std::int64_t{1} << 62, pow2), std::int64_t{1} << 62);
    const TrimAlignment huge{TrimAlignment::Kind::Multiple, kMax};
    EXPECT_EQ(trimmed_length(kMax - 1, 1, huge), kMax - 1);
    EXPECT_EQ(trimmed_length(kMax, 1, huge), kMax);
}

// The bytes of a seed are fixed for good: a seed written down in a script
// must make the same file with every later version, on every platform.
// The stream changed once, to eight generators for speed: words 0 and 8 are
// the first two outputs of generator 0, seeded as the single generator
// before it was, so they are that stream's first 16 bytes.
TEST(FillStream, SeedGivesFixedBytesHoweverCut) {
    Fill fillRule;
    fillRule.kind = Fill::Kind::Random;
    fillRule.seed = 42;
    using Bytes = std::basic_string<unsigned char>;
    const unsigned char firstWords[] = {0x16, 0xc7, 0x2e, 0x0c, 0x2e, 0x0b, 0x78, 0x15, 0x83, 0x08, 0x40, 0x53,
                                        0x51, 0x7e, 0x64, 0xfe, 0x63, 0xcb, 0x04, 0xb4, 0xa5, 0x6f, 0xea, 0x74};
    const unsigned char word8[] = {0x7e, 0x3a, 0x11, 0x6d, 0x86, 0xd9, 0x04, 0x61};
    unsigned char whole[77];
    FillStream(fillRule).next(whole, sizeof whole);
    EXPECT_EQ(Bytes(whole, sizeof firstWords), Bytes(firstWords, sizeof firstWords));
    EXPECT_EQ(Bytes(whole + 64, 8), Bytes(word8, 8));

    unsigned char pieces[sizeof whole];
    FillStream stream(fillRule);
    stream.next(pieces, 8);
    stream.next(pieces + 8, 48);
    stream.next(pieces + 56, 16);
    stream.next(pieces + 72, 5);
    EXPECT_EQ(Bytes(pieces, sizeof pieces), Bytes(whole, sizeof whole));

    // In chunks: still the same stream.
    unsigned char longer[64 * 3 + 8];
    FillStream(fillRule).next(longer, sizeof longer);
    FillChunks chunks(fillRule, 64);
    ASSERT_TRUE(chunks.ok());
    for (std::size_t at = 0; at < sizeof longer; at += 64) {
        const std::size_t count = std::min<std::size_t>(64, sizeof longer - at);
        EXPECT_EQ(Bytes(chunks.next(count), count), Bytes(longer + at, count)) << at;
    }
}

// A fill of several chunks (written by two cores in turns where there are
// two) holds the stream, from the old end on, and stops where it is told.
TEST(FillStream, FileHoldsTheStreamWhoeverWroteEachChunk) {
    TempDir dir;
    const std::string path = dir.file("random.bin");
    write_file(path, "head");
    Fill fillRule;
    fillRule.kind = Fill::Kind::Random;
    fillRule.seed = 7;
    const std::int64_t fillLength = 3 * kFillChunkSize + 13;
    SilentObserver quiet;
    ASSERT_TRUE(fill_to_length(path, fixed_length(4 + fillLength), {}, fillRule, quiet).ok());
    std::string expected(static_cast<std::size_t>(fillLength), '\0');
    FillStream(fillRule).next(reinterpret_cast<unsigned char*>(expected.data()), expected.size());
    EXPECT_EQ(read_file(path), "head" + expected);

    struct StopAtThird final : ScanObserver {
        int calls = 0;
        bool beforeChunk(int) override { return ++calls < 3; }
    } stopping;
    const std::string stopped = dir.file("stopped.bin");
    const Change result = fill_to_length(stopped, fixed_length(8 * kFillChunkSize), {}, fillRule, stopping);
    EXPECT_EQ(step_of(result), Step::Stopped);
    EXPECT_FALSE(std::filesystem::exists(fs_path(stopped))) << "a stopped fill leaves no file it created";
}

#ifndef _WIN32  // Windows lets no one write a file being filled
// Another program coming to a file being filled stops the fill, which is
// undone only while the length is still its own: under a lease the other
// program's open waits for that; without one, the lines it appended stay.
TEST(FillStream, AnotherProgramStopsTheFillAndKeepsWhatItWrote) {
    TempDir dir;
    const std::string path = dir.file("log");
    Fill fillRule;
    fillRule.kind = Fill::Kind::Byte;
    fillRule.byte = 0xab;
    for (const bool unguarded : {false, true}) {
        SCOPED_TRACE(unguarded ? "unguarded" : "under a lease");
        std::optional<Unguarded> plain;
        if (unguarded) plain.emplace();
        write_file(path, "line1\n");
        // O_NONBLOCK: under a lease the open fails at once, and breaks it.
        struct Appender final : ScanObserver {
            std::string path;
            int calls = 0;
            bool beforeChunk(int) override {
                const int fd = ++calls == 2 ? ::open(path.c_str(), O_WRONLY | O_APPEND | O_NONBLOCK) : -1;
                return fd < 0 || (::write(fd, "line2\n", 6) == 6 && ::close(fd) == 0);
            }
        } appender;
        appender.path = path;
        const Change result = fill_to_length(path, fixed_length(6 + 4 * kFillChunkSize), {}, fillRule, appender);
        EXPECT_EQ(step_of(result), Step::Lock);
        EXPECT_EQ(result.failure->undoFailed, unguarded);
        const std::string kept = read_file(path);
        EXPECT_EQ(kept.substr(0, 6), "line1\n");
        EXPECT_EQ(kept.substr(kept.size() - 6), unguarded ? "line2\n" : "line1\n");
    }
}
#endif

}  // namespace
