#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/app/fake_view.h"
#include "tests/temp_dir.h"
#include "util/version.h"

namespace {

using Action = CommandLine::Action;

TEST(CommandLine, NoArgumentsOpensAnEmptyWindow) {
    const CommandLine line = parse_command_line({});
    EXPECT_EQ(line.action, Action::OpenWindow);
    EXPECT_FALSE(line.file.has_value());
}

TEST(CommandLine, TheFirstFileIsTakenAndASecondIgnored) {
    const CommandLine one = parse_command_line({"/tmp/テスト.bin"});
    EXPECT_EQ(one.action, Action::OpenWindow);
    EXPECT_EQ(one.file, "/tmp/テスト.bin");

    const CommandLine two = parse_command_line({"first.bin", "second.bin"});
    EXPECT_EQ(two.action, Action::OpenWindow);
    EXPECT_EQ(two.file, "first.bin");

    // Bytes that are not UTF-8 stay as they are: they name the file.
    EXPECT_EQ(parse_command_line({"\x83\x65\x83\x58.bin"}).file, "\x83\x65\x83\x58.bin");
    // A launcher's empty %f names nothing.
    EXPECT_EQ(parse_command_line({"", "b.bin"}).file, "b.bin");
    EXPECT_FALSE(parse_command_line({""}).file.has_value());
}

TEST(CommandLine, HelpAndVersionWinWhereverTheyStand) {
    for (const char* help : {"--help", "-h"}) {
        EXPECT_EQ(parse_command_line({help}).action, Action::ShowHelp) << help;
        EXPECT_EQ(parse_command_line({"file.bin", help}).action, Action::ShowHelp) << help;
    }
    EXPECT_EQ(parse_command_line({"--version"}).action, Action::ShowVersion);
    EXPECT_EQ(parse_command_line({"file.bin", "--version", "--help"}).action, Action::ShowVersion);
    EXPECT_FALSE(parse_command_line({"file.bin", "--help"}).file.has_value()) << "nothing to open";
}

TEST(CommandLine, AnUnknownOptionIsAUsageError) {
    for (const char* option : {"--frobnicate", "-x", "--help=all", "--Version", "---"}) {
        const CommandLine line = parse_command_line({"file.bin", option, "--help"});
        EXPECT_EQ(line.action, Action::UsageError) << option;
        EXPECT_EQ(line.error, std::string("unknown option '") + option + "'");
    }
    const std::string text = usage_error_text("unknown option '-x'");
    EXPECT_EQ(text, "tavrix: unknown option '-x' (try 'tavrix --help')\n");
    EXPECT_EQ(text.find('\n'), text.size() - 1) << "one line";
    EXPECT_EQ(kUsageErrorStatus, 2);
}

TEST(CommandLine, DoubleDashLetsANameStartWithADash) {
    const CommandLine line = parse_command_line({"--", "--help", "-x"});
    EXPECT_EQ(line.action, Action::OpenWindow);
    EXPECT_EQ(line.file, "--help");
    EXPECT_EQ(parse_command_line({"-"}).file, "-") << "a file named '-'";
    EXPECT_EQ(parse_command_line({"a.bin", "--", "b.bin"}).file, "a.bin");
}

TEST(CommandLine, TextsNameTheProgramAndItsVersion) {
    EXPECT_EQ(version_text(), std::string("tavrix ") + kTavrixVersion + "\n");
    const std::string help = help_text();
    EXPECT_EQ(help.rfind("Usage: tavrix [FILE]\n", 0), 0u);
    for (const char* option : {"--help", "--version", "FILE"}) EXPECT_NE(help.find(option), std::string::npos);
    EXPECT_EQ(help.back(), '\n');
}

// The window then holds the file as a drop of it leaves it; no file, no change.
TEST(CommandLine, TheFileIsOpenedAsIfDropped) {
    TempDir dir;
    const std::string path = dir.file("開く.bin");
    write_file(path, std::string(42, 'x'));

    FakeView form;
    open_command_line_file(form, parse_command_line({path, dir.file("second.bin")}));
    EXPECT_EQ(form.editText(EditId::Edit1), path);
    EXPECT_EQ(form.labels[LabelId::Label1], "42");
    EXPECT_EQ(form.labels[LabelId::Label4], "0");
    EXPECT_TRUE(form.statusTexts.empty());

    FakeView untouched;
    open_command_line_file(untouched, parse_command_line({}));
    open_command_line_file(untouched, parse_command_line({path, "--help"}));
    EXPECT_TRUE(untouched.events.empty());
    EXPECT_EQ(untouched.labels[LabelId::Label1], "0");
}

}  // namespace
