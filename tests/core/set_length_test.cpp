#include <gtest/gtest.h>

#include <filesystem>
#include <limits>

#include "size/set_length.h"
#include "tests/core/steps.h"
#include "tests/temp_dir.h"
#include "tests/unguarded.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {


TEST(SetLength, CutsExtendsAndCreates) {
    TempDir dir;
    const std::string path = dir.file("file.bin");
    write_file(path, "0123456789");

    Change cut = set_file_length(path, 4);
    EXPECT_EQ(step_of(cut), std::nullopt);
    EXPECT_FALSE(cut.created);
    EXPECT_EQ(cut.oldSize, 10);
    EXPECT_EQ(read_file(path), "0123");

    EXPECT_TRUE(set_file_length(path, 6).ok());
    EXPECT_EQ(read_file(path), std::string("0123\0\0", 6));

    const std::string fresh = dir.file("fresh.bin");
    Change created = set_file_length(fresh, 3);
    EXPECT_TRUE(created.ok());
    EXPECT_TRUE(created.created);
    EXPECT_EQ(created.oldSize, -1);
    EXPECT_EQ(read_file(fresh), std::string(3, '\0'));
}

TEST(SetLength, RefusalsKeepTheirCauseAndTouchNothing) {
    TempDir dir;
    const std::string path = dir.file("keep.bin");
    write_file(path, "keep");

    EXPECT_EQ(step_of(set_file_length(path, -1)), Step::SizeBelowZero);
    EXPECT_EQ(read_file(path), "keep");

    SetLengthOptions asking;
    std::vector<std::int64_t> asked;
    asking.confirmCut = [&](std::int64_t current, std::int64_t target) {
        asked = {current, target};
        return false;
    };
    EXPECT_EQ(step_of(set_file_length(path, 1, asking)), Step::Declined);
    EXPECT_EQ(asked, (std::vector<std::int64_t>{4, 1}));
    EXPECT_EQ(read_file(path), "keep");

#ifndef _WIN32  // Windows lets no one write a file opened for a change
    // Where no lease keeps others out, the question is asked again should
    // the file change while it is open.
    const Unguarded unguarded;
    std::vector<std::int64_t> lengths;
    asking.confirmCut = [&](std::int64_t current, std::int64_t) {
        lengths.push_back(current);
        if (lengths.size() == 1) write_file(path, "keep+");
        return true;
    };
    EXPECT_EQ(step_of(set_file_length(path, 1, asking)), std::nullopt);
    EXPECT_EQ(lengths, (std::vector<std::int64_t>{4, 5}));
    EXPECT_EQ(read_file(path), "k");
    write_file(path, "keep");
#endif

    SetLengthOptions existingOnly;
    existingOnly.open = LengthOpen::OpenExisting;
    const Change missing = set_file_length(dir.file("missing.bin"), 1, existingOnly);
    EXPECT_EQ(step_of(missing), Step::Open);
    EXPECT_EQ(cause_of(missing), OsdError::NotFound);
    EXPECT_FALSE(std::filesystem::exists(fs_path(dir.file("missing.bin"))));

    const Change folder = set_file_length(dir.path(), 1);
    EXPECT_EQ(step_of(folder), Step::Open);
    EXPECT_EQ(cause_of(folder), OsdError::IsFolder);
    EXPECT_STREQ(osd_error_text(cause_of(folder)), "is a folder");

    const Change noFolder = set_file_length(dir.file("no-such/x.bin"), 1);
    EXPECT_EQ(step_of(noFolder), Step::Create);
    EXPECT_EQ(cause_of(noFolder), OsdError::NotFound);
}

// A file this call created and could not size is removed again; a file
// that was there before never is.
TEST(SetLength, AFailedCreateLeavesNothingBehind) {
    TempDir dir;
    const std::string fresh = dir.file("too-big.bin");
    const Change result = set_file_length(fresh, INT64_MAX);
    EXPECT_EQ(step_of(result), Step::SetEnd);
    EXPECT_NE(cause_of(result), OsdError::None);
    EXPECT_FALSE(std::filesystem::exists(fs_path(fresh)));

    const std::string existing = dir.file("existing.bin");
    write_file(existing, "mine");
    EXPECT_EQ(step_of(set_file_length(existing, INT64_MAX)), Step::SetEnd);
    EXPECT_EQ(read_file(existing), "mine");
}

// Where the file system writes every zero (stand-in answers here), a growth
// it cannot hold is refused before anything is written, and one stopped
// midway is undone; the rest is made step by step.
TEST(SetLength, GrowthThatWritesZerosIsCheckedFirstAndUndoneWhenStopped) {
    TempDir dir;
    const std::string path = dir.file("card.bin");
    constexpr std::int64_t kMost = std::numeric_limits<std::int64_t>::max();
    struct Case {
        OsdGrowth answer;  // known, writesZeros, largestFile, freeSpace
        std::int64_t target;
        std::optional<Step> step;
        OsdError cause;
    };
    const Case cases[] = {
        {{true, true, kMost, 1 << 20}, 64 << 20, Step::Space, OsdError::None},
        {{true, true, 0xFFFFFFFF, kMost}, std::int64_t{5} << 30, Step::SetEnd, OsdError::TooLarge},
        {{true, true, kMost, kMost}, 64 << 20, Step::Stopped, OsdError::None},  // stopped at the third step
        {{true, true, kMost, kMost}, 16 << 20, std::nullopt, OsdError::None},
    };
    for (const Case& c : cases) {
        write_file(path, "data");
        osd_set_growth_answer(c.answer);
        struct StopAtThird final : ScanObserver {
            int steps = 0;
            bool beforeChunk(int) override { return ++steps < 3; }
        } observer;
        SetLengthOptions options;
        options.progress = &observer;
        const Change change = set_file_length(path, c.target, options);
        osd_set_growth_answer(std::nullopt);
        EXPECT_EQ(step_of(change), c.step) << c.target;
        EXPECT_EQ(cause_of(change), c.cause);
        EXPECT_EQ(file_size(path), c.step ? 4u : static_cast<std::uintmax_t>(c.target));
    }
}

#ifndef _WIN32
// Under a file-size limit the kernel would end the process with SIGXFSZ;
// growing past it must come back as an error instead. Run in a child, so a
// missed signal fails this test and not the whole suite.
TEST(SetLength, FileSizeLimitIsAnErrorNotASignal) {
    TempDir dir;
    const std::string existing = dir.file("limited.bin");
    write_file(existing, "abc");
    const std::string fresh = dir.file("limited-new.bin");

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rlimit limit{1 << 20, 1 << 20};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(10);
        const Change grown = set_file_length(existing, 8 << 20);
        const Change created = set_file_length(fresh, 8 << 20);
        const bool ok = step_of(grown) == Step::SetEnd && cause_of(grown) == OsdError::FileSizeLimit &&
                        step_of(created) == Step::SetEnd;
        ::_exit(ok ? 0 : 11);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(read_file(existing), "abc");
    EXPECT_FALSE(std::filesystem::exists(fs_path(fresh)));
}
#endif

}  // namespace
