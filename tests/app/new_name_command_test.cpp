#include <gtest/gtest.h>

#include "app/form.h"
#include "app/handlers.h"
#include "tests/app/fake_view.h"
#include "size/output_size.h"
#include "tests/temp_dir.h"
#include "util/timestamp.h"

namespace {

std::tm at(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

#ifdef _WIN32
const std::string kSep = "\\";
#else
const std::string kSep = "/";
#endif

TEST(FormatTimestamp, PadsEveryField) {
    EXPECT_EQ(format_timestamp(at(2024, 3, 5, 9, 7, 3)), "20240305-090703");
    EXPECT_EQ(format_timestamp(at(1999, 12, 31, 23, 59, 59)), "19991231-235959");
    EXPECT_EQ(format_timestamp(at(2000, 1, 1, 0, 0, 0)).size(), 15u);
}

TEST(Button3, ShowsTheFolderThenFillsEdit1) {
    FakeView view;
    view.edits[EditId::Edit1] = "old";
    view.folderToChoose = "/data/ダンプ";
    Button3Click(view, at(2024, 3, 5, 9, 7, 3));
    EXPECT_EQ(view.lastChooserTitle, "作成先を選択してください");
    EXPECT_EQ(view.lastChooserInitial, "");
    EXPECT_EQ(view.events, (std::vector<std::string>{"message=/data/ダンプ",
                                                     "Edit1=/data/ダンプ" + kSep + "20240305-090703"}));
}

TEST(Button3, SeparatorIsAddedEvenAfterARoot) {
    FakeView view;
    view.folderToChoose = kSep;
    Button3Click(view, at(2024, 3, 5, 9, 7, 3));
    EXPECT_EQ(view.editText(EditId::Edit1), kSep + kSep + "20240305-090703");
}

TEST(Button3, CancelChangesNothing) {
    FakeView view;
    view.edits[EditId::Edit1] = "old";
    Button3Click(view, at(2024, 3, 5, 9, 7, 3));
    EXPECT_EQ(view.editText(EditId::Edit1), "old");
    EXPECT_TRUE(view.events.empty());
    EXPECT_TRUE(view.statusTexts.empty());
}

TEST(Button3, SameSecondSameNameAndExecuteCreatesIt) {
    TempDir dir;
    FakeView view;
    view.folderToChoose = dir.path();
    Button3Click(view, at(2024, 3, 5, 9, 7, 3));
    const std::string first = view.editText(EditId::Edit1);
    Button3Click(view, at(2024, 3, 5, 9, 7, 3));
    EXPECT_EQ(view.editText(EditId::Edit1), first);

    OutputSize = 4096;
    E1Click(view);
    EXPECT_EQ(view.status(), first + "を作成しました");
    EXPECT_EQ(file_size(first), 4096u);
}

TEST(BrowseForFolder, KeepsTheFolderOnCancelAndRemembersTheStart) {
    FakeView view;
    std::string folder = "/start";
    EXPECT_FALSE(browse_for_folder(view, folder, "title"));
    EXPECT_EQ(folder, "/start");
    EXPECT_EQ(InitialFolder, "/start");
    EXPECT_EQ(view.lastChooserInitial, "/start");
    view.folderToChoose = "/chosen";
    EXPECT_TRUE(browse_for_folder(view, folder, "title"));
    EXPECT_EQ(folder, "/chosen");
}

}  // namespace
