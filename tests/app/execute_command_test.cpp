#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/form.h"
#include "app/handlers.h"
#include "tests/app/fake_view.h"
#include "osd/osd.h"
#include "size/output_size.h"
#include "tests/temp_dir.h"

namespace {

class ExecuteTest : public testing::Test {
protected:
    TempDir dir;
    FakeView view;

    // The user says Yes to any question; `questions` counts them.
    void execute(const std::string& path, std::optional<std::int64_t> size) {
        view.edits[EditId::Edit1] = path;
        OutputSize = size;
        view.answers.assign(2, true);
        E1Click(view);
        questions += static_cast<int>(2 - view.answers.size());
    }
    int questions = 0;
    std::string pattern(std::size_t length) {
        std::string bytes(length, '\0');
        for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>('a' + i % 26);
        return bytes;
    }
};

TEST_F(ExecuteTest, CutKeepsTheBytesBelowTheNewEnd) {
    const std::string path = dir.file("dump.bin");
    write_file(path, pattern(3000));
    execute(path, 1000);
    EXPECT_EQ(read_file(path), pattern(1000));
    EXPECT_EQ(view.status(), path + "を作成しました");
}

// Only a cut of bytes no scan measured asks first.
TEST_F(ExecuteTest, OnlyACutAsksFirst) {
    const std::string path = dir.file("asked.bin");
    write_file(path, pattern(10));
    for (const std::int64_t same : {10, 11, 11}) execute(path, same);
    execute(dir.file("created.bin"), 3);
    EXPECT_EQ(questions, 0);
    execute(path, 4);
    EXPECT_EQ(questions, 1);
    EXPECT_EQ(view.events.back(),
              "question=" + path + " を 11 バイトから 4 バイトに切り詰めます。7 バイトは元に戻せません。よろしいですか？");
}

TEST_F(ExecuteTest, ExtendAddsZeroBytesAndRunningTwiceChangesNothing) {
    const std::string path = dir.file("grow.bin");
    write_file(path, pattern(10));
    execute(path, 20);
    execute(path, 20);
    EXPECT_EQ(read_file(path), pattern(10) + std::string(10, '\0'));
    EXPECT_EQ(view.statusTexts, std::vector<std::string>(2, path + "を作成しました"));
}

TEST_F(ExecuteTest, CreatesAMissingFileOfZeroBytes) {
    const std::string path = dir.file("新しいファイル.bin");
    execute(path, 1048576);
    EXPECT_EQ(read_file(path), std::string(1048576, '\0'));
    EXPECT_EQ(view.status(), path + "を作成しました");

    const std::string empty = dir.file("empty.bin");
    execute(empty, 0);
    EXPECT_EQ(osd_exists(empty), 1);
    EXPECT_EQ(file_size(empty), 0u);
}

TEST_F(ExecuteTest, ZeroEmptiesAnExistingFile) {
    const std::string path = dir.file("x.bin");
    write_file(path, "data");
    execute(path, 0);
    EXPECT_EQ(file_size(path), 0u);
    EXPECT_EQ(view.status(), path + "を作成しました");
}

TEST_F(ExecuteTest, FailuresNameThePathAndTouchNothing) {
    execute(dir.path(), 10);
    EXPECT_EQ(view.status(), dir.path() + " を開けません（フォルダーです）");
    EXPECT_TRUE(std::filesystem::is_directory(fs_path(dir.path())));

    const std::string orphan = dir.file("no-such-folder/new.bin");
    execute(orphan, 10);
    EXPECT_EQ(view.status(), orphan + " を作成できません（見つかりません）");
    EXPECT_FALSE(std::filesystem::exists(fs_path(orphan)));
}

TEST_F(ExecuteTest, NegativeOrOutOfRangeSizeIsRefused) {
    const std::string existing = dir.file("keep.bin");
    write_file(existing, "keep me");
    const std::string missing = dir.file("never.bin");
    for (std::optional<std::int64_t> size : {std::optional<std::int64_t>(-1),
                                             std::optional<std::int64_t>(INT64_MIN),
                                             std::optional<std::int64_t>()}) {
        view.statusTexts.clear();
        execute(existing, size);
        EXPECT_EQ(view.status(), "出力サイズが不正です");
        execute(missing, size);
        EXPECT_EQ(view.status(), "出力サイズが不正です");
    }
    EXPECT_EQ(read_file(existing), "keep me");
    EXPECT_FALSE(std::filesystem::exists(fs_path(missing)));
}

TEST_F(ExecuteTest, SizeTheFileSystemCannotHoldLeavesTheFileAlone) {
    const std::string path = dir.file("huge.bin");
    write_file(path, "keep me");
    execute(path, INT64_MAX);
    EXPECT_EQ(view.status(), "EOFをセットできません（ファイルが大きすぎます）");
    EXPECT_EQ(read_file(path), "keep me");
}

TEST_F(ExecuteTest, SparseExtensionPastFourGigabytesAndBack) {
    const std::string path = dir.file("image.bin");
    write_file(path, "head");
    execute(path, std::int64_t{5} << 30);
    EXPECT_EQ(file_size(path), std::uintmax_t{5} << 30);
    execute(path, (std::int64_t{4} << 30) + 1);
    EXPECT_EQ(file_size(path), (std::uintmax_t{4} << 30) + 1);
    EXPECT_EQ(read_head(path, 4), "head");
    EXPECT_EQ(view.status(), path + "を作成しました");
}

TEST_F(ExecuteTest, LongPathsAreCarriedWhole) {
    // Deeper than any fixed 512-byte buffer: nested folders of 100 characters.
    std::string folder = dir.path();
    for (int i = 0; i < 8; ++i) {
        folder += "/" + std::string(100, static_cast<char>('a' + i));
        std::filesystem::create_directory(fs_path(folder));
    }
    const std::string path = folder + "/長い名前のファイル.bin";
    ASSERT_GT(path.size(), 800u);
    execute(path, 77);
    EXPECT_EQ(file_size(path), 77u);
    EXPECT_EQ(view.status(), path + "を作成しました");
}

// A new file that cannot get its length is removed again: the status text
// is the whole story.
TEST_F(ExecuteTest, FailedCreateLeavesNoFileBehind) {
    const std::string path = dir.file("never-made.bin");
    execute(path, INT64_MAX);
    EXPECT_EQ(view.status(), "EOFをセットできません（ファイルが大きすぎます）");
    EXPECT_FALSE(std::filesystem::exists(fs_path(path)));
}

TEST_F(ExecuteTest, EmptyNameAsksForOneAndTouchesNothing) {
    for (const char* name : {"", "\n", "\r\n"}) {
        execute(name, 10);
        EXPECT_EQ(view.status(), "ファイル名を指定してください");
    }
    EXPECT_TRUE(std::filesystem::is_empty(fs_path(dir.path())));
}

// As copied from a terminal: the line break is not part of the name.
TEST_F(ExecuteTest, LineBreaksAtTheEndOfThePathAreDropped) {
    const std::string path = dir.file("pasted.bin");
    write_file(path, "0123456789");
    execute(path + "\n", 4);
    EXPECT_EQ(read_file(path), "0123");
    EXPECT_EQ(view.status(), path + "を作成しました");
    execute(path + "\r\n", 2);
    EXPECT_EQ(read_file(path), "01");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(fs_path(dir.path())),
                            std::filesystem::directory_iterator()), 1);
}

#ifndef _WIN32
// "~" and "~/…" mean the home folder, as in a shell; "~name" and a "~"
// further in are names like any other.
TEST_F(ExecuteTest, LeadingTildeIsTheHomeFolder) {
    const char* saved = std::getenv("HOME");
    const std::string savedHome = saved ? saved : "";
    ::setenv("HOME", dir.path().c_str(), 1);
    execute("~/made-at-home.bin", 5);
    EXPECT_EQ(file_size(dir.file("made-at-home.bin")), 5u);
    EXPECT_EQ(view.status(), dir.file("made-at-home.bin") + "を作成しました");
    execute("~", 5);
    EXPECT_EQ(view.status(), dir.path() + " を開けません（フォルダーです）") << "the home folder itself is a folder";
    if (saved) ::setenv("HOME", savedHome.c_str(), 1); else ::unsetenv("HOME");
}
#endif

}  // namespace
