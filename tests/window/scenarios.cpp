// What a person does with the window and what it then shows, written once
// and run against every binding through its WindowDriver, in each language
// the window speaks: the same actions, the texts expected from the table.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "app/background_change.h"
#include "app/captions.h"
#include "app/command_line.h"
#include "app/form.h"
#include "app/layout.h"
#include "app/status_texts.h"
#include "app/number_fit.h"
#include "tests/file_holder.h"
#include "tests/scripted_dialogs.h"
#include "tests/temp_dir.h"
#include "tests/window/window_driver.h"
#include "util/text_encoding.h"
#include "size/growth.h"
#include "util/timestamp.h"

// Internal linkage: each binding's test program may print Bounds its own way.
static std::ostream& operator<<(std::ostream& out, const Bounds& box) {
    return out << '{' << box.left << ", " << box.top << ", " << box.width << ", " << box.height << '}';
}

namespace {

class Scenario : public ::testing::TestWithParam<Language> {
protected:
    // No real modal dialog may wait for a person: questions are answered
    // from `answers` (No once they run out) and recorded in `questions`.
    void SetUp() override {
        window = make_window_driver(GetParam());
        dialogs.onAsk = [this](const std::string& text) {
            questions.push_back(text);
            if (answers.empty()) return false;
            const bool answer = answers.front();
            answers.erase(answers.begin());
            return answer;
        };
        window->setDialogs(&dialogs);
    }
    void TearDown() override { window->setDialogs(nullptr); }

    View& view() { return window->view(); }

    std::unique_ptr<WindowDriver> window;
    ScriptedDialogs dialogs;
    std::vector<bool> answers;
    std::vector<std::string> questions;
};

std::string parentOf(const LayoutRow& layoutRow) { return layoutRow.parent != nullptr ? layoutRow.parent : ""; }

// Captions keep their place but may widen when the font is wider than the
// one the layout was drawn with.
bool widensToFit(ControlKind kind) { return kind == ControlKind::Label || kind == ControlKind::CheckBox; }

bool hasCaption(ControlKind kind) {
    return kind != ControlKind::PageControl && kind != ControlKind::ProgressBar && kind != ControlKind::StatusBar &&
           kind != ControlKind::ComboBox;
}

bool overlap(const Bounds& a, const Bounds& b) {
    return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height &&
           b.top < a.top + a.height;
}

// The control drawn next to the right of `layoutRow` on the same row, if any.
const LayoutRow* rightNeighbour(const LayoutRow& layoutRow) {
    const LayoutRow* nearest = nullptr;
    for (const LayoutRow& other : control_layout()) {
        if (&other == &layoutRow || parentOf(other) != parentOf(layoutRow) || other.kind == ControlKind::TabSheet) continue;
        const bool sameRow = other.bounds.top < layoutRow.bounds.top + layoutRow.bounds.height &&
                             layoutRow.bounds.top < other.bounds.top + other.bounds.height;
        if (!sameRow || other.bounds.left < layoutRow.bounds.left + layoutRow.bounds.width) continue;
        if (nearest == nullptr || other.bounds.left < nearest->bounds.left) nearest = &other;
    }
    return nearest;
}

// ---------------------------------------------------------------- layout

TEST_P(Scenario, EveryControlSitsWhereTheLayoutTableSaysWithItsCaption) {
    for (const LayoutRow& layoutRow : control_layout()) {
        SCOPED_TRACE(layoutRow.name);
        EXPECT_EQ(window->parentName(layoutRow.name), parentOf(layoutRow));
        if (hasCaption(layoutRow.kind)) {
            EXPECT_EQ(window->text(layoutRow.name), localized_caption(layoutRow.name, layoutRow.caption));
        }
        if (layoutRow.kind == ControlKind::TabSheet) continue;  // a page fills its control
        const Bounds box = window->bounds(layoutRow.name);
        if (widensToFit(layoutRow.kind)) {
            EXPECT_EQ((Bounds{box.left, box.top, layoutRow.bounds.width, box.height}), layoutRow.bounds);
            EXPECT_GE(box.width, layoutRow.bounds.width);
        } else {
            EXPECT_EQ(box, layoutRow.bounds);
        }
        if (layoutRow.kind == ControlKind::Label || layoutRow.kind == ControlKind::NumberLabel) {
            EXPECT_TRUE(window->showsWholeText(layoutRow.name)) << "caption cut off";
        }
    }
}

// A caption widened for its font never runs into the control after it, no
// two controls share a spot, and every control lies inside its page.
TEST_P(Scenario, ControlsStayClearOfEachOtherAndInsideTheirPages) {
    const auto layout = control_layout();
    for (const LayoutRow& layoutRow : layout) {
        if (layoutRow.kind == ControlKind::TabSheet) continue;
        SCOPED_TRACE(layoutRow.name);
        const Bounds box = window->bounds(layoutRow.name);
        if (widensToFit(layoutRow.kind) && layoutRow.kind != ControlKind::CheckBox) {
            if (const LayoutRow* next = rightNeighbour(layoutRow)) {
                EXPECT_LT(box.left + box.width, window->bounds(next->name).left) << next->name;
            }
        }
        for (const LayoutRow& other : layout) {
            if (&other <= &layoutRow || other.kind == ControlKind::TabSheet || parentOf(other) != parentOf(layoutRow)) continue;
            EXPECT_FALSE(overlap(box, window->bounds(other.name))) << other.name;
        }
        if (layoutRow.parent != nullptr && find_control(layoutRow.parent)->kind == ControlKind::TabSheet) {
            const Bounds page = window->bounds(layoutRow.parent);
            EXPECT_LE(box.left + box.width, page.width);
            EXPECT_LE(box.top + box.height, page.height);
        }
    }
}

// ---------------------------------------------------------------- calculator

TEST_P(Scenario, UnitFieldsAndCheckBoxRecomputeTheOutputSize) {
    window->type("Edit6", "2");
    window->type("Edit7", "1");
    EXPECT_EQ(window->text("Label4"), "2,001,000");
    EXPECT_EQ(window->text("Label5"), "1e8868");
    window->click("CheckBox1");
    EXPECT_TRUE(view().isCheckBox1Checked());
    EXPECT_EQ(window->text("Label4"), "2,098,176");
    EXPECT_EQ(window->text("Label5"), "200400");
    window->type("Edit5", "1");
    window->type("Edit8", "1");
    EXPECT_EQ(window->text("Label4"), "1,075,840,001");
}

TEST_P(Scenario, EachUnitCountsOnceCheckedOrNot) {
    window->type("Edit6", "1");
    EXPECT_EQ(window->text("Label4"), "1,000,000");
    EXPECT_EQ(window->text("Label5"), "f4240");
    window->click("CheckBox1");
    EXPECT_EQ(window->text("Label4"), "1,048,576");
    EXPECT_EQ(window->text("Label5"), "100000");
    window->type("Edit5", "1");
    EXPECT_EQ(window->text("Label4"), "1,074,790,400");
    window->type("Edit7", "1");
    window->type("Edit8", "1");
    EXPECT_EQ(window->text("Label4"), "1,074,791,425");
    window->click("CheckBox1");
    EXPECT_FALSE(view().isCheckBox1Checked());
    EXPECT_EQ(window->text("Label4"), "1,001,001,001");
}

// ---------------------------------------------------------------- numbers

// The number labels are narrow (97 to 121 px) and right-aligned: a long
// number must still show every digit, with its right edge (where digits
// line up) in place and nothing else covered, and a short one brings the
// table's box back.
TEST_P(Scenario, EveryNumberIsShownWhole) {
    struct Case {
        LabelId id;
        const char* name;
        std::vector<std::string> texts;
    };
    const Case cases[] = {
        {LabelId::Label1, "Label1", {"-9,223,372,036,854,775,808", "9,223,372,036,854,775,807", "72,036,854,775,807"}},
        {LabelId::Label4, "Label4", {"-9,223,372,036,854,775,808", "9,223,372,036,854,775,807", "72,036,854,775,807"}},
        {LabelId::Label9, "Label9", {"-9,223,372,036,854,775,808", "9,223,372,036,854,775,807", "72,036,854,775,807"}},
        {LabelId::Label5, "Label5", {"ffffffffffffffff", "8000000000000000", "7fffffffffffffff"}},
    };
    const auto layout = control_layout();
    auto coversNothing = [&](const char* name) {
        const LayoutRow& layoutRow = *find_control(name);
        const Bounds box = window->bounds(name);
        for (const LayoutRow& other : layout) {
            if (&other == &layoutRow || other.kind == ControlKind::TabSheet || parentOf(other) != parentOf(layoutRow)) continue;
            EXPECT_FALSE(overlap(box, window->bounds(other.name))) << name << " covers " << other.name;
        }
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bounds table = find_control(c.name)->bounds;
        for (const std::string& text : c.texts) {
            SCOPED_TRACE(text);
            view().setLabelCaption(c.id, text);
            EXPECT_EQ(window->text(c.name), text);
            EXPECT_TRUE(window->showsWholeText(c.name));
            const Bounds box = window->bounds(c.name);
            EXPECT_EQ(box.left + box.width, table.left + table.width) << "the right edge stays";
            EXPECT_EQ(box.top, table.top);
            EXPECT_EQ(box.height, table.height);
            coversNothing(c.name);
        }
    }
    // All long at once: still clear of each other.
    for (const Case& c : cases) coversNothing(c.name);
    for (const Case& c : cases) {
        view().setLabelCaption(c.id, "0");
        EXPECT_EQ(window->bounds(c.name), find_control(c.name)->bounds) << c.name;
        EXPECT_TRUE(window->showsWholeText(c.name)) << c.name;
    }
}

// A number too long for its free space takes all of it: up to the same gap
// after the control before it in every binding.
TEST_P(Scenario, ANumberGrownToItsLimitKeepsTheCommonGap) {
    const struct {
        LabelId id;
        const char* name;
        const char* before;
    } rows[] = {{LabelId::Label1, "Label1", "Label3"}, {LabelId::Label4, "Label4", "Label2"}};
    for (const auto& row : rows) {
        view().setLabelCaption(row.id, "-9,223,372,036,854,775,808");
        const Bounds before = window->bounds(row.before);
        EXPECT_EQ(window->bounds(row.name).left, before.left + before.width + kNumberLabelGap) << row.name;
        view().setLabelCaption(row.id, "0");
    }
}

TEST_P(Scenario, TheCalculatorsLargestTotalsShowWhole) {
    window->type("Edit5", "9223372036");
    EXPECT_EQ(window->text("Label4"), "9,223,372,036,000,000,000");
    EXPECT_EQ(window->text("Label5"), "7fffffffcd0d2800");
    EXPECT_TRUE(window->showsWholeText("Label4"));
    EXPECT_TRUE(window->showsWholeText("Label5"));

    window->type("Edit5", "-1");
    EXPECT_EQ(window->text("Label4"), "-1,000,000,000");
    EXPECT_EQ(window->text("Label5"), "ffffffffc4653600");
    EXPECT_TRUE(window->showsWholeText("Label4"));
    EXPECT_TRUE(window->showsWholeText("Label5"));

    window->type("Edit5", "");
    EXPECT_EQ(window->text("Label4"), "0");
    EXPECT_EQ(window->bounds("Label4"), find_control("Label4")->bounds);
    EXPECT_EQ(window->bounds("Label5"), find_control("Label5")->bounds);
}

// ---------------------------------------------------------------- execute

// A typed size that would cut data asks first; No changes nothing at all.
TEST_P(Scenario, ExecuteCommandGivesTheFileTheOutputSize) {
    TempDir dir;
    const std::string path = dir.file("出力.bin");
    write_file(path, std::string(123456, 'x'));
    window->type("Edit1", path);
    window->type("Edit8", "10");
    view().setStatusText("before");

    window->execute();
    EXPECT_EQ(questions, std::vector<std::string>{status_text::confirm_cut(path, 123456, 10)});
    EXPECT_EQ(file_size(path), 123456u);
    EXPECT_EQ(window->statusText(), "before");

    answers = {true};
    window->execute();
    EXPECT_EQ(questions.size(), 2u);
    EXPECT_EQ(file_size(path), 10u);
    EXPECT_EQ(window->statusText(), status_text::created(path));

    window->type("Edit8", "20");  // an extension asks nothing
    window->execute();
    EXPECT_EQ(questions.size(), 2u);
    EXPECT_EQ(file_size(path), 20u);
}

// A scanned size cuts only the file the scan measured, as it was then:
// whatever took its name or changed it since is refused, untouched.
TEST_P(Scenario, AScannedSizeCutsOnlyTheUnchangedFileItMeasured) {
    TempDir dir;
    const std::string path = dir.file("dump.bin");
    const std::string padded = std::string(100, 'x') + std::string(4096, '\0');
    const std::string other = dir.file("other.bin");
    struct Change {
        const char* what;
        std::function<void()> apply;
    };
    const std::vector<Change> changes{
        {"another file renamed over it",
         [&] {
             write_file(other, std::string(4196, 'o'));
             std::filesystem::rename(fs_path(other), fs_path(path));
         }},
        {"data written into the padding, same length",
         [&] {
             std::fstream file(fs_path(path), std::ios::in | std::ios::out | std::ios::binary);
             file.seekp(3000);
             file.put('D');
         }},
#ifndef _WIN32
        {"the name now a link to another file",
         [&] {
             write_file(other, std::string(4196, 'o'));
             std::filesystem::remove(fs_path(path));
             std::filesystem::create_symlink(fs_path(other), fs_path(path));
         }},
#endif
    };
    window->selectPage(1);
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        std::filesystem::remove(fs_path(path));
        write_file(path, padded);
        window->type("Edit1", path);
        window->click("Button1");
        ASSERT_EQ(window->text("Label4"), "100") << window->statusText();
        change.apply();
        const std::string before = read_file(path);
        window->execute();
        EXPECT_EQ(window->statusText(), status_text::file_changed_since_scan());
        EXPECT_EQ(read_file(path), before);
        if (std::filesystem::exists(fs_path(other))) {
            EXPECT_EQ(file_size(other), 4196u);
        }
    }
    EXPECT_TRUE(questions.empty());

    // Unchanged since its scan: cut without a question.
    std::filesystem::remove(fs_path(path));
    write_file(path, padded);
    window->click("Button1");
    window->execute();
    EXPECT_EQ(read_file(path), std::string(100, 'x'));
    EXPECT_EQ(window->statusText(), status_text::created(path));
    EXPECT_TRUE(questions.empty());
}

// Execute leaves a file another program holds and keeps the scan, so the
// same Execute works once the other program lets go; Esc during Execute's
// second look at the padding stops it as it stops a scan.
TEST_P(Scenario, ExecuteLeavesAFileInUseAndKeepsTheScan) {
    TempDir dir;
    const std::string path = dir.file("held.bin");
    const std::string padded = std::string(100, 'x') + std::string(4096, '\0');
    write_file(path, padded);
    window->type("Edit1", path);
    window->selectPage(1);
    window->click("Button1");
    {
        const FileHolder holder(path, Hold::Writer);
        window->execute();
        EXPECT_EQ(window->statusText(), status_text::with_cause(status_text::cannot_open(path), OsdError::InUse));
    }
    EXPECT_EQ(read_file(path), padded);
    window->pressEscape();
    window->execute();
    EXPECT_EQ(window->statusText(), status_text::execute_cancelled());
    EXPECT_EQ(read_file(path), padded);
    window->execute();
    EXPECT_EQ(read_file(path), std::string(100, 'x'));
}

TEST_P(Scenario, OneMegabyteOfTheBinaryUnitCreatesANewFile) {
    TempDir dir;
    const std::string path = dir.file("new.bin");
    window->type("Edit1", path);
    window->click("CheckBox1");
    window->type("Edit6", "1");
    window->execute();
    EXPECT_EQ(read_file(path), std::string(1048576, '\0'));
    EXPECT_EQ(window->statusText(), status_text::created(path));
}

// Where the file system writes every zero (stand-in answers here; each step
// waits for the window to look at the work once more), Execute grows the
// file beside the window: the inputs off, the share done in the status bar,
// and Esc or closing puts the file back as it was. Where it keeps holes,
// the growth is instant and shows only its outcome.
TEST_P(Scenario, LongGrowthRunsBesideTheWindowAndStops) {
    TempDir dir;
    const std::string path = dir.file("card.bin");
    std::atomic<int> looks{0};
    struct Seams {
        ~Seams() {
            osd_set_growth_answer(std::nullopt);
            set_growth_step_seam(nullptr);
            BackgroundChangeSeams = {};
        }
    } const reset;
    set_growth_step_seam([&] {
        for (const int before = looks.load(); looks.load() == before;) std::this_thread::yield();
    });
    BackgroundChangeSeams.progressDelay = {};
    std::optional<std::string> seenStatus;
    bool seenEditable = true;
    std::function<void()> midway;  // what the user does once the work is under way
    BackgroundChangeSeams.onLook = [&](std::int64_t done, std::int64_t) {
        ++looks;
        if (done == 0 || seenStatus) return;
        seenStatus = window->statusText();
        seenEditable = window->isEditable("Edit1") || window->isEditable("Edit6") || window->isEnabled("E1");
        midway();
    };
    window->type("Edit1", path);
    window->type("Edit6", "64");
    write_file(path, "data");
    window->execute();  // holes kept: instant
    EXPECT_EQ(window->statusText(), status_text::created(path));
    EXPECT_FALSE(seenStatus);

    osd_set_growth_answer(OsdGrowth{true, true, std::numeric_limits<std::int64_t>::max(), std::int64_t{1} << 40});
    const std::string working = GetParam() == Language::Japanese ? "実行中 " : "Working ";
    for (const bool closing : {false, true}) {
        SCOPED_TRACE(closing ? "closing" : "Esc");
        write_file(path, "data");
        seenStatus.reset();
        midway = [&] { closing ? window->requestClose() : window->pressEscape(); };
        window->execute();
        ASSERT_TRUE(seenStatus);
        EXPECT_EQ(seenStatus->rfind(working, 0), 0u) << *seenStatus;
        EXPECT_FALSE(seenEditable);
        EXPECT_EQ(read_file(path), "data") << "put back as it was";
        EXPECT_EQ(window->progress(), 0);
        if (!closing) {
            EXPECT_EQ(window->statusText(), status_text::execute_cancelled());
        }
    }
    EXPECT_TRUE(view().closeRequested());
}

// ---------------------------------------------------------------- drops

TEST_P(Scenario, DropTakesOnlyTheFirstFile) {
    TempDir dir;
    const std::string first = dir.file("テスト.bin");
    make_sparse(first, 1'234'567);
    write_file(dir.file("second.bin"), std::string(10, 'x'));
    write_file(dir.file("third.bin"), std::string(20, 'x'));

    EXPECT_TRUE(window->drop({first, dir.file("second.bin"), dir.file("third.bin")}));
    EXPECT_EQ(window->text("Edit1"), first);
    EXPECT_EQ(view().editText(EditId::Edit1), first);
    EXPECT_EQ(window->text("Label1"), "1,234,567");
    for (const char* untouched : {"Label4", "Label5", "Label9"}) {
        EXPECT_EQ(window->text(untouched), "0") << untouched;
    }

    // No path buffer of the classic 260 characters in the way; a name too
    // long for the file system has no size.
    const std::string longPath = dir.file(std::string(300, 'n') + ".bin");
    EXPECT_TRUE(window->drop({longPath}));
    EXPECT_EQ(view().editText(EditId::Edit1), longPath);
    EXPECT_EQ(window->text("Label1"), "-1");
}

// "tavrix FILE second" (a launcher's "Open with"): as a drop of FILE.
TEST_P(Scenario, AFileNamedOnTheCommandLineIsTakenAsIfDropped) {
    TempDir dir;
    const std::string path = dir.file("開く.bin");
    write_file(path, std::string(42, 'x'));
    open_command_line_file(view(), parse_command_line({path, dir.file("second.bin")}));
    EXPECT_EQ(window->text("Edit1"), path);
    EXPECT_EQ(view().editText(EditId::Edit1), path);
    EXPECT_EQ(window->text("Label1"), "42");
    for (const char* untouched : {"Label4", "Label5", "Label9"}) EXPECT_EQ(window->text(untouched), "0") << untouched;
    EXPECT_EQ(window->statusText(), "");
}

// A name that is not UTF-8 (Shift_JIS "テスト" from an old archive) is used by
// its exact bytes: measured, scanned and resized, never a look-alike with
// U+FFFD in its name; Edit1 shows a readable form until the user edits it.
TEST_P(Scenario, ADroppedNameThatIsNotUtf8IsUsedByItsExactBytes) {
#ifdef _WIN32
    GTEST_SKIP() << "names are UTF-16 on Windows";
#else
    TempDir dir;
    const std::string path = dir.path() + "/\x83\x65\x83\x58\x83\x67.bin";
    const std::string shown = display_form(path);
    ASSERT_NE(shown, path);
    write_file(path, std::string(100, 'x') + std::string(50, '\0'));

    EXPECT_TRUE(window->drop({path}));
    EXPECT_EQ(window->text("Edit1"), shown);
    EXPECT_EQ(view().editText(EditId::Edit1), path);
    EXPECT_EQ(window->text("Label1"), "150");

    window->selectPage(1);
    window->click("Button1");
    EXPECT_EQ(window->text("Label9"), "50") << window->statusText();
    window->execute();
    EXPECT_EQ(file_size(path), 100u);
    EXPECT_EQ(window->statusText(), status_text::created(shown));
    EXPECT_FALSE(std::filesystem::exists(fs_path(shown))) << "no look-alike file";

    // Once the user edits Edit1, its text is the path.
    const std::string typed = dir.file("typed.bin");
    window->type("Edit1", typed);
    EXPECT_EQ(view().editText(EditId::Edit1), typed);
#endif
}

// ---------------------------------------------------------------- scan

TEST_P(Scenario, SearchButtonCountsTrailingZerosAndGivesTheCommandsBack) {
    TempDir dir;
    const std::string path = dir.file("zeros.bin");
    write_file(path, std::string(100, 'x') + std::string(50, '\0'));
    window->type("Edit1", path);
    window->selectPage(1);

    window->click("Button1");
    EXPECT_EQ(window->text("Label9"), "50") << window->statusText();
    EXPECT_EQ(window->text("Label4"), "100");
    EXPECT_TRUE(window->isEnabled("Button1")) << "commands come back after the scan";
    EXPECT_TRUE(window->isEnabled("E1"));
    EXPECT_TRUE(window->isEnabled("Button3"));
    EXPECT_TRUE(window->isEditable("Edit1"));
    EXPECT_EQ(window->progress(), 0);
}

// While a scan runs (the handlers turn the commands off for it), nothing may
// name another file or act on a half-known size.
TEST_P(Scenario, WhileCommandsAreOffNothingNamesAnotherFileOrActs) {
    TempDir dir;
    const std::string measured = dir.file("measured.bin");
    const std::string other = dir.file("other.bin");
    write_file(measured, std::string(5, 'x'));
    write_file(other, std::string(7, 'x'));
    window->type("Edit1", measured);

    view().setCommandsEnabled(false);
    for (const char* command : {"Button1", "E1", "Button3"}) EXPECT_FALSE(window->isEnabled(command)) << command;
    EXPECT_FALSE(window->isEditable("Edit1"));
    window->type("Edit1", other);
    EXPECT_FALSE(window->drop({other})) << "the window takes no drops";
    EXPECT_EQ(view().editText(EditId::Edit1), measured);
    EXPECT_EQ(window->text("Label1"), "0");

    view().setCommandsEnabled(true);
    for (const char* command : {"Button1", "E1", "Button3"}) EXPECT_TRUE(window->isEnabled(command)) << command;
    EXPECT_TRUE(window->isEditable("Edit1"));
    EXPECT_TRUE(window->drop({other}));
    EXPECT_EQ(view().editText(EditId::Edit1), other);
    EXPECT_EQ(window->text("Label1"), "7");
    window->type("Edit1", measured);
    EXPECT_EQ(view().editText(EditId::Edit1), measured);
}

TEST_P(Scenario, AFailedScanGivesEverythingBack) {
    TempDir dir;
    const std::string missing = dir.file("missing.bin");
    window->type("Edit1", missing);
    window->selectPage(1);
    window->click("Button1");
    EXPECT_EQ(window->statusText(),
              status_text::with_cause(status_text::scan_cannot_open(missing), OsdError::NotFound));
    for (const char* command : {"Button1", "E1", "Button3"}) EXPECT_TRUE(window->isEnabled(command)) << command;
    EXPECT_TRUE(window->isEditable("Edit1"));
    write_file(missing, std::string(3, 'x'));
    EXPECT_TRUE(window->drop({missing}));
    EXPECT_EQ(window->text("Label1"), "3");
}

TEST_P(Scenario, ClosingDuringAScanStopsItAtTheNextChunk) {
    TempDir dir;
    const std::string path = dir.file("zeros.bin");
    write_file(path, std::string(8 << 20, '\0'));
    window->type("Edit1", path);
    window->selectPage(1);
    // Delivered inside the scan's first event pump, as a click on the close box.
    window->requestClose();
    window->click("Button1");
    EXPECT_TRUE(view().closeRequested());
    EXPECT_EQ(window->text("Label9"), "") << "a stopped scan leaves no size";
    EXPECT_EQ(window->text("Label4"), "");
    EXPECT_EQ(window->progress(), 0);
}

// The padding byte is chosen on the scan page: Label9 counts that byte and
// Execute cuts it as it cuts zeros; automatic takes the last byte's layer.
TEST_P(Scenario, TheChosenPaddingByteIsCountedAndCut) {
    TempDir dir;
    struct Case {
        const char* name;
        std::string bytes;
        int choice;
        const char* trailing;
        std::size_t kept;
    };
    const std::vector<Case> cases{
        {"zeros.bin", "data" + std::string(100, '\0'), 0, "100", 4},
        {"flash.bin", "data" + std::string(200, '\xff'), 1, "200", 4},
        {"layered.bin", "data" + std::string(300, '\xff') + std::string(50, '\0'), 2, "50", 304},
        {"layered-ff.bin", "data" + std::string(300, '\0') + std::string(60, '\xff'), 2, "60", 304},
    };
    window->selectPage(1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(c.name);
        write_file(path, c.bytes);
        window->type("Edit1", path);
        window->choose("ComboBox1", c.choice);
        window->click("Button1");
        EXPECT_EQ(window->text("Label9"), c.trailing) << window->statusText();
        const std::string size = window->text("Label4");
        window->choose("ComboBox1", (c.choice + 1) % 3);
        EXPECT_EQ(window->text("Label4"), size) << "a new choice waits for the next scan";
        window->execute();
        EXPECT_EQ(read_file(path), c.bytes.substr(0, c.kept));
    }
    window->choose("ComboBox1", 0);
}

// Esc stops the scan as closing does, but the window stays, with no size.
TEST_P(Scenario, EscDuringAScanStopsItAndTheWindowStays) {
    TempDir dir;
    const std::string path = dir.file("zeros.bin");
    write_file(path, std::string(8 << 20, '\0'));
    window->type("Edit1", path);
    window->selectPage(1);
    window->pressEscape();
    window->click("Button1");
    EXPECT_FALSE(view().closeRequested());
    EXPECT_EQ(window->statusText(), status_text::scan_cancelled());
    EXPECT_EQ(window->text("Label9"), "");
    EXPECT_TRUE(window->isEnabled("Button1"));
    window->execute();
    EXPECT_EQ(file_size(path), std::uintmax_t{8} << 20) << "no size to apply";
    window->click("Button1");  // the next scan runs whole
    EXPECT_EQ(window->text("Label9"), "8,388,608");
}

// The texts above come from the table; here, in the table's own words, the
// window really speaks the language it started in: its captions, the
// command, a status and the question.
TEST_P(Scenario, TheWindowSpeaksTheUsersLanguage) {
    const bool japanese = GetParam() == Language::Japanese;
    EXPECT_EQ(window->text("Button1"), japanese ? "末尾ゼロ検索" : "Find zeros");
    EXPECT_EQ(window->text("CheckBox1"), japanese ? "単位繰り上げを1024にする" : "1024 per unit");
    EXPECT_EQ(window->text("E1"), japanese ? "実行(&E)" : "&Execute");
    TempDir dir;
    const std::string missing = dir.file("missing.bin");
    window->type("Edit1", missing);
    window->selectPage(1);
    window->click("Button1");
    EXPECT_EQ(window->statusText(),
              japanese ? missing + "を開けません（見つかりません）" : "Cannot open " + missing + " (not found)");
    const std::string path = dir.file("data.bin");
    write_file(path, "0123456789");
    window->type("Edit1", path);
    window->selectPage(0);
    window->type("Edit8", "4");
    window->execute();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions.back(),
              japanese ? path + " を 10 バイトから 4 バイトに切り詰めます。6 バイトは元に戻せません。よろしいですか？"
                       : "Cut " + path + " from 10 bytes to 4 bytes? The 6 bytes cut off cannot be restored.");
}

// ---------------------------------------------------------------- new name

TEST_P(Scenario, NewNameButtonShowsTheChosenFolderBeforeUsingIt) {
    InitialFolder.clear();  // as when the program starts
    TempDir dir;
    std::vector<std::string> titles;
    std::vector<std::string> messages;
    ScriptedDialogs& scripted = dialogs;
    scripted.onChoose = [&](const std::string& title, const std::string& initialFolder) {
        titles.push_back(title);
        EXPECT_EQ(initialFolder, "");
        return titles.size() == 1 ? std::optional<std::string>(dir.path()) : std::nullopt;
    };
    scripted.onMessage = [&](const std::string& text) {
        EXPECT_EQ(view().editText(EditId::Edit1), "") << "shown before Edit1 changes";
        messages.push_back(text);
    };

    window->click("Button3");
    EXPECT_EQ(titles, std::vector<std::string>{status_text::choose_folder_title()});
    EXPECT_EQ(messages, std::vector<std::string>{dir.path()});
    const std::string chosen = view().editText(EditId::Edit1);
    EXPECT_EQ(chosen.substr(0, dir.path().size() + 1), dir.path() + kPathSeparator);
    EXPECT_EQ(chosen.size(), dir.path().size() + 1 + 15) << "separator and YYYYMMDD-hhmmss";
    EXPECT_EQ(window->text("Edit1"), chosen);

    window->click("Button3");  // cancelled this time
    EXPECT_EQ(titles.size(), 2u);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(view().editText(EditId::Edit1), chosen);
}

// ---------------------------------------------------------------- view

TEST_P(Scenario, TextsKeepTheirJapaneseCharacters) {
    const std::string path = "/tmp/テスト フォルダ/ファイル.bin";
    view().setEdit1Text(path);
    EXPECT_EQ(window->text("Edit1"), path);
    EXPECT_EQ(view().editText(EditId::Edit1), path);

    window->type("Edit7", "１２");
    EXPECT_EQ(view().editText(EditId::Edit7), "１２");

    view().setLabelCaption(LabelId::Label9, "1,234");
    EXPECT_EQ(window->text("Label9"), "1,234");
    view().setStatusText("バッファを確保できません");
    EXPECT_EQ(window->statusText(), "バッファを確保できません");
}

// A path is shown as typed, never taken as markup.
TEST_P(Scenario, TheStatusTextIsPlainText) {
    view().setStatusText("<b>bold</b> &amp; <i>x</i>");
    EXPECT_EQ(window->statusText(), "<b>bold</b> &amp; <i>x</i>");

#ifndef _WIN32  // Windows names hold no '<' or '>'
    TempDir dir;
    const std::string path = dir.file("<b>x<b> &lt;.bin");
    window->type("Edit1", path);
    window->type("Edit8", "1");
    window->execute();
    EXPECT_EQ(file_size(path), 1u);
    EXPECT_EQ(window->statusText(), status_text::created(path));
#endif
}

TEST_P(Scenario, GreyedCommandsDoNothingAndProgressFollowsTheView) {
    TempDir dir;
    const std::string target = dir.file("target.bin");
    write_file(target, std::string(5, 'x'));
    window->type("Edit1", target);
    window->type("Edit8", "1");
    view().setCommandsEnabled(false);
    EXPECT_FALSE(window->isEnabled("Button1"));
    EXPECT_FALSE(window->isEnabled("E1"));
    window->execute();
    EXPECT_EQ(file_size(target), 5u) << "a greyed command does nothing";
    view().setCommandsEnabled(true);
    EXPECT_TRUE(window->isEnabled("Button1"));
    EXPECT_TRUE(window->isEnabled("E1"));

    view().setProgress(40);
    EXPECT_EQ(window->progress(), 40);
    view().setProgress(0);
}

INSTANTIATE_TEST_SUITE_P(InEachLanguage, Scenario, ::testing::Values(Language::Japanese, Language::English),
                         [](const ::testing::TestParamInfo<Language>& language) {
                             return language.param == Language::Japanese ? "Japanese" : "English";
                         });

}  // namespace
