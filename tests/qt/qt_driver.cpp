#include "tests/qt/qt_driver.h"

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QInputMethodEvent>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressBar>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>
#include <QVariant>
#include <QWindow>

#include "app/form.h"

namespace {

QString qs(const std::string& utf8) { return QString::fromStdString(utf8); }

void mouseClick(QWidget* target, const QPoint& at) {
    const QPointF local(at);
    const QPointF global(target->mapToGlobal(at));
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &release);
}

// What a label shows: its text, or the text its markup renders to.
std::string shownText(const QLabel& label) {
    const QString text = label.text();
    const bool markup = label.textFormat() == Qt::RichText ||
                        (label.textFormat() == Qt::AutoText && Qt::mightBeRichText(text));
    if (!markup) return text.toStdString();
    QTextDocument rendered;
    rendered.setHtml(text);
    return rendered.toPlainText().toStdString();
}

}  // namespace

std::unique_ptr<WindowDriver> make_window_driver(Language language) {
    return std::make_unique<QtWindowDriver>(language);
}

QtWindowDriver::QtWindowDriver(Language language) : language_(language) {
    Form1 = &form_;
    form_.show();
    QCoreApplication::processEvents();
}

QtWindowDriver::~QtWindowDriver() { Form1 = nullptr; }

QWidget* QtWindowDriver::widget(const std::string& name) {
    return form_.findChild<QWidget*>(QString::fromStdString(name));
}

QAction* QtWindowDriver::executeAction() {
    return form_.findChild<QAction*>(QString::fromLatin1(form_layout().executeItemName));
}

QLabel* QtWindowDriver::statusLabel() { return form_.statusBar()->findChild<QLabel*>(); }

QPoint QtWindowDriver::emptySpot() { return form_.centralWidget()->mapTo(&form_, QPoint(300, 15)); }

std::unique_ptr<QMimeData> QtWindowDriver::filesMime(const std::vector<std::string>& paths) {
    auto mime = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    // A file manager sends the name's bytes percent-encoded, whatever they are.
    for (const std::string& path : paths) {
        urls << QUrl::fromEncoded("file://" + QByteArray::fromStdString(path).toPercentEncoding("/"));
    }
    mime->setUrls(urls);
    return mime;
}

void QtWindowDriver::type(const std::string& control, const std::string& utf8) {
    auto* edit = qobject_cast<QLineEdit*>(widget(control));
    if (edit == nullptr || !edit->isEnabled()) return;
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
    if (utf8.empty()) {
        QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
        QCoreApplication::sendEvent(edit, &del);
        return;
    }
    // As an input method commits text: key events cannot carry Japanese. An
    // input method sends nothing to a field that says it takes no input.
    QInputMethodQueryEvent query(Qt::ImEnabled);
    QCoreApplication::sendEvent(edit, &query);
    if (!query.value(Qt::ImEnabled).toBool()) return;
    QInputMethodEvent typed;
    typed.setCommitString(qs(utf8));
    QCoreApplication::sendEvent(edit, &typed);
}

void QtWindowDriver::click(const std::string& control) {
    if (auto* button = qobject_cast<QAbstractButton*>(widget(control))) button->click();
}

void QtWindowDriver::execute() {
    QMenuBar* bar = form_.menuBar();
    mouseClick(bar, bar->actionGeometry(executeAction()).center());
}

void QtWindowDriver::selectPage(int index) {
    auto* pages = qobject_cast<QTabWidget*>(widget("PageControl1"));
    if (pages == nullptr) return;
    QTabBar* tabs = pages->tabBar();
    mouseClick(tabs, tabs->tabRect(index).center());
    QCoreApplication::processEvents();
}

bool QtWindowDriver::drop(const std::vector<std::string>& paths) {
    const auto mime = filesMime(paths);
    const QPoint pos = emptySpot();
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    // Through the native window, so Qt picks the widget under the cursor.
    QWindow* window = form_.windowHandle();
    QDragEnterEvent enter(pos, actions, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &enter);
    if (!enter.isAccepted()) return false;  // no drop where the drag was refused
    QDragMoveEvent move(pos, actions, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &move);
    if (!move.isAccepted()) return false;
    QDropEvent dropped(QPointF(pos), actions, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &dropped);
    return dropped.isAccepted();
}

void QtWindowDriver::requestClose() {
    QTimer::singleShot(0, &form_, [this] { form_.close(); });
}

void QtWindowDriver::choose(const std::string& control, int index) {
    if (auto* choices = qobject_cast<QComboBox*>(widget(control))) choices->setCurrentIndex(index);
    QCoreApplication::processEvents();
}

void QtWindowDriver::pressEscape() {
    QTimer::singleShot(0, &form_, [this] {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QWidget* focus = QApplication::focusWidget();
        QApplication::sendEvent(focus != nullptr ? focus : &form_, &escape);
    });
}

void QtWindowDriver::pump() { QCoreApplication::processEvents(); }

std::string QtWindowDriver::text(const std::string& control) {
    if (control == form_layout().executeItemName) return executeAction()->text().toStdString();
    if (control == "StatusBar1") return statusText();
    QWidget* found = widget(control);
    if (auto* label = qobject_cast<QLabel*>(found)) return shownText(*label);
    if (auto* edit = qobject_cast<QLineEdit*>(found)) return edit->text().toStdString();
    if (auto* button = qobject_cast<QAbstractButton*>(found)) return button->text().toStdString();
    if (auto* pages = qobject_cast<QTabWidget*>(widget("PageControl1"))) {
        if (const int index = pages->indexOf(found); index >= 0) return pages->tabText(index).toStdString();
    }
    return {};
}

std::string QtWindowDriver::statusText() {
    const QLabel* label = statusLabel();
    return label != nullptr ? shownText(*label) : std::string();
}

int QtWindowDriver::progress() {
    auto* bar = qobject_cast<QProgressBar*>(widget("ProgressBar1"));
    return bar != nullptr ? bar->value() : -1;
}

bool QtWindowDriver::isEnabled(const std::string& control) {
    if (control == form_layout().executeItemName) return executeAction()->isEnabled();
    const QWidget* found = widget(control);
    return found != nullptr && found->isEnabled();
}

bool QtWindowDriver::isEditable(const std::string& control) {
    const auto* edit = qobject_cast<QLineEdit*>(widget(control));
    return edit != nullptr && edit->isEnabled() && !edit->isReadOnly();
}

Bounds QtWindowDriver::bounds(const std::string& control) {
    QWidget* found = widget(control);
    if (found == nullptr) return {};
    // Top-level controls are placed in the client area: below the menu bar,
    // where the central widget starts (the status bar too).
    const std::string parent = parentName(control);
    QWidget* origin = parent.empty() ? &form_ : widget(parent);
    QPoint topLeft = found->mapTo(origin, QPoint(0, 0));
    if (parent.empty()) topLeft -= form_.centralWidget()->pos();
    return {topLeft.x(), topLeft.y(), found->width(), found->height()};
}

std::string QtWindowDriver::parentName(const std::string& control) {
    const QWidget* found = widget(control);
    if (found == nullptr) return {};
    for (const QWidget* up = found->parentWidget(); up != nullptr && up != &form_; up = up->parentWidget()) {
        const std::string name = up->objectName().toStdString();
        if (find_control(name) != nullptr) return name;
    }
    return {};
}

bool QtWindowDriver::showsWholeText(const std::string& name) {
    const auto* label = qobject_cast<QLabel*>(widget(name));
    if (label == nullptr) return false;
    const QRect room = label->contentsRect().marginsRemoved(QMargins(label->margin(), 0, label->margin(), 0));
    const bool fitsInLabel = label->fontMetrics().horizontalAdvance(label->text()) <= room.width();
    // Nor may the parent cut the label off.
    const bool insideParent = label->parentWidget()->rect().contains(label->geometry());
    return fitsInLabel && insideParent;
}
