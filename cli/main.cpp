// tavrix-cli: the command-line front end on the core.
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/console.h"
#include "osd/osd.h"

namespace {

// Before anything opens a file: a file must never take the number of a
// closed standard stream and receive the report.
bool standard_streams_guarded() {
    if (osd_guard_standard_streams() == 0) return true;
    write_err("tavrix-cli: a standard stream is closed, and the null device cannot be opened\n");
    return false;
}

}  // namespace

#ifdef _WIN32
#include <cwchar>

#include "util/text_encoding.h"

// Wide arguments carry any Windows name; unpaired surrogates survive the
// trip to UTF-8 (as WTF-8) and back.
int wmain(int argc, wchar_t** argv) {
    if (!standard_streams_guarded()) return 1;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(path_from_utf16(std::u16string(argv[i], argv[i] + std::wcslen(argv[i]))));
    install_interrupt_handlers();
    const int status = run_cli(args);
    mark_finished();
    return status;
}
#else
int main(int argc, char** argv) {
    if (!standard_streams_guarded()) return 1;
    std::vector<std::string> args(argv + 1, argv + argc);
    install_interrupt_handlers();
    return run_cli(args);
}
#endif
