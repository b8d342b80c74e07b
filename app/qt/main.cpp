#include <QApplication>
#include <QMessageBox>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "app/form.h"
#include "app/qt/main_window.h"

namespace {

bool hasEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// Without any display Qt aborts with a long plugin diagnostic; one line says
// what is actually wrong.
bool displayAvailable() {
    return hasEnvironment("QT_QPA_PLATFORM") || hasEnvironment("DISPLAY") ||
           hasEnvironment("WAYLAND_DISPLAY");
}

void showException(const QString& message) {
    QMessageBox::critical(nullptr, QStringLiteral("Tavrix"), message);
}

// An exception thrown by an event handler must not unwind through Qt's event
// loop; it is shown here and the loop carries on.
class Application : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& error) {
            showException(QString::fromLocal8Bit(error.what()));
        } catch (...) {
            showException(QString());
        }
        return false;
    }
};

}  // namespace

int main(int argc, char* argv[]) {
    if (!displayAvailable()) {
        std::fputs("tavrix: no display found: set DISPLAY or run under xvfb-run\n", stderr);
        return 1;
    }

    Application application(argc, argv);
    try {
        // Not the display name: Qt would append it to every window title.
        QApplication::setApplicationName(QStringLiteral("Tavrix"));
        TForm1 form;
        Form1 = &form;
        form.show();
        QApplication::exec();
        Form1 = nullptr;
    } catch (const std::exception& error) {
        Form1 = nullptr;
        showException(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        Form1 = nullptr;
        showException(QString());
    }
    return 0;
}
