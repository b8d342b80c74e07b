#include "cli/run.h"

#include "cli/console.h"

bool write_report(const std::string& text) {
    if (write_out(text)) return true;
    write_err("tavrix-cli: write error: " + output_error_text() + "\n");
    return false;
}

void Run::fail(const std::string& path, const Failure& failure, std::string_view undoneAs) {
    const FailureWords words = failure_words(failure, undoneAs);
    if (failure.step == Failure::Step::Stopped) interrupted_ = true;
    fail(path, words.json, words.text);
}

void Run::fail(const std::string& path, std::string_view jsonError, std::string_view cause) {
    failed_ = true;
    if (invocation_.json) out(JsonObject().text("path", path).text("error", jsonError).line());
    write_err("tavrix-cli: " + shown_path(path) + ": " + std::string(cause) + "\n");
}

bool Run::open(const std::string& path, OsdFile& file, OsdAccess access) {
    OsdError cause = OsdError::None;
    if (osd_open(file, path, access, &cause) == 0) return true;
    fail(path, cause);
    return false;
}

bool Run::stopping(const std::string& path) {
    if (outputFailed_) return true;
    if (interrupt_exit_status() == 0) return false;
    interrupted(path, "interrupted");
    return true;
}

int Run::status() const {
    if (interrupted_) return interrupt_exit_status();
    if (outputFailed_) return kFailed;
    return failed_ ? kFailed : 0;
}
