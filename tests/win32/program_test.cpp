// tavrix.exe itself, started as the shell or a console would start it.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "app/command_line.h"
#include "app/layout.h"
#include "app/win32/text.h"
#include "tests/temp_dir.h"

namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Handle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

// Beside this test program.
std::wstring tavrix_exe() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path.substr(0, path.find_last_of(L'\\') + 1) + L"tavrix.exe";
}

// The command line the shell builds: each argument quoted (none of ours
// holds a quote or ends in a backslash).
std::wstring command_line(const std::vector<std::string>& args) {
    std::wstring line = L"\"" + tavrix_exe() + L"\"";
    for (const std::string& arg : args) line += L" \"" + widen_path(arg) + L"\"";
    return line;
}

struct Started {
    Handle process;
    DWORD id = 0;
};

Started start(const std::vector<std::string>& args, HANDLE output = nullptr, HANDLE error = nullptr) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (output != nullptr) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = output;
        startup.hStdError = error;
    }
    PROCESS_INFORMATION started{};
    std::wstring line = command_line(args);
    const std::wstring exe = tavrix_exe();
    if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, output != nullptr, 0, nullptr, nullptr,
                        &startup, &started)) {
        return {};
    }
    CloseHandle(started.hThread);
    return {Handle(started.hProcess), started.dwProcessId};
}

DWORD exit_code_of(const Started& program) {
    if (WaitForSingleObject(program.process.get(), 30000) != WAIT_OBJECT_0) return 999;
    DWORD code = 999;
    GetExitCodeProcess(program.process.get(), &code);
    return code;
}

struct Pipe {
    Handle read;
    Handle write;  // inherited by the child
};

Pipe make_pipe() {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!CreatePipe(&read, &write, &inherit, 0)) return {};
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    return {Handle(read), Handle(write)};
}

std::string read_all(HANDLE pipe) {
    std::string bytes;
    char buffer[4096];
    DWORD count = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &count, nullptr) && count > 0) bytes.append(buffer, count);
    return bytes;
}

struct Finished {
    DWORD exitCode = 999;
    std::string output;
    std::string error;
};

// Runs to its end with standard output and error caught, as a console
// with redirection would run it.
Finished run(const std::vector<std::string>& args) {
    Pipe output = make_pipe();
    Pipe error = make_pipe();
    const Started program = start(args, output.write.get(), error.write.get());
    // Only the child holds the writing ends now: its exit ends the reads.
    output.write.reset();
    error.write.reset();
    Finished finished;
    if (!program.process) return finished;
    finished.output = read_all(output.read.get());
    finished.error = read_all(error.read.get());
    finished.exitCode = exit_code_of(program);
    return finished;
}

std::string class_of(HWND window) {
    std::wstring name(256, L'\0');
    name.resize(static_cast<std::size_t>(GetClassNameW(window, name.data(), 256)));
    return narrow(name);
}

struct WindowOfProcess {
    DWORD process;
    HWND window;
};

// The program's main window once it is on screen; null after 30 s.
HWND window_of(const Started& program) {
    WindowOfProcess found{program.id, nullptr};
    for (int attempt = 0; attempt < 300 && found.window == nullptr; ++attempt) {
        Sleep(100);
        EnumWindows([](HWND window, LPARAM data) {
            auto* wanted = reinterpret_cast<WindowOfProcess*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner != wanted->process || class_of(window) != "TavrixForm" || !IsWindowVisible(window)) return TRUE;
            wanted->window = window;
            return FALSE;
        }, reinterpret_cast<LPARAM>(&found));
    }
    return found.window;
}

// A control of another process's window, by its id (101 onwards in the
// layout table's order).
HWND control_of(HWND window, const char* name) {
    const LayoutRow* layoutRow = find_control(name);
    if (layoutRow == nullptr) return nullptr;
    const int id = 101 + static_cast<int>(layoutRow - control_layout().data());
    HWND found = nullptr;
    struct Search {
        int id;
        HWND* found;
    } search{id, &found};
    EnumChildWindows(window, [](HWND child, LPARAM data) {
        auto* wanted = reinterpret_cast<Search*>(data);
        if (GetDlgCtrlID(child) != wanted->id) return TRUE;
        *wanted->found = child;
        return FALSE;
    }, reinterpret_cast<LPARAM>(&search));
    return found;
}

// Asked of the control itself: GetWindowText on another process's window
// gives only the text it was created with.
std::string text_of(HWND window, const char* control) {
    const HWND child = control_of(window, control);
    const auto length = SendMessageW(child, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(SendMessageW(child, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
    return narrow(text);
}

// tavrix.exe, started as the shell would, opens its window and ends with
// exit code 0 once the window is closed.
TEST(Program, OpensTheWindowAndExitsWithZeroWhenClosed) {
    const Started program = start({});
    ASSERT_TRUE(program.process) << narrow(tavrix_exe());
    const HWND window = window_of(program);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(narrow(window_text(window)), "Tavrix v0.11");
    EXPECT_EQ(text_of(window, "Edit1"), "");

    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(exit_code_of(program), 0u);
}

// "Open with" and a drop on the program's icon: the first file named is
// taken as a drop of it would be, a second one is ignored.
TEST(Program, TakesTheFileOnItsCommandLineAsIfDropped) {
    TempDir dir;
    const std::string first = dir.file("テスト ファイル.bin");
    make_sparse(first, 1'234'567);
    const std::string second = dir.file("second.bin");
    write_file(second, std::string(10, 'x'));

    const Started program = start({first, second});
    ASSERT_TRUE(program.process);
    const HWND window = window_of(program);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(text_of(window, "Edit1"), first);
    EXPECT_EQ(text_of(window, "Label1"), "1,234,567");
    for (const char* untouched : {"Label4", "Label5", "Label9"}) EXPECT_EQ(text_of(window, untouched), "0") << untouched;

    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(exit_code_of(program), 0u);
    EXPECT_EQ(file_size(first), 1'234'567u) << "opening changes nothing";
}

// No window for these: a console (or anything that redirects) gets the text.
TEST(Program, HelpAndVersionPrintAndExitWithZero) {
    const Finished version = run({"--version"});
    EXPECT_EQ(version.exitCode, 0u);
    EXPECT_EQ(version.output, "tavrix 0.11\n");
    EXPECT_EQ(version.error, "");

    const Finished help = run({"--help"});
    EXPECT_EQ(help.exitCode, 0u);
    EXPECT_EQ(help.output, help_text());
    EXPECT_EQ(help.output.rfind("Usage: tavrix [FILE]\n", 0), 0u) << help.output;
    EXPECT_EQ(help.error, "");
}

TEST(Program, AnUnknownOptionIsAOneLineUsageErrorWithTwo) {
    const Finished wrong = run({"--bogus", "file.bin"});
    EXPECT_EQ(wrong.exitCode, 2u);
    EXPECT_EQ(wrong.output, "");
    EXPECT_EQ(wrong.error, usage_error_text(parse_command_line({"--bogus"}).error));
    EXPECT_EQ(wrong.error.rfind("tavrix: ", 0), 0u) << wrong.error;
    EXPECT_EQ(wrong.error.find('\n'), wrong.error.size() - 1) << "one line";
}

}  // namespace

// Explorer, the title bar and the task bar show the icon tavrix.exe carries.
TEST(Program, CarriesItsIcon) {
    HMODULE exe = LoadLibraryExW(tavrix_exe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(exe, nullptr);
    EXPECT_NE(FindResourceW(exe, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14)), nullptr) << "no icon group 1";  // RT_GROUP_ICON
    FreeLibrary(exe);
}
