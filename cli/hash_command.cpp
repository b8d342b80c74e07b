#include "cli/hash_command.h"

#include "cli/console.h"
#include "cli/progress.h"
#include "cli/test_seam.h"
#include "digest/file_digest.h"
#include "util/format_grouped.h"

namespace {

// A line of a checksum list as sha256sum, sha1sum and md5sum print it, so
// that `sha256sum -c` reads it back: a name holding a backslash, a newline
// or a carriage return has them escaped, and the line then starts with a
// backslash.
std::string checksum_line(const std::string& hex, const std::string& path) {
    std::string name;
    bool escaped = false;
    for (const char c : path) {
        const char* escape = c == '\\' ? "\\\\" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : nullptr;
        escaped = escaped || escape != nullptr;
        if (escape != nullptr)
            name += escape;
        else
            name.push_back(c);
    }
    return (escaped ? "\\" : "") + hex + "  " + name;
}

// Reports a file whose digests could not be had; true when they were.
bool report_digest_failure(Run& run, const std::string& path, const FileDigests& digests) {
    using Status = FileDigests::Status;
    switch (digests.status) {
        case Status::Ok: return true;
        case Status::Stopped: run.interrupted(path, "interrupted"); break;
        case Status::LongerThanPadding:
            run.fail(path, "longer than --pad-to",
                     bytes_text(digests.size) + ", longer than --pad-to " + bytes_text(*run.invocation().padTo));
            break;
        case Status::ReadError: run.fail(path, digests.error); break;
        case Status::Changed: run.fail(path, "changed", "changed while it was read"); break;
        case Status::NoBuffer: run.fail(path, "out of memory"); break;
        case Status::DigestFailed: run.fail(path, "digest failed", "digest failed: " + digests.failure); break;
    }
    return false;
}

void print_digests(Run& run, const std::string& path, const FileDigests& digests) {
    const Invocation& invocation = run.invocation();
    JsonObject json;
    json.text("path", path).number("size", digests.size);
    if (invocation.padTo) json.number("padded_to", *invocation.padTo).text("byte", pad_name(invocation.pad.bytes.first));
    std::string text;
    for (std::size_t i = 0; i < digests.hex.size(); ++i) {
        json.text(digest_name(invocation.algorithms[i]), digests.hex[i]);
        text += (i == 0 ? "" : "\n") + checksum_line(digests.hex[i], path);
    }
    run.print(json, text);
}

}  // namespace

void hash_command(Run& run) {
    const Invocation& invocation = run.invocation();
    std::optional<DigestPadding> padding;
    if (invocation.padTo) padding = DigestPadding{*invocation.padTo, invocation.pad.bytes.first};
    for (const std::string& path : invocation.paths) {
        if (run.stopping(path)) return;
        OsdFile file;
        if (!run.open(path, file, OsdAccess::Read)) continue;
        cli_test_seam(TestSeam::AfterOpen, path);
        FileDigests digests;
        {
            Progress progress("hashing " + shown_path(path), Progress::Direction::Done);
            digests = digest_file(file, invocation.algorithms, padding, progress);
        }
        if (!report_digest_failure(run, path, digests)) {
            if (interrupt_exit_status() != 0) return;
            continue;
        }
        print_digests(run, path, digests);
    }
}
