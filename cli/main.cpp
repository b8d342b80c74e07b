// tavrix-cli: the command-line front end on the core.
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/console.h"

#ifdef _WIN32
#include <cwchar>

#include "util/text_encoding.h"

// Wide arguments carry any Windows name; unpaired surrogates survive the
// trip to UTF-8 (as WTF-8) and back.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(path_from_utf16(std::u16string(argv[i], argv[i] + std::wcslen(argv[i]))));
    install_interrupt_handlers();
    const int status = run_cli(args);
    mark_finished();
    return status;
}
#else
int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    install_interrupt_handlers();
    return run_cli(args);
}
#endif
