// Process start: the command line, then the one window and its message loop.
#include <windows.h>
#include <shellapi.h>

#include <exception>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "app/command_line.h"
#include "app/form.h"
#include "app/status_texts.h"
#include "app/win32/main_window.h"
#include "app/win32/text.h"
#include "osd/osd.h"

namespace {

// The arguments after the program's name, each kept whole (lone surrogates
// included), as a drop would pass them.
std::vector<std::string> arguments() {
    int count = 0;
    const std::unique_ptr<LPWSTR, decltype(&LocalFree)> argv(CommandLineToArgvW(GetCommandLineW(), &count),
                                                             &LocalFree);
    std::vector<std::string> args;
    if (!argv) return args;
    for (int index = 1; index < count; ++index) args.push_back(narrow_path(argv.get()[index]));
    return args;
}

// tavrix.exe has no console of its own. Its --help, --version and usage
// error go to the standard output or error the caller redirected; failing
// that, to the console it was started from; failing that, to a message box.
void tell(const std::string& text, bool isError) {
    const HANDLE redirected = GetStdHandle(isError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD written = 0;
    if (redirected != nullptr && redirected != INVALID_HANDLE_VALUE &&
        WriteFile(redirected, text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) {
        return;
    }
    const std::wstring wide = widen(text);
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        const HANDLE console = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, 0, nullptr);
        const bool shown = console != INVALID_HANDLE_VALUE &&
                           WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        if (console != INVALID_HANDLE_VALUE) CloseHandle(console);
        FreeConsole();
        if (shown) return;
    }
    MessageBoxW(nullptr, wide.c_str(), application_title().c_str(), MB_OK | (isError ? MB_ICONERROR : 0));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    // Before anything opens a file: the trace goes to standard output, and a
    // file must never take the place of a closed standard handle.
    if (osd_guard_standard_streams() != 0) return 1;
    const CommandLine line = parse_command_line(arguments());
    switch (line.action) {
        case CommandLine::Action::ShowHelp: tell(help_text(), false); return 0;
        case CommandLine::Action::ShowVersion: tell(version_text(), false); return 0;
        case CommandLine::Action::UsageError: tell(usage_error_text(line.error), true); return kUsageErrorStatus;
        case CommandLine::Action::OpenWindow: break;
    }
    // The window's language follows the user's; the system's own dialogs
    // already do.
    UiLanguage = PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE ? Language::Japanese : Language::English;
    try {
        const ComApartment apartment;
        TForm1 form;
        Form1 = &form;
        // As if dropped: Explorer's "Open with" and a drop on the program's
        // icon name the file here. Taken before the window shows, so it
        // opens with the file.
        open_command_line_file(form, line);
        form.show(showCommand);
        MSG message;
        // 0 on WM_QUIT, which the window posts once it has been closed; -1
        // on an error, after which no message will ever come.
        while (GetMessageW(&message, nullptr, 0, 0) > 0) form.dispatchMessage(message);
        Form1 = nullptr;
    } catch (const std::exception& error) {
        Form1 = nullptr;
        show_exception(nullptr, error.what());
    } catch (...) {
        Form1 = nullptr;
        show_exception(nullptr, std::string());
    }
    return 0;
}
