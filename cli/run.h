// One command's run over its files: what it prints, file by file, and the
// exit status it ends with.
#pragma once

#include <string>
#include <string_view>

#include "cli/options.h"
#include "cli/report.h"
#include "osd/osd.h"

inline constexpr int kFailed = 1;

// Writes to standard output; when that fails, says so on standard error.
bool write_report(const std::string& text);

// Results of one command: printed file by file, and the exit status.
class Run {
public:
    explicit Run(const Invocation& invocation) : invocation_(invocation) {}

    void print(const JsonObject& json, const std::string& text) { out(invocation_.json ? json.line() : text + "\n"); }

    // `cause` in both the text and JSON "error".
    void fail(const std::string& path, std::string_view cause) { fail(path, cause, cause); }
    void fail(const std::string& path, OsdError error) { fail(path, cause_json(error), osd_error_text(error)); }
    // A change that failed, in its words (cli/report.h); a stopped one was
    // interrupted. `undoneAs` as failure_words takes it.
    void fail(const std::string& path, const Failure& failure, std::string_view undoneAs = "put back");
    // A short JSON "error" and a longer cause for people.
    void fail(const std::string& path, std::string_view jsonError, std::string_view cause);

    // Opens `path` into `file`; false, with the file reported, when it
    // cannot be opened.
    bool open(const std::string& path, OsdFile& file, OsdAccess access);

    // True when no further file may be started: the program has been asked
    // to stop (the file is then reported as interrupted, untouched), or its
    // report can no longer be written.
    bool stopping(const std::string& path);
    // The file at hand was stopped and left as it was.
    void interrupted(const std::string& path, std::string_view cause) {
        interrupted_ = true;
        fail(path, cause);
    }

    // An interrupt that came after the last file was done changes nothing:
    // every change reported stands, so the run succeeded.
    int status() const;

    const Invocation& invocation() const { return invocation_; }

private:
    void out(const std::string& text) {
        if (outputFailed_) return;
        if (!write_report(text)) outputFailed_ = true;
    }

    const Invocation& invocation_;
    bool failed_ = false;
    bool interrupted_ = false;
    bool outputFailed_ = false;
};
