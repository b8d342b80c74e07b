#include "app/qt/main_window.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStatusBar>
#include <QStringList>
#include <QTabWidget>
#include <QUrl>

#include <algorithm>
#include <initializer_list>
#include <utility>
#include <vector>

#include "app/handlers.h"

namespace {

constexpr int kClientWidth = 394;
constexpr int kClientHeight = 254;
constexpr int kStatusBarHeight = 19;

// Controls sit at fixed pixel positions relative to their parent; the window
// never lays them out again, so only the status bar moves on a resize.
template <class Widget>
Widget* place(QWidget* parent, const char* name, const QRect& geometry) {
    auto* widget = new Widget(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(geometry);
    return widget;
}

QLabel* placeLabel(QWidget* parent, const char* name, const QRect& geometry,
                   const QString& caption) {
    auto* label = place<QLabel>(parent, name, geometry);
    label->setText(caption);
    return label;
}

// A caption label keeps its position but widens when the font is wider than
// the one the layout was drawn with (Tahoma is narrow and often missing), so
// "GB" never shows as a cut "G". Checked after the window font is set.
void widenToFitCaption(QWidget* widget) {
    const int needed = widget->sizeHint().width();
    if (needed > widget->width()) widget->resize(needed, widget->height());
}

// A number display: right-aligned so digits line up, and of fixed size so a
// long number is cut rather than pushing into its neighbours.
QLabel* placeNumberLabel(QWidget* parent, const char* name, const QRect& geometry) {
    auto* label = placeLabel(parent, name, geometry, QStringLiteral("0"));
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setFixedSize(geometry.size());
    return label;
}

// The caption-text colour (white on a classic desktop) sets the value off
// from the window background.
void fillWithCaptionTextColour(QLabel* label) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::HighlightedText));
    label->setPalette(palette);
    label->setBackgroundRole(QPalette::Window);
    label->setAutoFillBackground(true);
}

QLineEdit* placeEdit(QWidget* parent, const char* name, const QRect& geometry) {
    auto* edit = place<QLineEdit>(parent, name, geometry);
    // A line edit would take a file drop itself and insert a file:// URL;
    // the window handles drops instead.
    edit->setAcceptDrops(false);
    return edit;
}

QPushButton* placeButton(QWidget* parent, const char* name, const QRect& geometry,
                         const QString& caption) {
    auto* button = place<QPushButton>(parent, name, geometry);
    button->setText(caption);
    return button;
}

std::vector<std::string> localFilePaths(const QMimeData* mime) {
    std::vector<std::string> paths;
    if (mime == nullptr || !mime->hasUrls()) return paths;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile()) paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
    }
    return paths;
}

bool carriesLocalFiles(const QMimeData* mime) {
    if (mime == nullptr || !mime->hasUrls()) return false;
    const QList<QUrl> urls = mime->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

// Only ever copy or link: accepting a move would let the source delete the
// file it thinks we took.
bool acceptWithoutMove(QDropEvent* event) {
    const Qt::DropActions possible = event->possibleActions();
    if (possible & Qt::CopyAction) {
        event->setDropAction(Qt::CopyAction);
    } else if (possible & Qt::LinkAction) {
        event->setDropAction(Qt::LinkAction);
    } else {
        event->ignore();
        return false;
    }
    event->accept();
    return true;
}

QString fromPath(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

std::string toPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// The real modal dialogs, owned by the window.
class NativeDialogs final : public Dialogs {
public:
    explicit NativeDialogs(QWidget* owner) : owner_(owner) {}
    void showMessage(const std::string& text) override {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Tavrix"), QString::fromStdString(text),
                        QMessageBox::Ok, owner_);
        box.exec();
    }
    std::optional<std::string> chooseFolder(const std::string& title, const std::string& initialFolder) override {
        const QString folder = QFileDialog::getExistingDirectory(owner_, QString::fromStdString(title),
                                                                 fromPath(initialFolder));
        if (folder.isEmpty()) return std::nullopt;
        return toPath(QDir::toNativeSeparators(folder));
    }

private:
    QWidget* owner_;
};

}  // namespace

TForm1::TForm1(QWidget* parent)
    : QMainWindow(parent), nativeDialogs_(std::make_unique<NativeDialogs>(this)), dialogs_(nativeDialogs_.get()) {
    setWindowTitle(QStringLiteral("Tavrix v0.11"));
    // Sizeable, but without a maximise button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    // No Tahoma on most systems outside Windows; the second family keeps the
    // Japanese captions in Japanese glyph forms whatever the locale.
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Noto Sans CJK JP")});
    font.setPointSize(8);
    setFont(font);

    createControls();
    connectEvents();

    // Positions are absolute, so nothing would size the window for us. A
    // global (out-of-window) menu bar would change the client area.
    menuBar()->setNativeMenuBar(false);
    resize(kClientWidth, menuBar()->sizeHint().height() + kClientHeight);
    centreOnScreen();

    FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::centreOnScreen() {
    if (const QScreen* screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TForm1::createControls() {
    menuBar()->setObjectName(QStringLiteral("MainMenu1"));
    E1 = menuBar()->addAction(QStringLiteral("実行(&E)"));
    E1->setObjectName(QStringLiteral("E1"));

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    setCentralWidget(client);

    Button3 = placeButton(client, "Button3", {8, 8, 105, 25}, QStringLiteral("新規ファイル名生成"));
    Edit1 = placeEdit(client, "Edit1", {8, 40, 378, 21});
    Label3 = placeLabel(client, "Label3", {8, 72, 63, 13}, QStringLiteral("現在のサイズ"));
    Label1 = placeNumberLabel(client, "Label1", {88, 72, 97, 13});
    fillWithCaptionTextColour(Label1);
    Label2 = placeLabel(client, "Label2", {8, 104, 53, 13}, QStringLiteral("出力サイズ"));
    Label4 = placeNumberLabel(client, "Label4", {88, 104, 97, 13});
    fillWithCaptionTextColour(Label4);
    Label5 = placeNumberLabel(client, "Label5", {203, 104, 117, 13});
    fillWithCaptionTextColour(Label5);

    PageControl1 = place<QTabWidget>(client, "PageControl1", {8, 136, 257, 89});
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    PageControl1->addTab(TabSheet1, QStringLiteral("ユーザー指定"));
    Edit5 = placeEdit(TabSheet1, "Edit5", {3, 3, 42, 21});
    Label6 = placeLabel(TabSheet1, "Label6", {51, 13, 13, 13}, QStringLiteral("GB"));
    Edit6 = placeEdit(TabSheet1, "Edit6", {70, 3, 42, 21});
    Label7 = placeLabel(TabSheet1, "Label7", {118, 13, 14, 13}, QStringLiteral("MB"));
    Edit7 = placeEdit(TabSheet1, "Edit7", {138, 3, 41, 21});
    Label8 = placeLabel(TabSheet1, "Label8", {185, 13, 12, 13}, QStringLiteral("KB"));
    Edit8 = placeEdit(TabSheet1, "Edit8", {203, 3, 41, 21});
    CheckBox1 = place<QCheckBox>(TabSheet1, "CheckBox1", {3, 41, 150, 17});
    CheckBox1->setText(QStringLiteral("単位繰り上げを1024にする"));
    CheckBox1->setChecked(false);

    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    PageControl1->addTab(TabSheet2, QStringLiteral("末尾ゼロ削除"));
    Button1 = placeButton(TabSheet2, "Button1", {0, 3, 73, 25}, QStringLiteral("末尾ゼロ検索"));
    ProgressBar1 = place<QProgressBar>(TabSheet2, "ProgressBar1", {79, 10, 151, 17});
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    Label9 = placeNumberLabel(TabSheet2, "Label9", {8, 40, 121, 13});

    QStatusBar* status = statusBar();
    status->setObjectName(QStringLiteral("StatusBar1"));
    status->setFixedHeight(kStatusBarHeight);
    status->setSizeGripEnabled(true);
    // A permanent widget: hover tips are shown as temporary status messages
    // and would otherwise hide the status text.
    statusText = new QLabel(status);
    statusText->setContentsMargins(3, 0, 0, 0);
    status->addPermanentWidget(statusText, 1);

    for (QWidget* captioned : std::initializer_list<QWidget*>{Label3, Label2, Label6, Label7,
                                                              Label8, CheckBox1}) {
        widenToFitCaption(captioned);
    }

    QWidget::setTabOrder(Edit1, Button3);
    QWidget::setTabOrder(Button3, PageControl1);
    QWidget::setTabOrder(PageControl1, Edit5);
    QWidget::setTabOrder(Edit5, Edit6);
    QWidget::setTabOrder(Edit6, Edit7);
    QWidget::setTabOrder(Edit7, Edit8);
    QWidget::setTabOrder(Edit8, CheckBox1);
    QWidget::setTabOrder(CheckBox1, Button1);
    // The progress bar takes no keyboard focus, so Tab passes it by.
    QWidget::setTabOrder(Button1, ProgressBar1);
}

void TForm1::connectEvents() {
    for (QLineEdit* unitField : {Edit5, Edit6, Edit7, Edit8}) {
        connect(unitField, &QLineEdit::textChanged, this, [this] { UpdateOutputSize(*this); });
    }
    connect(CheckBox1, &QCheckBox::toggled, this, [this] { UpdateOutputSize(*this); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(*this); });
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(*this); });
    connect(E1, &QAction::triggered, this, [this] { E1Click(*this); });
}

void TForm1::FormCreate() {
    setAcceptDrops(true);
    // Whichever page was last shown, the window opens on the calculator.
    PageControl1->setCurrentWidget(TabSheet1);
}

QLineEdit* TForm1::edit(EditId id) const {
    switch (id) {
        case EditId::Edit1: return Edit1;
        case EditId::Edit5: return Edit5;
        case EditId::Edit6: return Edit6;
        case EditId::Edit7: return Edit7;
        case EditId::Edit8: return Edit8;
    }
    return Edit1;
}

QLabel* TForm1::label(LabelId id) const {
    switch (id) {
        case LabelId::Label1: return Label1;
        case LabelId::Label4: return Label4;
        case LabelId::Label5: return Label5;
        case LabelId::Label9: return Label9;
    }
    return Label1;
}

std::string TForm1::editText(EditId id) const {
    // Edit1 holds a path, which goes to the file system in its encoding.
    if (id == EditId::Edit1) return toPath(Edit1->text());
    return edit(id)->text().toStdString();
}

void TForm1::setEdit1Text(const std::string& text) {
    Edit1->setText(fromPath(text));
}

void TForm1::setLabelCaption(LabelId id, const std::string& caption) {
    label(id)->setText(QString::fromStdString(caption));
}

bool TForm1::isCheckBox1Checked() const {
    return CheckBox1->isChecked();
}

void TForm1::setProgress(int position) {
    ProgressBar1->setValue(position);
}

void TForm1::setStatusText(const std::string& text) {
    statusText->setText(QString::fromStdString(text));
}

void TForm1::processPendingEvents() {
    QCoreApplication::processEvents();
}

bool TForm1::closeRequested() const {
    return closeRequested_;
}

void TForm1::setCommandsEnabled(bool enabled) {
    Button1->setEnabled(enabled);
    E1->setEnabled(enabled);
}

Dialogs& TForm1::dialogs() {
    return *dialogs_;
}

void TForm1::setDialogs(Dialogs* replacement) {
    dialogs_ = replacement != nullptr ? replacement : nativeDialogs_.get();
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // The frame is known only once the window is on screen; centre it again
    // so the whole window, not just its client area, sits in the middle.
    if (!shownBefore_) {
        shownBefore_ = true;
        centreOnScreen();
    }
}

void TForm1::closeEvent(QCloseEvent* event) {
    // The window outlives its closing (it is not deleted on close), so a scan
    // still inside processPendingEvents can finish its chunk, see the flag
    // and stop.
    closeRequested_ = true;
    event->accept();
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    if (!carriesLocalFiles(event->mimeData()) || !acceptWithoutMove(event)) event->ignore();
}

void TForm1::dragMoveEvent(QDragMoveEvent* event) {
    if (!carriesLocalFiles(event->mimeData()) || !acceptWithoutMove(event)) event->ignore();
}

void TForm1::dropEvent(QDropEvent* event) {
    const std::vector<std::string> paths = localFilePaths(event->mimeData());
    if (paths.empty() || !acceptWithoutMove(event)) {
        event->ignore();
        return;
    }
    WMDropFiles(*this, paths);
}
