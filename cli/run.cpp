#include "cli/run.h"

#include "cli/console.h"

bool write_report(const std::string& text) {
    if (write_out(text)) return true;
    write_err("tavrix-cli: write error: " + output_error_text() + "\n");
    return false;
}

std::string_view json_error_name(OsdError error) {
    switch (error) {
        case OsdError::InUse: return "in_use";
        case OsdError::Locked: return "locked";
        default: return osd_error_text(error);
    }
}

void Run::fail(const std::string& path, std::string_view jsonError, std::string_view cause) {
    failed_ = true;
    if (invocation_.json) out(JsonObject().text("path", path).text("error", jsonError).line());
    write_err("tavrix-cli: " + shown_path(path) + ": " + std::string(cause) + "\n");
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
