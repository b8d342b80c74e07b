#include <QApplication>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QString>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/form.h"
#include "app/qt/application_icon.h"
#include "app/qt/main_window.h"
#include "app/status_texts.h"
#include "osd/osd.h"
#include "util/version.h"

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

// Writes a text the user asked for; a failed write (a full disk, a closed
// pipe) is a failure of the program.
int print(std::FILE* stream, const std::string& text, int status) {
    if (std::fputs(text.c_str(), stream) < 0 || std::fflush(stream) != 0) return 1;
    return status;
}

}  // namespace

int main(int argc, char* argv[]) {
    // Before anything opens a file: the trace goes to standard output, and a
    // file must never take the number of a closed standard stream.
    if (osd_guard_standard_streams() != 0) return 1;
    // Read before Qt starts: --help and --version need no display.
    const CommandLine line = parse_command_line(std::vector<std::string>(argv + 1, argv + argc));
    switch (line.action) {
        case CommandLine::Action::ShowHelp: return print(stdout, help_text(), 0);
        case CommandLine::Action::ShowVersion: return print(stdout, version_text(), 0);
        case CommandLine::Action::UsageError:
            print(stderr, usage_error_text(line.error), 0);
            return kUsageErrorStatus;
        case CommandLine::Action::OpenWindow: break;
    }

    if (!displayAvailable()) {
        std::fputs("tavrix: no display found: set DISPLAY or run under xvfb-run\n", stderr);
        return 1;
    }

    // Qt sees the program name alone: every argument has been read above,
    // and a file name must never be taken for one of Qt's own options.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    Application application(qtArgc, qtArgv);
    // The window's language follows the user's interface language (LANGUAGE,
    // then the locale's); Qt's own dialogs and buttons follow the window.
    UiLanguage = language_for(QLocale::system().uiLanguages().value(0).toStdString());
    QTranslator qtTexts;
    if (UiLanguage == Language::Japanese &&
        qtTexts.load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTexts);
    try {
        // Not the display name: Qt would append it to every window title.
        QApplication::setApplicationName(QStringLiteral("Tavrix"));
        // Wayland finds the desktop entry, and with it the icon, by this name.
        QGuiApplication::setDesktopFileName(QString::fromLatin1(kTavrixAppId));
        QApplication::setWindowIcon(application_icon());
        TForm1 form;
        Form1 = &form;
        form.show();
        open_command_line_file(form, line);
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
