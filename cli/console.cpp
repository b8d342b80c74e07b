#include "cli/console.h"

#include <atomic>

#ifdef _WIN32
#include <windows.h>

#include <string>

#include "util/text_encoding.h"
#else
#include <cerrno>
#include <csignal>
#include <cstring>
#include <unistd.h>
#endif

#ifdef _WIN32

namespace {

std::atomic<int> exit_status{0};
std::atomic<bool> finished{false};

DWORD last_write_error = 0;

bool write_handle(DWORD which, std::string_view text) {
    HANDLE handle = GetStdHandle(which);
    if (text.empty()) return true;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        last_write_error = ERROR_INVALID_HANDLE;
        return false;
    }
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        const std::u16string wide = text_to_utf16(text);
        DWORD written = 0;
        if (WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr)) return true;
        last_write_error = GetLastError();
        return false;
    }
    // Redirected: the UTF-8 bytes unchanged, "\n" not turned into "\r\n".
    while (!text.empty()) {
        DWORD written = 0;
        if (!WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) || written == 0) {
            last_write_error = GetLastError();
            return false;
        }
        text.remove_prefix(written);
    }
    return true;
}

BOOL WINAPI on_console_event(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            exit_status = 130;
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            exit_status = 143;
            // The process ends when this returns: give the main thread the
            // few seconds the system allows to put the file back.
            for (int waited = 0; !finished && waited < 4500; waited += 10) Sleep(10);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

bool write_out(std::string_view text) { return write_handle(STD_OUTPUT_HANDLE, text); }
bool write_err(std::string_view text) { return write_handle(STD_ERROR_HANDLE, text); }

std::string output_error_text() {
    switch (last_write_error) {
        case ERROR_DISK_FULL: case ERROR_HANDLE_DISK_FULL: return "no space left";
        case ERROR_BROKEN_PIPE: case ERROR_NO_DATA: return "broken pipe";
        case ERROR_INVALID_HANDLE: case ERROR_ACCESS_DENIED: return "not open for writing";
        default: return "error " + std::to_string(last_write_error);
    }
}

bool stderr_is_terminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void install_interrupt_handlers() { SetConsoleCtrlHandler(on_console_event, TRUE); }

int interrupt_exit_status() { return exit_status; }

void mark_finished() { finished = true; }

#else

namespace {

volatile std::sig_atomic_t caught_signal = 0;

extern "C" void on_signal(int signal) { caught_signal = signal; }

int last_write_errno = 0;

bool write_fd(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            last_write_errno = written < 0 ? errno : EIO;
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace

bool write_out(std::string_view text) { return write_fd(STDOUT_FILENO, text); }
bool write_err(std::string_view text) { return write_fd(STDERR_FILENO, text); }

std::string output_error_text() { return std::strerror(last_write_errno); }

bool stderr_is_terminal() { return ::isatty(STDERR_FILENO) == 1; }

void install_interrupt_handlers() {
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    // Reads and writes resume after the handler; the flag is looked at
    // between chunks.
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction before {};
        if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
        sigaction(signal, &action, nullptr);
    }
    std::signal(SIGPIPE, SIG_IGN);
}

int interrupt_exit_status() {
    switch (caught_signal) {
        case 0: return 0;
        case SIGINT: return 130;
        case SIGHUP: return 129;
        default: return 143;
    }
}

void mark_finished() {}

#endif
