#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/form.h"
#include "app/handlers.h"
#include "tests/app/fake_view.h"
#include "tests/temp_dir.h"
#include "util/format_grouped.h"

namespace {

constexpr std::int64_t MiB = 1 << 20;

std::string data_then_zeros(std::int64_t data, std::int64_t zeros) {
    return std::string(static_cast<std::size_t>(data), '\x5a') + std::string(static_cast<std::size_t>(zeros), '\0');
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
    EXPECT_EQ(view.labels[LabelId::Label5], "200000");  // the scan's size in hexadecimal too
    EXPECT_EQ(view.labels[LabelId::Label1], "3,145,828");
    EXPECT_EQ(OutputSize, std::optional<std::int64_t>(2097152));
    EXPECT_EQ(view.progress.front(), 100);
    EXPECT_EQ(view.progress.back(), 0);
    EXPECT_EQ(view.pumps, 2);  // once before each chunk
    EXPECT_EQ(view.status(), "");

    E1Click(view);
    EXPECT_EQ(view.status(), path + "を作成しました");
    EXPECT_EQ(read_file(path), bytes.substr(0, 2097152));
    EXPECT_EQ(view.labels[LabelId::Label1], "2,097,152") << "the length after Execute";
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
    EXPECT_EQ(view.status(), "");
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

// A failed scan leaves no size that the next Execute could apply to the
// wrong file: OutputSize is unknown and Execute refuses.
TEST_F(Button1Test, FailuresLeaveNoUsableSize) {
    const std::string victim = dir.file("victim.bin");
    write_file(victim, std::string(100, 'v'));
    const std::vector<std::pair<std::string, std::string>> failures{{dir.file("missing.bin"), "（見つかりません）"},
                                                                    {dir.path(), "（フォルダーです）"}};
    for (const auto& [path, cause] : failures) {
        OutputSize = 1234;
        view.labels[LabelId::Label4] = "1,234";
        view.labels[LabelId::Label9] = "7";
        scan(path);
        EXPECT_EQ(view.status(), path + "を開けません" + cause);
        EXPECT_EQ(OutputSize, std::nullopt);
        EXPECT_EQ(view.labels[LabelId::Label4], "");
        EXPECT_EQ(view.labels[LabelId::Label9], "");
        EXPECT_EQ(view.progress.back(), 0);
        EXPECT_EQ(view.commandsEnabled.back(), true);

        view.edits[EditId::Edit1] = victim;
        E1Click(view);
        EXPECT_EQ(view.status(), "出力サイズが不正です");
        EXPECT_EQ(file_size(victim), 100u);
    }
    // Typing into the calculator gives a usable size again.
    view.edits[EditId::Edit8] = "10";
    UpdateOutputSize(view);
    view.answers = {true};
    E1Click(view);
    EXPECT_EQ(file_size(victim), 10u);
}

TEST_F(Button1Test, EmptyNameAsksForOneAndTouchesNothing) {
    OutputSize = 1234;
    for (const char* empty : {"", "\n", "\r\n"}) {
        scan(empty);
        EXPECT_EQ(view.status(), "ファイル名を指定してください");
        EXPECT_EQ(OutputSize, std::optional<std::int64_t>(1234));
        EXPECT_TRUE(view.commandsEnabled.empty()) << "no scan started";
    }
}

// A successful scan clears an old failure message.
TEST_F(Button1Test, SuccessClearsAnEarlierFailureMessage) {
    scan(dir.file("missing.bin"));
    ASSERT_NE(view.status(), "");
    const std::string path = dir.file("ok.bin");
    write_file(path, "ab" + std::string(3, '\0'));
    scan(path);
    EXPECT_EQ(view.status(), "");
    EXPECT_EQ(view.labels[LabelId::Label9], "3");
}

// The size a scan found is applied only to the file it measured, as it was.
TEST_F(Button1Test, ScannedSizeAppliesOnlyToTheFileItMeasured) {
    const std::string scanned = dir.file("scanned.bin");
    const std::string other = dir.file("other.bin");
    write_file(scanned, "abc" + std::string(7, '\0'));
    write_file(other, std::string(50, 'o'));
    scan(scanned);
    ASSERT_EQ(OutputSize, std::optional<std::int64_t>(3));

    view.edits[EditId::Edit1] = other;  // another path
    E1Click(view);
    EXPECT_EQ(view.status(), "ファイルが検索時と異なります");
    EXPECT_EQ(file_size(other), 50u);
    EXPECT_EQ(OutputSize, std::optional<std::int64_t>(3)) << "the size stays";

    view.edits[EditId::Edit1] = scanned;  // same path, but the file has grown
    write_file(scanned, "abc" + std::string(7, '\0') + "more");
    E1Click(view);
    EXPECT_EQ(view.status(), "ファイルが検索時と異なります");
    EXPECT_EQ(file_size(scanned), 14u);

    std::filesystem::remove(fs_path(scanned));  // gone: not re-created
    E1Click(view);
    EXPECT_EQ(view.status(), "ファイルが検索時と異なります");
    EXPECT_FALSE(std::filesystem::exists(fs_path(scanned)));

    write_file(scanned, "abc" + std::string(7, '\0'));  // the same bytes, written anew
    E1Click(view);
    EXPECT_EQ(view.status(), "ファイルが検索時と異なります");
    EXPECT_EQ(file_size(scanned), 10u);

    scan(scanned);
    view.edits[EditId::Edit1] = scanned + "\n";  // pasted with a line break
    E1Click(view);
    EXPECT_EQ(view.status(), scanned + "を作成しました");
    EXPECT_EQ(read_file(scanned), "abc");
}

TEST_F(Button1Test, FileCutUnderTheScanIsAReadError) {
    const std::string path = dir.file("shrinking.bin");
    write_file(path, std::string(3 * MiB, '\0'));
    OutputSize = 1234;
    view.onPump = [&] { std::filesystem::resize_file(fs_path(path), MiB); };
    scan(path);
    EXPECT_EQ(view.status(), "リードエラー 0x200000（途中で短くなりました）");
    EXPECT_EQ(OutputSize, std::nullopt);
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

// Esc stops the scan; the window stays with no size, says so, and the
// focus goes back to the button.
TEST_F(Button1Test, EscStopsTheScanAndTheFocusReturns) {
    const std::string path = dir.file("zeros.bin");
    write_file(path, std::string(3 * MiB, '\0'));
    OutputSize = 1234;
    view.onPump = [&] { view.cancelling = true; };
    scan(path);
    EXPECT_EQ(view.status(), "検索を中止しました");
    EXPECT_EQ(OutputSize, std::nullopt);
    EXPECT_EQ(view.events.back(), "focus=Button1");
}

TEST_F(Button1Test, ClosingTheWindowStopsTheScan) {
    const std::string path = dir.file("zeros.bin");
    write_file(path, std::string(3 * MiB, '\0'));
    OutputSize = 1234;
    view.onPump = [&] { view.closing = true; };
    scan(path);
    EXPECT_EQ(view.pumps, 1);
    EXPECT_EQ(OutputSize, std::nullopt);
    EXPECT_EQ(view.labels[LabelId::Label9], "");
}

}  // namespace
