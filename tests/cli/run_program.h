// Runs the real tavrix-cli (the one built beside this test program) with
// its output captured in files, on Linux and on Windows alike.
#pragma once

#include <map>
#include <string>
#include <vector>

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;

    // Standard output split at newlines (the last, empty piece dropped).
    std::vector<std::string> lines() const;
};

// Path of tavrix-cli beside the running test program.
std::string cli_program();

// While one lives, runs go to tavrix-cli-seams, which does `action` at the
// seam `seam` (cli/test_seam.h): "before-cut", "after-open", "changed" or
// "before-publish", with "rename:FROM", "symlink:TARGET", "write:OFFSET",
// "append:COUNT", "open" or "interrupt"; `unguarded` runs it as on a file
// system without leases or unnamed files.
class SeamAction {
public:
    SeamAction(const std::string& seam, const std::string& action, bool unguarded = false);
    ~SeamAction();
    SeamAction(const SeamAction&) = delete;
    SeamAction& operator=(const SeamAction&) = delete;
};

// Runs tavrix-cli with `args` (UTF-8) in the folder `workDir` (empty: the
// test's own), with standard input empty, and waits for it.
ProgramRun run_cli(const std::vector<std::string>& args, const std::string& workDir = "");

#ifndef _WIN32
// A run not yet waited for, so a test can signal it.
struct StartedProgram {
    int pid = -1;
    std::string outPath;
    std::string errPath;
};
StartedProgram start_cli(const std::vector<std::string>& args, const std::string& captureDir);
ProgramRun wait_cli(const StartedProgram& started);
#endif

// One JSON Lines object, flat as tavrix-cli prints them: its keys in order,
// and each value decoded (strings unquoted and unescaped to UTF-8, lone
// surrogate escapes as WTF-8, \udc80..\udcff back to the byte) or kept as
// written ("12", "true", "null"). Empty keys when the line does not parse.
struct JsonLine {
    std::vector<std::string> keys;
    std::map<std::string, std::string> values;
    std::map<std::string, bool> isString;

    const std::string& operator[](const std::string& key) const { return values.at(key); }
};
JsonLine parse_json_line(const std::string& line);
