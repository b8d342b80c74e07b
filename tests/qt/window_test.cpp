// What only the Qt window has: its widget classes, font, frame, menu bar,
// keyboard focus, drag actions, hover tips and real dialogs. What every
// window does is in tests/window/scenarios.cpp.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/captions.h"
#include "app/qt/application_icon.h"
#include "app/layout.h"
#include "tests/qt/qt_driver.h"
#include "tests/temp_dir.h"

namespace {

QString qs(const char* utf8) { return QString::fromUtf8(utf8); }

const char* qtClassOf(ControlKind kind) {
    switch (kind) {
        case ControlKind::Button: return "QPushButton";
        case ControlKind::Edit: return "QLineEdit";
        case ControlKind::Label:
        case ControlKind::NumberLabel: return "QLabel";
        case ControlKind::PageControl: return "QTabWidget";
        case ControlKind::TabSheet: return "QWidget";
        case ControlKind::CheckBox: return "QCheckBox";
        case ControlKind::ProgressBar: return "QProgressBar";
        case ControlKind::ComboBox: return "QComboBox";
        case ControlKind::StatusBar: return "QStatusBar";
    }
    return "";
}

class WindowTest : public ::testing::Test {
protected:
    template <class Widget = QWidget>
    Widget* control(const char* name) {
        auto* widget = qobject_cast<Widget*>(window.widget(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QLabel* statusText() { return window.statusLabel(); }
    QAction* E1() { return window.executeAction(); }

    QtWindowDriver window;
    TForm1& form = window.form();
};

// ---------------------------------------------------------------- layout

TEST_F(WindowTest, EveryControlIsTheQtWidgetOfItsKind) {
    int pages = 0;
    for (const LayoutRow& layoutRow : control_layout()) {
        SCOPED_TRACE(layoutRow.name);
        QWidget* widget = control(layoutRow.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_STREQ(widget->metaObject()->className(), qtClassOf(layoutRow.kind));
        if (layoutRow.kind == ControlKind::TabSheet) {
            EXPECT_EQ(control<QTabWidget>(layoutRow.parent)->indexOf(widget), pages++) << "pages in table order";
        } else if (layoutRow.kind == ControlKind::StatusBar) {
            EXPECT_EQ(widget, form.statusBar());
        } else {
            QWidget* parent = layoutRow.parent != nullptr ? control(layoutRow.parent) : form.centralWidget();
            EXPECT_EQ(widget->parentWidget(), parent);
        }
        if (layoutRow.kind == ControlKind::CheckBox) {
            EXPECT_GE(widget->width(), widget->sizeHint().width()) << "caption cut off";
        }
    }
}

TEST_F(WindowTest, TitleFontAndTitleBarButtons) {
    EXPECT_EQ(form.windowTitle(), qs(form_layout().caption));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Tavrix v0.11"));
    const QStringList families{qs(form_layout().fontFamily), qs("Noto Sans CJK JP")};
    EXPECT_EQ(form.font().families(), families);
    EXPECT_EQ(form.font().pointSize(), form_layout().fontPointSize);
    EXPECT_EQ(control("Label3")->font().families(), families) << "children inherit the font";

    const Qt::WindowFlags flags = form.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_NE(form.minimumSize(), form.maximumSize()) << "the border is sizeable";
}

TEST_F(WindowTest, MenuBarHoldsOnlyTheExecuteCommand) {
    EXPECT_EQ(form.menuBar()->objectName(), qs(form_layout().menuName));
    const QList<QAction*> actions = form.menuBar()->actions();
    ASSERT_EQ(actions.size(), 1);
    EXPECT_EQ(actions.front(), E1());
    EXPECT_EQ(actions.front()->objectName(), QStringLiteral("E1"));
    EXPECT_EQ(actions.front()->text(), qs(form_layout().executeCaption));
    EXPECT_EQ(actions.front()->menu(), nullptr) << "a command, not a submenu";
}

TEST_F(WindowTest, InitialStateOfPagesAndControls) {
    auto* pages = control<QTabWidget>("PageControl1");
    ASSERT_NE(pages, nullptr);
    ASSERT_EQ(pages->count(), 2);
    EXPECT_EQ(pages->currentWidget(), control("TabSheet1")) << "opens on the calculator page";
    window.selectPage(1);  // a click on the tab
    EXPECT_EQ(pages->currentWidget(), control("TabSheet2"));
    window.selectPage(0);
    EXPECT_EQ(pages->currentWidget(), control("TabSheet1"));

    EXPECT_FALSE(control<QCheckBox>("CheckBox1")->isChecked());
    auto* progress = control<QProgressBar>("ProgressBar1");
    EXPECT_EQ(progress->minimum(), 0);
    EXPECT_EQ(progress->maximum(), 100);
    EXPECT_EQ(progress->value(), 0);
    EXPECT_FALSE(progress->isTextVisible());
}

TEST_F(WindowTest, NumberLabelsAreRightAlignedAndSetOffAsTheTableSays) {
    const QColor windowBackground = form.centralWidget()->palette().color(QPalette::Window);
    int setOff = 0;
    for (const LayoutRow& layoutRow : control_layout()) {
        if (layoutRow.kind != ControlKind::NumberLabel) continue;
        SCOPED_TRACE(layoutRow.name);
        auto* label = control<QLabel>(layoutRow.name);
        EXPECT_TRUE(label->alignment() & Qt::AlignRight);
        EXPECT_EQ(label->minimumSize(), label->maximumSize()) << "fixed size";
        EXPECT_EQ(label->autoFillBackground(), layoutRow.setOff);
        if (!layoutRow.setOff) continue;
        ++setOff;
        const QColor background = label->palette().color(label->backgroundRole());
        EXPECT_NE(background, windowBackground);
        EXPECT_GE(background.lightness(), 200);
    }
    EXPECT_EQ(setOff, 3) << "Label1, Label4, Label5";
}

TEST_F(WindowTest, ClientAreaLiesBelowTheMenuBarWithStatusBarAtTheBottom) {
    const int width = form_layout().clientWidth;
    const int height = form_layout().clientHeight;
    const Bounds status = find_control("StatusBar1")->bounds;
    const int menuHeight = form.menuBar()->height();
    ASSERT_GT(menuHeight, 0);
    EXPECT_EQ(form.size(), QSize(width, menuHeight + height));
    EXPECT_EQ(form.centralWidget()->geometry(), QRect(0, menuHeight, width, status.top));
    EXPECT_EQ(form.statusBar()->geometry(), QRect(0, menuHeight + status.top, width, status.height));
    EXPECT_TRUE(form.statusBar()->isSizeGripEnabled());

    const QRect screen = form.screen()->availableGeometry();
    EXPECT_LE((form.frameGeometry().center() - screen.center()).manhattanLength(), 2)
        << "opens centred";
}

TEST_F(WindowTest, OnResizeOnlyTheStatusBarFollows) {
    const int menuHeight = form.menuBar()->height();
    const int statusHeight = find_control("StatusBar1")->bounds.height;
    form.resize(600, 420);
    QCoreApplication::processEvents();
    EXPECT_EQ(form.statusBar()->geometry(), QRect(0, 420 - statusHeight, 600, statusHeight));
    EXPECT_EQ(form.centralWidget()->pos(), QPoint(0, menuHeight));
    for (const LayoutRow& layoutRow : control_layout()) {
        if (layoutRow.kind == ControlKind::TabSheet || layoutRow.kind == ControlKind::StatusBar) continue;
        const Bounds box = window.bounds(layoutRow.name);
        EXPECT_EQ(QPoint(box.left, box.top), QPoint(layoutRow.bounds.left, layoutRow.bounds.top)) << layoutRow.name;
        if (layoutRow.kind != ControlKind::Label && layoutRow.kind != ControlKind::CheckBox) {
            EXPECT_EQ(QSize(box.width, box.height), QSize(layoutRow.bounds.width, layoutRow.bounds.height)) << layoutRow.name;
        }
    }
}

// The tab stops of one parent, in the table's order.
QStringList tabStops(const char* parent) {
    std::vector<const LayoutRow*> stops;
    for (const LayoutRow& layoutRow : control_layout()) {
        // The progress bar takes no keyboard focus, so Tab passes it by.
        if (layoutRow.tabOrder == 0 || layoutRow.kind == ControlKind::ProgressBar) continue;
        if ((layoutRow.parent == nullptr) != (parent == nullptr)) continue;
        if (parent != nullptr && std::string(layoutRow.parent) != parent) continue;
        stops.push_back(&layoutRow);
    }
    std::sort(stops.begin(), stops.end(), [](auto* a, auto* b) { return a->tabOrder < b->tabOrder; });
    QStringList names;
    for (const LayoutRow* layoutRow : stops) names << QString::fromLatin1(layoutRow->name);
    return names;
}

// Tab visits the stops of the window, then those of the shown page, and wraps.
TEST_F(WindowTest, TabKeyFollowsTheTabOrder) {
    form.activateWindow();
    QCoreApplication::processEvents();
    const QStringList top = tabStops(nullptr);
    const QStringList firstPage = tabStops("TabSheet1");
    const QStringList secondPage = tabStops("TabSheet2");
    const QStringList all = top + firstPage + secondPage;
    // The focus proxy of a tab widget is its tab bar; name a widget after the
    // nearest control in the list.
    auto nameOf = [&](QWidget* widget) {
        for (; widget != nullptr; widget = widget->parentWidget()) {
            if (all.contains(widget->objectName())) return widget->objectName();
        }
        return QStringLiteral("(none)");
    };
    auto visit = [&](qsizetype presses) {
        control(top.front().toLatin1().constData())->setFocus(Qt::OtherFocusReason);
        QStringList visited{nameOf(form.focusWidget())};
        for (qsizetype i = 0; i < presses; ++i) {
            QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
            QCoreApplication::sendEvent(form.focusWidget(), &tab);
            visited << nameOf(form.focusWidget());
        }
        return visited;
    };

    EXPECT_EQ(top, (QStringList{"Edit1", "Button3", "PageControl1"}));
    EXPECT_EQ(visit(top.size() + firstPage.size()), top + firstPage + QStringList{top.front()});
    control<QTabWidget>("PageControl1")->setCurrentIndex(1);
    EXPECT_EQ(visit(top.size() + secondPage.size()), top + secondPage + QStringList{top.front()});
}

// ---------------------------------------------------------------- drops

class DropTest : public WindowTest {
protected:
    void SetUp() override { make_sparse(first, 1'234'567); }

    // Enter, move and drop at `pos` (window coordinates) through the native
    // window, so Qt picks the widget under the cursor as a real drag would.
    struct DragOutcome {
        bool enterAccepted = false;
        Qt::DropAction enterAction = Qt::IgnoreAction;
        bool dropAccepted = false;
    };
    DragOutcome drag(const QPoint& pos, const QMimeData& mime) {
        // Shift proposes a move, as a file manager's drag with Shift held does.
        const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
        const Qt::KeyboardModifiers keys = Qt::ShiftModifier;
        QWindow* handle = form.windowHandle();
        DragOutcome outcome;
        QDragEnterEvent enter(pos, actions, &mime, Qt::LeftButton, keys);
        QCoreApplication::sendEvent(handle, &enter);
        outcome.enterAccepted = enter.isAccepted();
        outcome.enterAction = enter.dropAction();
        QDragMoveEvent move(pos, actions, &mime, Qt::LeftButton, keys);
        QCoreApplication::sendEvent(handle, &move);
        QDropEvent drop(QPointF(pos), actions, &mime, Qt::LeftButton, keys);
        QCoreApplication::sendEvent(handle, &drop);
        outcome.dropAccepted = drop.isAccepted();
        return outcome;
    }

    TempDir dir;
    const std::string first = dir.file("テスト.bin");
};

TEST_F(DropTest, AFileIsCopiedNeverMovedFromItsSource) {
    const auto mime = QtWindowDriver::filesMime({first});
    const DragOutcome outcome = drag(window.emptySpot(), *mime);
    EXPECT_TRUE(outcome.enterAccepted);
    EXPECT_EQ(outcome.enterAction, Qt::CopyAction) << "a move would let the source delete the file";
    EXPECT_TRUE(outcome.dropAccepted);
    EXPECT_EQ(window.text("Edit1"), first);
    EXPECT_EQ(window.text("Label1"), "1,234,567");
}

// The URL holds the name's bytes percent-encoded; Qt's own decoding would
// replace those that are not UTF-8.
TEST_F(DropTest, TheExactBytesOfANameLastUntilTheUserEditsEdit1) {
    const std::string path = dir.path() + "/\xff\xfe name.bin";
    write_file(path, std::string(9, 'x'));
    EXPECT_TRUE(window.drop({path}));
    EXPECT_EQ(window.text("Label1"), "9");
    EXPECT_EQ(form.editText(EditId::Edit1), path);

    // Retyping the very text shown is an edit all the same: from then on the
    // field's text is the path.
    const std::string shown = window.text("Edit1");
    window.type("Edit1", shown);
    EXPECT_EQ(form.editText(EditId::Edit1), shown);

    // Programs that set Edit1 (the new-name button) hold their bytes again.
    form.setEdit1Text(path);
    EXPECT_EQ(form.editText(EditId::Edit1), path);
}

TEST_F(DropTest, DropOnTheEditFieldReachesTheWindow) {
    auto* edit1 = control("Edit1");
    const auto mime = QtWindowDriver::filesMime({first});
    mime->setText(QStringLiteral("text a line edit would insert"));
    const DragOutcome outcome = drag(edit1->mapTo(&form, edit1->rect().center()), *mime);
    EXPECT_TRUE(outcome.dropAccepted);
    EXPECT_EQ(window.text("Edit1"), first) << "the path replaces the text, no URL inserted";
    EXPECT_EQ(window.text("Label1"), "1,234,567");
}

TEST_F(DropTest, DragsWithoutLocalFilesAreRefused) {
    QMimeData plainText;
    plainText.setText(QStringLiteral("just text"));
    QMimeData remote;
    remote.setUrls({QUrl(QStringLiteral("https://example.org/file.bin"))});
    for (const QMimeData* mime : {&plainText, &remote}) {
        const DragOutcome outcome = drag(window.emptySpot(), *mime);
        EXPECT_FALSE(outcome.enterAccepted);
        EXPECT_FALSE(outcome.dropAccepted);
    }
    EXPECT_EQ(window.text("Edit1"), "");
    EXPECT_EQ(window.text("Label1"), "0");
}

// ---------------------------------------------------------------- scan

// What the scenarios show through setCommandsEnabled, here in a real scan:
// the checks run inside its first event pump.
TEST_F(WindowTest, DuringAScanEdit1TakesNoTypingAndTheWindowNoDrops) {
    TempDir dir;
    const std::string measured = dir.file("zeros.bin");
    const std::string other = dir.file("other.bin");
    write_file(measured, std::string(100, 'x') + std::string(1 << 20, '\0'));
    write_file(other, std::string(7, 'x'));
    window.type("Edit1", measured);
    window.selectPage(1);

    bool ran = false;
    QTimer::singleShot(0, &form, [&] {
        ran = true;
        EXPECT_FALSE(window.isEnabled("Button3"));
        EXPECT_FALSE(window.isEnabled("Button1"));
        EXPECT_FALSE(window.isEnabled("E1"));
        EXPECT_FALSE(window.isEditable("Edit1"));
        window.type("Edit1", other);
        // An input method that commits all the same is refused too.
        QInputMethodEvent committed;
        committed.setCommitString(QStringLiteral("x"));
        QCoreApplication::sendEvent(control("Edit1"), &committed);
        EXPECT_FALSE(window.drop({other}));
        // Nor does a drag that entered before the scan land.
        const auto mime = QtWindowDriver::filesMime({other});
        QDropEvent late(QPointF(window.emptySpot()), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&form, &late);
        EXPECT_FALSE(late.isAccepted());
    });
    window.click("Button1");
    ASSERT_TRUE(ran);
    EXPECT_EQ(window.text("Edit1"), measured);
    EXPECT_EQ(window.text("Label1"), "1,048,676") << "the scanned file's length, not the one dropped";
    EXPECT_EQ(window.text("Label9"), "1,048,576");
    EXPECT_EQ(window.text("Label4"), "100");
    EXPECT_TRUE(window.isEditable("Edit1"));
    EXPECT_TRUE(control("Edit5")->acceptDrops()) << "unit fields take text drops again";
}

// During a scan the bar moves at most once a frame; whatever it was last
// told shows once the scan is over, and outside a scan at once.
TEST_F(WindowTest, ProgressDuringAScanSettlesOnTheLastPosition) {
    auto* bar = control<QProgressBar>("ProgressBar1");
    form.setCommandsEnabled(false);
    for (int position = 100; position >= 37; --position) form.setProgress(position);
    EXPECT_GE(bar->value(), 37);
    form.setCommandsEnabled(true);
    EXPECT_EQ(bar->value(), 37);
    form.setProgress(12);
    form.setProgress(11);
    EXPECT_EQ(bar->value(), 11);
}

// ---------------------------------------------------------------- view

TEST_F(WindowTest, StatusTextSurvivesHoverTips) {
    form.setStatusText("バッファを確保できません");
    QStatusTipEvent tip(QStringLiteral("hover tip"));
    QCoreApplication::sendEvent(&form, &tip);
    QCoreApplication::processEvents();
    ASSERT_NE(statusText(), nullptr);
    EXPECT_TRUE(statusText()->isVisible());
    EXPECT_EQ(statusText()->text(), qs("バッファを確保できません"));
    EXPECT_GE(statusText()->width(), form_layout().clientWidth - 40) << "the text spans the status bar";
}

// A number that does not fit first takes the free space before its label,
// and only then a smaller font; a short one gives both back.
TEST_F(WindowTest, ALongNumberTakesTheSpaceBeforeItThenASmallerFont) {
    const double windowFont = form.font().pointSizeF();
    auto* label1 = control<QLabel>("Label1");
    const Bounds table = find_control("Label1")->bounds;

    form.setLabelCaption(LabelId::Label1, "-9,223,372,036,854,775,808");
    EXPECT_LT(window.bounds("Label1").left, table.left) << "grown leftwards";
    EXPECT_LT(label1->font().pointSizeF(), windowFont);
    EXPECT_GE(label1->font().pointSizeF(), 4.0) << "still readable";
    EXPECT_EQ(label1->minimumSize(), label1->maximumSize()) << "fixed size";

    form.setLabelCaption(LabelId::Label1, "1,234");
    EXPECT_EQ(label1->font(), form.font()) << "the window's font again";
    EXPECT_EQ(window.bounds("Label1"), table);

    // Label9 has nothing before it but the page's margin: it keeps its left
    // edge and shrinks its font alone.
    form.setLabelCaption(LabelId::Label9, "-9,223,372,036,854,775,808");
    EXPECT_EQ(window.bounds("Label9"), find_control("Label9")->bounds);
    EXPECT_LT(control("Label9")->font().pointSizeF(), windowFont);
}

// A QLabel takes text for markup unless told otherwise.
TEST_F(WindowTest, StatusAndNumberLabelsAreNeverMarkup) {
    EXPECT_EQ(statusText()->textFormat(), Qt::PlainText);
    for (const LayoutRow& layoutRow : control_layout()) {
        if (layoutRow.kind != ControlKind::NumberLabel) continue;
        EXPECT_EQ(control<QLabel>(layoutRow.name)->textFormat(), Qt::PlainText) << layoutRow.name;
    }
}

// The Qt window is not deleted on close, so a scan still running can finish
// its chunk against it.
TEST_F(WindowTest, ClosingIsRecordedAndTheWindowStaysUsable) {
    EXPECT_NE(form.winId(), WId{});
    EXPECT_FALSE(form.closeRequested());
    EXPECT_TRUE(form.close());
    EXPECT_TRUE(form.closeRequested());
    form.setStatusText("after close");  // a scan still running may write here
    EXPECT_EQ(statusText()->text(), QStringLiteral("after close"));
}

// ---------------------------------------------------------------- dialogs

// The real dialogs, answered from the event loop they run.
TEST_F(WindowTest, MessageBoxIsTitledAndCarriesTheText) {
    QString title, body;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        body = box->text();
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        box->accept();
    });
    form.dialogs().showMessage("/tmp/作成先");
    EXPECT_EQ(title, qs(form_layout().applicationTitle));
    EXPECT_EQ(body, qs("/tmp/作成先"));
}

// Every number stays readable under a light and a dark palette: its text
// contrasts with what is behind it.
TEST_F(WindowTest, NumbersContrastUnderLightAndDarkPalettes) {
    const QPalette before = QApplication::palette();
    QPalette dark;
    for (const auto& [role, colour] : {std::pair{QPalette::Window, QColor(0x30, 0x30, 0x30)},
                                      {QPalette::WindowText, QColor(Qt::white)}, {QPalette::Base, QColor(0x20, 0x20, 0x20)},
                                      {QPalette::Text, QColor(Qt::white)}, {QPalette::Highlight, QColor(0x30, 0x60, 0xa0)},
                                      {QPalette::HighlightedText, QColor(Qt::white)}, {QPalette::Button, QColor(0x40, 0x40, 0x40)},
                                      {QPalette::ButtonText, QColor(Qt::white)}})
        dark.setColor(role, colour);
    for (const QPalette& palette : {before, dark}) {
        QApplication::setPalette(palette);
        for (const char* name : {"Label1", "Label4", "Label5", "Label9"}) {
            auto* label = qobject_cast<QLabel*>(control(name));
            ASSERT_NE(label, nullptr) << name;
            const QWidget* behind = label->autoFillBackground() ? label : label->parentWidget();
            const QColor back = behind->palette().color(behind->backgroundRole());
            const QColor text = label->palette().color(label->foregroundRole());
            EXPECT_GT(std::abs(text.lightness() - back.lightness()), 120)
                << name << ": text " << text.name().toStdString() << " on " << back.name().toStdString();
        }
    }
    QApplication::setPalette(before);
}

// A screen reader hears what each field, number and the bar are, not a bare
// number; Label5 says it is hexadecimal. The number itself, which is no
// longer the label's name, is its description.
TEST_F(WindowTest, FieldsNumbersAndTheBarHaveAccessibleNames) {
    for (const char* name : {"Edit1", "Edit5", "Edit6", "Edit7", "Edit8", "Label1", "Label4", "Label5", "Label9",
                             "ProgressBar1"})
        EXPECT_EQ(control(name)->accessibleName().toStdString(), accessible_name(name)) << name;
    EXPECT_EQ(control("Label5")->accessibleName(), QStringLiteral("出力サイズ（16進数）"));
    EXPECT_EQ(control("Label4")->accessibleDescription(), QStringLiteral("0"));
    form.setLabelCaption(LabelId::Label9, "1,234");
    EXPECT_EQ(control("Label9")->accessibleDescription(), QStringLiteral("1,234"));
}

// Without an icon theme that has it, the built-in icon shows, at every size
// a dock or title bar asks for.
TEST_F(WindowTest, TheApplicationIconIsBuiltIn) {
    const QIcon icon = application_icon();
    ASSERT_FALSE(icon.isNull());
    for (const int size : {16, 48, 256}) EXPECT_EQ(icon.pixmap(size, size).width(), size) << size;
}

// The question before a cut: No is the default, Esc says No.
TEST_F(WindowTest, QuestionDefaultsToNoAndEscSaysNo) {
    QMessageBox::StandardButtons buttons;
    QAbstractButton* defaultButton = nullptr;
    QAbstractButton* noButton = nullptr;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        buttons = box->standardButtons();
        defaultButton = box->defaultButton();
        noButton = box->button(QMessageBox::No);
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(box, &escape);
    });
    EXPECT_FALSE(form.dialogs().askYesNo("/tmp/x.bin を切り詰めます"));
    EXPECT_EQ(buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(defaultButton, noButton);

    QTimer::singleShot(0, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        box->button(QMessageBox::Yes)->click();
    });
    EXPECT_TRUE(form.dialogs().askYesNo("/tmp/x.bin を切り詰めます"));
}

TEST_F(WindowTest, CancelledFolderChooserGivesNothing) {
    QString title;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        dialog->reject();
    });
    EXPECT_EQ(form.dialogs().chooseFolder("作成先を選択してください", ""), std::nullopt);
    EXPECT_EQ(title, qs("作成先を選択してください"));
}

}  // namespace
