#include "app/qt/main_window.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFont>
#include <QInputMethodEvent>
#include <QKeyEvent>
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
#include <QVariant>

#include <algorithm>
#include <stdexcept>
#include <utility>
#include <vector>

#include "app/handlers.h"
#include "app/captions.h"
#include "app/layout.h"
#include "app/number_fit.h"
#include "app/qt/number_label.h"
#include "app/window_controls.h"

namespace {

QString qs(const char* utf8) { return QString::fromUtf8(utf8); }

// A control's caption in the user's language.
QString caption_of(const LayoutRow& layoutRow) {
    return QString::fromStdString(localized_caption(layoutRow.name, layoutRow.caption));
}

QRect rectOf(const Bounds& bounds) { return {bounds.left, bounds.top, bounds.width, bounds.height}; }

// A caption keeps its position but widens when the font is wider than the
// one the layout was drawn with (Tahoma is narrow and often missing), so
// "GB" never shows as a cut "G". Checked after the window font is set.
void widenToFitCaption(QWidget* widget) {
    const int needed = widget->sizeHint().width();
    if (needed > widget->width()) widget->resize(needed, widget->height());
}

// The field colour (white on a light desktop) sets the value off from the
// window background, in the text colour made to be read on it: readable
// under any palette, dark ones included.
void fillWithFieldColours(QLabel* label) {
    label->setBackgroundRole(QPalette::Base);
    label->setForegroundRole(QPalette::Text);
    label->setAutoFillBackground(true);
}

// A line edit that takes no input-method text while read-only: Qt's own
// still accepts a commit from an input method then (Japanese input, say),
// and Edit1 is read-only exactly while its path must not change.
class Edit final : public QLineEdit {
public:
    using QLineEdit::QLineEdit;
    using QLineEdit::inputMethodQuery;

    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override {
        if (query == Qt::ImEnabled && isReadOnly()) return false;
        return QLineEdit::inputMethodQuery(query);
    }

protected:
    void inputMethodEvent(QInputMethodEvent* event) override {
        if (isReadOnly()) {
            event->ignore();
            return;
        }
        QLineEdit::inputMethodEvent(event);
    }
};

// A number label: right-aligned so digits line up, its number also heard
// by screen readers, and where the layout sets it off, in a field's colours.
QLabel* newNumberLabel(const LayoutRow& layoutRow, QWidget* parent) {
    auto* label = new QLabel(caption_of(layoutRow), parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setTextFormat(Qt::PlainText);
    label->setAccessibleDescription(label->text());  // as show_number keeps it
    if (layoutRow.setOff) fillWithFieldColours(label);
    return label;
}

QProgressBar* newProgressBar(QWidget* parent) {
    auto* bar = new QProgressBar(parent);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    return bar;
}

QComboBox* newPadChoices(QWidget* parent) {
    auto* choices = new QComboBox(parent);
    for (const std::string& item : pad_choice_items()) choices->addItem(QString::fromStdString(item));
    return choices;
}

// The widget of one kind of control; null for the status bar, which is the
// main window's own.
QWidget* newWidget(const LayoutRow& layoutRow, QWidget* parent) {
    switch (layoutRow.kind) {
        case ControlKind::Button: return new QPushButton(caption_of(layoutRow), parent);
        case ControlKind::Edit: {
            auto* edit = new Edit(parent);
            // A line edit would take a file drop itself and insert a file://
            // URL; the window handles drops instead.
            edit->setAcceptDrops(false);
            return edit;
        }
        case ControlKind::Label: return new QLabel(caption_of(layoutRow), parent);
        case ControlKind::NumberLabel: return newNumberLabel(layoutRow, parent);
        case ControlKind::PageControl: return new QTabWidget(parent);
        case ControlKind::TabSheet: {
            auto* page = new QWidget;
            if (auto* pages = qobject_cast<QTabWidget*>(parent)) pages->addTab(page, caption_of(layoutRow));
            return page;
        }
        case ControlKind::CheckBox: return new QCheckBox(caption_of(layoutRow), parent);
        case ControlKind::ProgressBar: return newProgressBar(parent);
        case ControlKind::ComboBox: return newPadChoices(parent);
        case ControlKind::StatusBar: return nullptr;
    }
    return nullptr;
}

// One control of the layout table as a widget; controls sit at fixed pixel
// positions relative to their parent and the window never lays them out
// again, so only the status bar moves on a resize.
QWidget* createControl(const LayoutRow& layoutRow, QWidget* parent) {
    QWidget* widget = newWidget(layoutRow, parent);
    if (widget == nullptr) return nullptr;
    widget->setObjectName(QString::fromLatin1(layoutRow.name));
    if (const std::string spoken = accessible_name(layoutRow.name); !spoken.empty())
        widget->setAccessibleName(QString::fromStdString(spoken));
    if (layoutRow.kind != ControlKind::TabSheet) widget->setGeometry(rectOf(layoutRow.bounds));
    if (layoutRow.kind == ControlKind::NumberLabel) widget->setFixedSize(widget->size());
    return widget;
}

// The exact bytes of a local file's name. toLocalFile() decodes the URL's
// escapes as UTF-8 and replaces what is not, which would name another file
// (a Shift_JIS name from an old archive, say); the escapes hold the bytes.
std::string exactLocalPath(const QUrl& url) {
    std::string path = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
    if (const QString host = url.host(); !host.isEmpty() && host != QStringLiteral("localhost")) {
        path = "//" + host.toStdString() + path;
    }
    return path;
}

std::vector<std::string> localFilePaths(const QMimeData* mime) {
    std::vector<std::string> paths;
    if (mime == nullptr || !mime->hasUrls()) return paths;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile()) paths.push_back(exactLocalPath(url));
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
        QMessageBox box(QMessageBox::NoIcon, qs(form_layout().applicationTitle), QString::fromStdString(text),
                        QMessageBox::Ok, owner_);
        box.exec();
    }
    bool askYesNo(const std::string& text) override {
        QMessageBox box(QMessageBox::Warning, qs(form_layout().applicationTitle), QString::fromStdString(text),
                        QMessageBox::Yes | QMessageBox::No, owner_);
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
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
    const FormLayout& form = form_layout();
    setWindowTitle(qs(form.caption));
    // Sizeable, but without a maximise button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    // No Tahoma on most systems outside Windows; the second family keeps the
    // Japanese captions in Japanese glyph forms whatever the locale.
    QFont font;
    font.setFamilies({qs(form.fontFamily), QStringLiteral("Noto Sans CJK JP")});
    font.setPointSize(form.fontPointSize);
    setFont(font);

    createControls();
    connectEvents();

    // Positions are absolute, so nothing would size the window for us. A
    // global (out-of-window) menu bar would change the client area.
    menuBar()->setNativeMenuBar(false);
    resize(form.clientWidth, menuBar()->sizeHint().height() + form.clientHeight);
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

template <class Widget>
Widget* TForm1::built(std::string_view name) const {
    const auto found = controls_.find(name);
    auto* widget = found == controls_.end() ? nullptr : qobject_cast<Widget*>(found->second);
    if (widget == nullptr) throw std::logic_error("the layout has no control " + std::string(name));
    return widget;
}

void TForm1::createControls() {
    const FormLayout& form = form_layout();
    menuBar()->setObjectName(QString::fromLatin1(form.menuName));
    E1 = menuBar()->addAction(QString::fromStdString(localized_caption(form.executeItemName, form.executeCaption)));
    E1->setObjectName(QString::fromLatin1(form.executeItemName));

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    setCentralWidget(client);

    for (const LayoutRow& control : control_layout()) {
        if (control.kind == ControlKind::StatusBar) {
            QStatusBar* status = statusBar();
            status->setObjectName(QString::fromLatin1(control.name));
            status->setFixedHeight(control.bounds.height);
            status->setSizeGripEnabled(true);
            controls_[control.name] = status;
            continue;
        }
        QWidget* parent = control.parent == nullptr ? client : built<QWidget>(control.parent);
        QWidget* widget = createControl(control, parent);
        controls_[control.name] = widget;
        if (control.kind == ControlKind::Label || control.kind == ControlKind::CheckBox) {
            widenToFitCaption(widget);
        }
    }

    Edit1 = built<QLineEdit>("Edit1");
    Button1 = built<QPushButton>("Button1");
    ProgressBar1 = built<QProgressBar>("ProgressBar1");

    // A permanent widget: hover tips are shown as temporary status messages
    // and would otherwise hide the status text.
    statusText = new QLabel(statusBar());
    statusText->setObjectName(QStringLiteral("StatusText"));
    statusText->setContentsMargins(3, 0, 0, 0);
    // It shows paths, and a path such as "<i>x</i>" is no markup.
    statusText->setTextFormat(Qt::PlainText);
    statusBar()->addPermanentWidget(statusText, 1);

    // Only controls that take the focus are chained: Qt links a control
    // after one that takes none (the progress bar) out of order.
    const LayoutRow* previous = nullptr;
    for (const LayoutRow* row : tab_chain()) {
        if (!takes_focus(*row)) continue;
        if (previous != nullptr) QWidget::setTabOrder(built<QWidget>(previous->name), built<QWidget>(row->name));
        previous = row;
    }
}

std::array<QLineEdit*, 4> TForm1::unitFields() const {
    return {built<QLineEdit>("Edit5"), built<QLineEdit>("Edit6"), built<QLineEdit>("Edit7"), built<QLineEdit>("Edit8")};
}

void TForm1::connectEvents() {
    for (QLineEdit* unitField : unitFields()) {
        connect(unitField, &QLineEdit::textChanged, this, [this] { UpdateOutputSize(*this); });
    }
    connect(built<QCheckBox>("CheckBox1"), &QCheckBox::toggled, this, [this] { UpdateOutputSize(*this); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(*this); });
    connect(built<QPushButton>("Button3"), &QPushButton::clicked, this, [this] { Button3Click(*this); });
    connect(E1, &QAction::triggered, this, [this] { E1Click(*this); });
    // Only the user's own edits: setText, as setEdit1Text uses, sends none.
    connect(Edit1, &QLineEdit::textEdited, this, [this] { edit1Path_.forget(); });
}

void TForm1::FormCreate() {
    setAcceptDrops(true);
    // Whichever page was last shown, the window opens on the calculator.
    built<QTabWidget>("PageControl1")->setCurrentWidget(built<QWidget>("TabSheet1"));
}

std::string TForm1::editText(EditId id) const {
    // Edit1 holds a path, which goes to the file system in its encoding; a
    // name the program put there keeps its exact bytes until the user edits.
    if (id == EditId::Edit1) return edit1Path_.resolve(toPath(Edit1->text()));
    return built<QLineEdit>(control_name(id))->text().toStdString();
}

void TForm1::setEdit1Text(const std::string& path) {
    Edit1->setText(QString::fromStdString(edit1Path_.set(path)));
}

void TForm1::setLabelCaption(LabelId id, const std::string& caption) {
    const LayoutRow& layoutRow = *find_control(control_name(id));
    const int leftLimit = number_label_left_limit(layoutRow, [this](const LayoutRow& other) {
        const QRect placed = built<QWidget>(other.name)->geometry();
        return placed.x() + placed.width();
    });
    show_number(*built<QLabel>(layoutRow.name), layoutRow.bounds, leftLimit, QString::fromStdString(caption));
}

bool TForm1::isCheckBox1Checked() const {
    return built<QCheckBox>("CheckBox1")->isChecked();
}

void TForm1::setProgress(int position) {
    if (const std::optional<int> shown = scan_.progress(position, ScanBusyState::Clock::now()))
        ProgressBar1->setValue(*shown);
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

bool TForm1::scanCancelRequested() const { return scan_.cancelRequested(); }

int TForm1::padChoiceIndex() const {
    const auto* choices = built<QComboBox>("ComboBox1");
    return choices != nullptr ? choices->currentIndex() : 0;
}

void TForm1::focusScanButton() {
    if (auto* button = built<QPushButton>("Button1")) button->setFocus(Qt::OtherFocusReason);
}

// Esc during a scan stops it; the keys no control took come here.
void TForm1::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && scan_.busy()) {
        scan_.requestCancel();
        event->accept();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void TForm1::setCommandsEnabled(bool enabled) {
    if (const std::optional<int> waiting = scan_.setBusy(!enabled)) ProgressBar1->setValue(*waiting);
    Button1->setEnabled(enabled);
    E1->setEnabled(enabled);
    built<QPushButton>("Button3")->setEnabled(enabled);
    // Read-only rather than disabled: the path and the units stay readable
    // and selectable, but nothing changes what the work under way was given.
    Edit1->setReadOnly(!enabled);
    for (QLineEdit* unitField : unitFields()) unitField->setReadOnly(!enabled);
    built<QCheckBox>("CheckBox1")->setEnabled(enabled);
    // Nor may a drop name another file, or drop text into a unit field.
    setAcceptDrops(enabled);
    for (QLineEdit* unitField : unitFields()) unitField->setAcceptDrops(enabled);
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

// A drag that entered before a scan began may still be let go during it.
void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    if (scan_.busy() || !carriesLocalFiles(event->mimeData()) || !acceptWithoutMove(event)) event->ignore();
}

void TForm1::dragMoveEvent(QDragMoveEvent* event) {
    if (scan_.busy() || !carriesLocalFiles(event->mimeData()) || !acceptWithoutMove(event)) event->ignore();
}

void TForm1::dropEvent(QDropEvent* event) {
    const std::vector<std::string> paths = localFilePaths(event->mimeData());
    if (scan_.busy() || paths.empty() || !acceptWithoutMove(event)) {
        event->ignore();
        return;
    }
    WMDropFiles(*this, paths);
}
