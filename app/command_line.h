// The window program's command line, the same for every binding:
//   tavrix [FILE]        opens the window, FILE taken as if dropped on it
//   tavrix --help | --version
// Read before any window or display exists, so --help and --version work
// without one.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct CommandLine {
    enum class Action { OpenWindow, ShowHelp, ShowVersion, UsageError };
    Action action = Action::OpenWindow;
    // The file to open with; a second one is ignored, as a drop of several
    // files takes only the first. Exact bytes, as given.
    std::optional<std::string> file;
    // For UsageError: what was wrong, one line without the program name.
    std::string error;
};

// `args` without the program name. The first of --help, --version and an
// unknown option decides; "--" ends the options, so "-name" can be a file.
CommandLine parse_command_line(const std::vector<std::string>& args);

class View;

// Once the window exists: the file named on the command line, if any, is
// taken as a drop of that one file is (Edit1 and Label1, nothing else).
void open_command_line_file(View& form, const CommandLine& line);

// Texts to print, each ending in a line break.
std::string help_text();
std::string version_text();  // "tavrix <version>"
std::string usage_error_text(const std::string& error);

// The exit status for a usage error.
inline constexpr int kUsageErrorStatus = 2;
