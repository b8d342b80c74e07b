#include "app/command_line.h"

#include "app/handlers.h"
#include "util/version.h"

CommandLine parse_command_line(const std::vector<std::string>& args) {
    CommandLine line;
    bool optionsEnded = false;
    for (const std::string& arg : args) {
        // A lone "-" is a name like any other (a file called "-").
        if (!optionsEnded && arg.size() > 1 && arg.front() == '-') {
            if (arg == "--") {
                optionsEnded = true;
                continue;
            }
            if (arg == "--help" || arg == "-h") {
                line.action = CommandLine::Action::ShowHelp;
            } else if (arg == "--version") {
                line.action = CommandLine::Action::ShowVersion;
            } else {
                line.action = CommandLine::Action::UsageError;
                line.error = "unknown option '" + arg + "'";
            }
            line.file.reset();
            return line;
        }
        // No drop carries an empty name; a launcher may pass one for a
        // missing %f.
        if (!line.file && !arg.empty()) line.file = arg;
    }
    return line;
}

void open_command_line_file(View& form, const CommandLine& line) {
    if (line.action == CommandLine::Action::OpenWindow && line.file) WMDropFiles(form, {*line.file});
}

std::string help_text() {
    return "Usage: tavrix [FILE]\n"
           "       tavrix --help | --version\n"
           "Sets the length of a file, to the byte: cut, extended with zero bytes, or\n"
           "created at exactly that length.\n"
           "\n"
           "  FILE       open the window with FILE, as if it had been dropped on it\n"
           "             (a second file name is ignored)\n"
           "  -h, --help print this help and exit\n"
           "  --version  print the version and exit\n"
           "  --         end of options: a name after it may start with '-'\n";
}

std::string version_text() { return std::string("tavrix ") + kTavrixVersion + "\n"; }

std::string usage_error_text(const std::string& error) {
    return "tavrix: " + error + " (try 'tavrix --help')\n";
}
