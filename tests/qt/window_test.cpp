#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/qt/main_window.h"
#include "tests/scripted_dialogs.h"
#include "tests/temp_dir.h"

namespace {

QString qs(const char* utf8) { return QString::fromUtf8(utf8); }
QString qs(const std::string& utf8) { return QString::fromStdString(utf8); }

class WindowTest : public ::testing::Test {
protected:
    template <class Widget = QWidget>
    Widget* control(const char* name) {
        auto* widget = form.findChild<Widget*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QString text(const char* name) {
        if (auto* label = form.findChild<QLabel*>(QString::fromLatin1(name))) return label->text();
        if (auto* edit = form.findChild<QLineEdit*>(QString::fromLatin1(name))) return edit->text();
        ADD_FAILURE() << name << " has no text";
        return {};
    }
    QLabel* statusText() { return form.statusBar()->findChild<QLabel*>(); }
    QAction* E1() { return form.findChild<QAction*>(QStringLiteral("E1")); }
    void showAndSettle() {
        form.show();
        QCoreApplication::processEvents();
    }

    TForm1 form;
};

// ---------------------------------------------------------------- layout

struct ControlRow {
    const char* name;
    const char* kind;
    const char* parent;  // nullptr: the window's client area
    QRect geometry;
    const char* caption;  // nullptr: no caption to check
    bool widensToFit = false;  // a caption the font may make wider than drawn
};

const ControlRow kControls[] = {
    {"Button3", "QPushButton", nullptr, {8, 8, 105, 25}, "新規ファイル名生成"},
    {"Edit1", "QLineEdit", nullptr, {8, 40, 378, 21}, ""},
    {"Label3", "QLabel", nullptr, {8, 72, 63, 13}, "現在のサイズ", true},
    {"Label1", "QLabel", nullptr, {88, 72, 97, 13}, "0"},
    {"Label2", "QLabel", nullptr, {8, 104, 53, 13}, "出力サイズ", true},
    {"Label4", "QLabel", nullptr, {88, 104, 97, 13}, "0"},
    {"Label5", "QLabel", nullptr, {203, 104, 117, 13}, "0"},
    {"PageControl1", "QTabWidget", nullptr, {8, 136, 257, 89}, nullptr},
    {"Edit5", "QLineEdit", "TabSheet1", {3, 3, 42, 21}, ""},
    {"Label6", "QLabel", "TabSheet1", {51, 13, 13, 13}, "GB", true},
    {"Edit6", "QLineEdit", "TabSheet1", {70, 3, 42, 21}, ""},
    {"Label7", "QLabel", "TabSheet1", {118, 13, 14, 13}, "MB", true},
    {"Edit7", "QLineEdit", "TabSheet1", {138, 3, 41, 21}, ""},
    {"Label8", "QLabel", "TabSheet1", {185, 13, 12, 13}, "KB", true},
    {"Edit8", "QLineEdit", "TabSheet1", {203, 3, 41, 21}, ""},
    {"CheckBox1", "QCheckBox", "TabSheet1", {3, 41, 150, 17}, "単位繰り上げを1024にする", true},
    {"Button1", "QPushButton", "TabSheet2", {0, 3, 73, 25}, "末尾ゼロ検索"},
    {"ProgressBar1", "QProgressBar", "TabSheet2", {79, 10, 151, 17}, nullptr},
    {"Label9", "QLabel", "TabSheet2", {8, 40, 121, 13}, "0"},
};

TEST_F(WindowTest, EveryControlHasItsKindParentGeometryAndCaption) {
    showAndSettle();
    for (const ControlRow& row : kControls) {
        SCOPED_TRACE(row.name);
        QWidget* widget = control(row.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_STREQ(widget->metaObject()->className(), row.kind);
        QWidget* parent = row.parent ? control(row.parent) : form.centralWidget();
        EXPECT_EQ(widget->parentWidget(), parent);
        if (row.widensToFit) {
            EXPECT_EQ(widget->pos(), row.geometry.topLeft());
            EXPECT_EQ(widget->height(), row.geometry.height());
            EXPECT_GE(widget->width(), row.geometry.width());
            EXPECT_GE(widget->width(), widget->sizeHint().width()) << "caption cut off";
        } else {
            EXPECT_EQ(widget->geometry(), row.geometry);
        }
        if (row.caption == nullptr) continue;
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            EXPECT_EQ(button->text(), qs(row.caption));
        } else {
            EXPECT_EQ(text(row.name), qs(row.caption));
        }
    }
}

TEST_F(WindowTest, WidenedCaptionsStayClearOfTheirNeighbours) {
    showAndSettle();
    const std::pair<const char*, const char*> neighbours[] = {
        {"Label3", "Label1"}, {"Label2", "Label4"}, {"Label6", "Edit6"},
        {"Label7", "Edit7"},  {"Label8", "Edit8"},
    };
    for (const auto& [caption, next] : neighbours) {
        EXPECT_LT(control(caption)->geometry().right(), control(next)->x()) << caption;
    }
    EXPECT_LE(control("CheckBox1")->geometry().right(), control("TabSheet1")->width());
}

TEST_F(WindowTest, TitleFontAndTitleBarButtons) {
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Tavrix v0.11"));
    const QStringList families{QStringLiteral("Tahoma"), qs("Noto Sans CJK JP")};
    EXPECT_EQ(form.font().families(), families);
    EXPECT_EQ(form.font().pointSize(), 8);
    EXPECT_EQ(control("Label3")->font().families(), families) << "children inherit the font";

    const Qt::WindowFlags flags = form.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_NE(form.minimumSize(), form.maximumSize()) << "the border is sizeable";
}

TEST_F(WindowTest, MenuBarHoldsOnlyTheExecuteCommand) {
    EXPECT_EQ(form.menuBar()->objectName(), QStringLiteral("MainMenu1"));
    const QList<QAction*> actions = form.menuBar()->actions();
    ASSERT_EQ(actions.size(), 1);
    EXPECT_EQ(actions.front(), E1());
    EXPECT_EQ(actions.front()->text(), qs("実行(&E)"));
    EXPECT_EQ(actions.front()->menu(), nullptr) << "a command, not a submenu";
}

TEST_F(WindowTest, InitialStateOfPagesAndControls) {
    auto* pages = control<QTabWidget>("PageControl1");
    ASSERT_NE(pages, nullptr);
    ASSERT_EQ(pages->count(), 2);
    EXPECT_EQ(pages->widget(0), control("TabSheet1"));
    EXPECT_EQ(pages->tabText(0), qs("ユーザー指定"));
    EXPECT_EQ(pages->widget(1), control("TabSheet2"));
    EXPECT_EQ(pages->tabText(1), qs("末尾ゼロ削除"));
    EXPECT_EQ(pages->currentWidget(), control("TabSheet1")) << "opens on the calculator page";

    EXPECT_FALSE(control<QCheckBox>("CheckBox1")->isChecked());
    auto* progress = control<QProgressBar>("ProgressBar1");
    EXPECT_EQ(progress->minimum(), 0);
    EXPECT_EQ(progress->maximum(), 100);
    EXPECT_EQ(progress->value(), 0);
    EXPECT_FALSE(progress->isTextVisible());
}

TEST_F(WindowTest, NumberLabelsAreRightAlignedFixedAndSetOff) {
    const QColor windowBackground = form.centralWidget()->palette().color(QPalette::Window);
    for (const char* name : {"Label1", "Label4", "Label5", "Label9"}) {
        SCOPED_TRACE(name);
        auto* label = control<QLabel>(name);
        EXPECT_TRUE(label->alignment() & Qt::AlignRight);
        EXPECT_EQ(label->minimumSize(), label->maximumSize()) << "fixed size";
        if (std::string(name) == "Label9") continue;
        EXPECT_TRUE(label->autoFillBackground());
        const QColor background = label->palette().color(label->backgroundRole());
        EXPECT_NE(background, windowBackground);
        EXPECT_GE(background.lightness(), 200);
    }
}

TEST_F(WindowTest, ClientAreaLiesBelowTheMenuBarWithStatusBarAtTheBottom) {
    showAndSettle();
    const int menuHeight = form.menuBar()->height();
    ASSERT_GT(menuHeight, 0);
    EXPECT_EQ(form.size(), QSize(394, menuHeight + 254));
    EXPECT_EQ(form.centralWidget()->geometry(), QRect(0, menuHeight, 394, 235));
    EXPECT_EQ(form.statusBar()->objectName(), QStringLiteral("StatusBar1"));
    EXPECT_EQ(form.statusBar()->geometry(), QRect(0, menuHeight + 235, 394, 19));
    EXPECT_TRUE(form.statusBar()->isSizeGripEnabled());

    const QRect screen = form.screen()->availableGeometry();
    EXPECT_LE((form.frameGeometry().center() - screen.center()).manhattanLength(), 2)
        << "opens centred";
}

TEST_F(WindowTest, OnResizeOnlyTheStatusBarFollows) {
    showAndSettle();
    const int menuHeight = form.menuBar()->height();
    form.resize(600, 420);
    QCoreApplication::processEvents();
    EXPECT_EQ(form.statusBar()->geometry(), QRect(0, 420 - 19, 600, 19));
    EXPECT_EQ(form.centralWidget()->pos(), QPoint(0, menuHeight));
    for (const ControlRow& row : kControls) {
        EXPECT_EQ(control(row.name)->pos(), row.geometry.topLeft()) << row.name;
        if (!row.widensToFit) {
            EXPECT_EQ(control(row.name)->size(), row.geometry.size()) << row.name;
        }
    }
}

// Tab visits the focusable controls of the shown page in order, then wraps.
TEST_F(WindowTest, TabKeyFollowsTheTabOrder) {
    showAndSettle();
    form.activateWindow();
    QCoreApplication::processEvents();
    const QStringList names{"Edit1", "Button3", "PageControl1", "Edit5", "Edit6", "Edit7",
                            "Edit8", "CheckBox1", "Button1"};
    // The focus proxy of a tab widget is its tab bar; name a widget after the
    // nearest control in the list.
    auto nameOf = [&](QWidget* widget) {
        for (; widget != nullptr; widget = widget->parentWidget()) {
            if (names.contains(widget->objectName())) return widget->objectName();
        }
        return QStringLiteral("(none)");
    };
    auto visit = [&](int presses) {
        control("Edit1")->setFocus(Qt::OtherFocusReason);
        QStringList visited{nameOf(form.focusWidget())};
        for (int i = 0; i < presses; ++i) {
            QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
            QCoreApplication::sendEvent(form.focusWidget(), &tab);
            visited << nameOf(form.focusWidget());
        }
        return visited;
    };

    EXPECT_EQ(visit(8), (QStringList{"Edit1", "Button3", "PageControl1", "Edit5", "Edit6",
                                     "Edit7", "Edit8", "CheckBox1", "Edit1"}));
    control<QTabWidget>("PageControl1")->setCurrentIndex(1);
    EXPECT_EQ(visit(4), (QStringList{"Edit1", "Button3", "PageControl1", "Button1", "Edit1"}));
}

// ---------------------------------------------------------------- drops

class DropTest : public WindowTest {
protected:
    void SetUp() override {
        make_sparse(first, 1'234'567);
        write_file(dir.file("second.bin"), std::string(10, 'x'));
        write_file(dir.file("third.bin"), std::string(20, 'x'));
        showAndSettle();
    }

    static std::unique_ptr<QMimeData> filesMime(const std::vector<std::string>& paths) {
        auto mime = std::make_unique<QMimeData>();
        QList<QUrl> urls;
        for (const std::string& path : paths) urls << QUrl::fromLocalFile(qs(path));
        mime->setUrls(urls);
        return mime;
    }

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
        QWindow* window = form.windowHandle();
        DragOutcome outcome;
        QDragEnterEvent enter(pos, actions, &mime, Qt::LeftButton, keys);
        QCoreApplication::sendEvent(window, &enter);
        outcome.enterAccepted = enter.isAccepted();
        outcome.enterAction = enter.dropAction();
        QDragMoveEvent move(pos, actions, &mime, Qt::LeftButton, keys);
        QCoreApplication::sendEvent(window, &move);
        QDropEvent drop(QPointF(pos), actions, &mime, Qt::LeftButton, keys);
        QCoreApplication::sendEvent(window, &drop);
        outcome.dropAccepted = drop.isAccepted();
        return outcome;
    }

    QPoint emptySpot() {
        return form.centralWidget()->mapTo(&form, QPoint(300, 15));
    }

    TempDir dir;
    const std::string first = dir.file("テスト.bin");
};

TEST_F(DropTest, OnlyTheFirstOfSeveralFilesIsTaken) {
    const auto mime = filesMime({first, dir.file("second.bin"), dir.file("third.bin")});
    const DragOutcome outcome = drag(emptySpot(), *mime);
    EXPECT_TRUE(outcome.enterAccepted);
    EXPECT_EQ(outcome.enterAction, Qt::CopyAction) << "a move would let the source delete the file";
    EXPECT_TRUE(outcome.dropAccepted);

    EXPECT_EQ(text("Edit1"), qs(first));
    EXPECT_EQ(form.editText(EditId::Edit1), first);
    EXPECT_EQ(text("Label1"), QStringLiteral("1,234,567"));
    for (const char* untouched : {"Label4", "Label5", "Label9"}) {
        EXPECT_EQ(text(untouched), QStringLiteral("0")) << untouched;
    }
}

TEST_F(DropTest, DropOnTheEditFieldReachesTheWindow) {
    auto* edit1 = control("Edit1");
    const auto mime = filesMime({first});
    mime->setText(QStringLiteral("text a line edit would insert"));
    const DragOutcome outcome = drag(edit1->mapTo(&form, edit1->rect().center()), *mime);
    EXPECT_TRUE(outcome.dropAccepted);
    EXPECT_EQ(text("Edit1"), qs(first)) << "the path replaces the text, no URL inserted";
    EXPECT_EQ(text("Label1"), QStringLiteral("1,234,567"));
}

TEST_F(DropTest, DragsWithoutLocalFilesAreRefused) {
    QMimeData plainText;
    plainText.setText(QStringLiteral("just text"));
    QMimeData remote;
    remote.setUrls({QUrl(QStringLiteral("https://example.org/file.bin"))});
    for (const QMimeData* mime : {&plainText, &remote}) {
        const DragOutcome outcome = drag(emptySpot(), *mime);
        EXPECT_FALSE(outcome.enterAccepted);
        EXPECT_FALSE(outcome.dropAccepted);
    }
    EXPECT_EQ(text("Edit1"), QString());
    EXPECT_EQ(text("Label1"), QStringLiteral("0"));
}

// ---------------------------------------------------------------- wiring

TEST_F(WindowTest, UnitFieldsAndCheckBoxRecomputeTheOutputSize) {
    control<QLineEdit>("Edit6")->setText(QStringLiteral("2"));
    control<QLineEdit>("Edit7")->setText(QStringLiteral("1"));
    EXPECT_EQ(text("Label4"), QStringLiteral("2,001,000"));
    EXPECT_EQ(text("Label5"), QStringLiteral("1e8868"));
    control<QCheckBox>("CheckBox1")->setChecked(true);
    EXPECT_EQ(text("Label4"), QStringLiteral("2,098,176"));
    EXPECT_EQ(text("Label5"), QStringLiteral("200400"));
    control<QLineEdit>("Edit5")->setText(QStringLiteral("1"));
    control<QLineEdit>("Edit8")->setText(QStringLiteral("1"));
    EXPECT_EQ(text("Label4"), QStringLiteral("1,075,840,001"));
}

TEST_F(WindowTest, ExecuteCommandGivesTheFileTheOutputSize) {
    TempDir dir;
    const std::string path = dir.file("出力.bin");
    write_file(path, std::string(100, 'x'));
    control<QLineEdit>("Edit1")->setText(qs(path));
    control<QLineEdit>("Edit8")->setText(QStringLiteral("10"));

    E1()->trigger();
    EXPECT_EQ(file_size(path), 10u);
    EXPECT_EQ(statusText()->text(), qs(path + "を作成しました"));
}

TEST_F(WindowTest, SearchButtonCountsTrailingZeros) {
    TempDir dir;
    const std::string path = dir.file("zeros.bin");
    write_file(path, std::string(100, 'x') + std::string(50, '\0'));
    control<QLineEdit>("Edit1")->setText(qs(path));
    control<QTabWidget>("PageControl1")->setCurrentIndex(1);
    showAndSettle();

    control<QPushButton>("Button1")->click();
    EXPECT_EQ(text("Label9"), QStringLiteral("50"));
    EXPECT_EQ(text("Label4"), QStringLiteral("100"));
    EXPECT_TRUE(control("Button1")->isEnabled()) << "commands come back after the scan";
    EXPECT_TRUE(E1()->isEnabled());
}

TEST_F(WindowTest, OneMegabyteOfTheBinaryUnitCreatesANewFile) {
    TempDir dir;
    const std::string path = dir.file("new.bin");
    control<QLineEdit>("Edit1")->setText(qs(path));
    control<QCheckBox>("CheckBox1")->setChecked(true);
    control<QLineEdit>("Edit6")->setText(QStringLiteral("1"));
    E1()->trigger();
    EXPECT_EQ(read_file(path), std::string(1048576, '\0'));
    EXPECT_EQ(statusText()->text(), qs(path + "を作成しました"));
}

TEST_F(WindowTest, ClosingDuringAScanStopsItAtTheNextChunk) {
    TempDir dir;
    const std::string path = dir.file("zeros.bin");
    write_file(path, std::string(8 << 20, '\0'));
    control<QLineEdit>("Edit1")->setText(qs(path));
    showAndSettle();
    // Runs inside the scan's first event pump, as a click on the close box would.
    QTimer::singleShot(0, &form, [this] { form.close(); });
    control<QPushButton>("Button1")->click();
    EXPECT_TRUE(form.closeRequested());
    EXPECT_EQ(text("Label9"), QString()) << "a stopped scan leaves no size";
    EXPECT_EQ(text("Label4"), QString());
    EXPECT_EQ(control<QProgressBar>("ProgressBar1")->value(), 0);
}

TEST_F(WindowTest, NewNameButtonUsesTheChosenFolderAndShowsIt) {
    TempDir dir;
    std::string askedTitle;
    std::vector<std::string> messages;
    ScriptedDialogs scripted;
    form.setDialogs(&scripted);
    scripted.onChoose = [&](const std::string& title, const std::string&) {
        askedTitle = title;
        return std::optional<std::string>(dir.path());
    };
    scripted.onMessage = [&](const std::string& text) {
        EXPECT_EQ(form.editText(EditId::Edit1), "") << "shown before Edit1 changes";
        messages.push_back(text);
    };

    control<QPushButton>("Button3")->click();
    EXPECT_EQ(askedTitle, "作成先を選択してください");
    EXPECT_EQ(messages, std::vector<std::string>{dir.path()});
    const std::string edit1 = form.editText(EditId::Edit1);
    EXPECT_EQ(edit1.substr(0, dir.path().size()), dir.path());
    EXPECT_EQ(edit1.size(), dir.path().size() + 1 + 15) << "separator and YYYYMMDD-hhmmss";
}

// ---------------------------------------------------------------- view

TEST_F(WindowTest, PathsAndTextsKeepTheirJapaneseCharacters) {
    const std::string path = "/tmp/テスト フォルダ/ファイル.bin";
    form.setEdit1Text(path);
    EXPECT_EQ(text("Edit1"), qs(path));
    EXPECT_EQ(form.editText(EditId::Edit1), path);

    control<QLineEdit>("Edit7")->setText(qs("１２"));
    EXPECT_EQ(form.editText(EditId::Edit7), "１２");

    form.setLabelCaption(LabelId::Label9, "1,234");
    EXPECT_EQ(text("Label9"), QStringLiteral("1,234"));
}

TEST_F(WindowTest, StatusTextSurvivesHoverTips) {
    showAndSettle();
    form.setStatusText("バッファを確保できません");
    QStatusTipEvent tip(QStringLiteral("hover tip"));
    QCoreApplication::sendEvent(&form, &tip);
    QCoreApplication::processEvents();
    ASSERT_NE(statusText(), nullptr);
    EXPECT_TRUE(statusText()->isVisible());
    EXPECT_EQ(statusText()->text(), qs("バッファを確保できません"));
    EXPECT_GE(statusText()->width(), 394 - 40) << "the text spans the status bar";
}

TEST_F(WindowTest, CommandsAndProgressFollowTheView) {
    form.setCommandsEnabled(false);
    EXPECT_FALSE(control("Button1")->isEnabled());
    EXPECT_FALSE(E1()->isEnabled());
    form.setCommandsEnabled(true);
    EXPECT_TRUE(control("Button1")->isEnabled());
    EXPECT_TRUE(E1()->isEnabled());

    form.setProgress(40);
    EXPECT_EQ(control<QProgressBar>("ProgressBar1")->value(), 40);
    control<QCheckBox>("CheckBox1")->setChecked(true);
    EXPECT_TRUE(form.isCheckBox1Checked());
}

TEST_F(WindowTest, ClosingIsRecordedAndTheWindowStaysUsable) {
    showAndSettle();
    EXPECT_NE(form.winId(), WId{});
    EXPECT_FALSE(form.closeRequested());
    EXPECT_TRUE(form.close());
    EXPECT_TRUE(form.closeRequested());
    form.setStatusText("after close");  // a scan still running may write here
    EXPECT_EQ(statusText()->text(), QStringLiteral("after close"));
}

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
    EXPECT_EQ(title, QStringLiteral("Tavrix"));
    EXPECT_EQ(body, qs("/tmp/作成先"));
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
