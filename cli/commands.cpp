#include "cli/commands.h"

#include <random>

#include "cli/console.h"
#include "cli/progress.h"
#include "cli/report.h"
#include "size/set_length.h"
#include "util/format_grouped.h"
#include "util/timestamp.h"
#include "util/version.h"

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

// Results of one command: printed file by file, and the exit status.
class Run {
public:
    explicit Run(const Invocation& invocation) : invocation_(invocation) {}

    void print(const JsonObject& json, const std::string& text) const {
        write_out(invocation_.json ? json.line() : text + "\n");
    }

    void fail(const std::string& path, std::string_view cause) {
        failed_ = true;
        if (invocation_.json) write_out(JsonObject().text("path", path).text("error", cause).line());
        write_err("tavrix-cli: " + shown_path(path) + ": " + std::string(cause) + "\n");
    }

    void fail(const std::string& path, OsdError error) { fail(path, osd_error_text(error)); }

    // True (and the file reported) when the program has been asked to stop.
    bool interrupted(const std::string& path) {
        if (interrupt_exit_status() == 0) return false;
        fail(path, "interrupted");
        return true;
    }

    int status() const {
        if (const int interrupt = interrupt_exit_status()) return interrupt;
        return failed_ ? kFailed : 0;
    }

    const Invocation& invocation() const { return invocation_; }

private:
    const Invocation& invocation_;
    bool failed_ = false;
};

std::string scan_failure(const ScanResult& scan) {
    switch (scan.status) {
        case ScanResult::Status::NoBuffer: return "out of memory";
        case ScanResult::Status::ReadError:
            return osd_error_text(scan.error == OsdError::None ? OsdError::ReadFailed : scan.error);
        default: return osd_error_text(scan.error);
    }
}

// Scans one file; false (with the file reported) when that failed.
bool scan_one(Run& run, const std::string& path, PaddingScan& result) {
    Progress progress("scanning " + shown_path(path), Progress::Direction::Remaining);
    result = scan_padding(path, run.invocation().pad, progress);
    if (result.scan.status == ScanResult::Status::Stopped) {
        run.interrupted(path);
        return false;
    }
    if (!result.scan.ok()) {
        run.fail(path, scan_failure(result.scan));
        return false;
    }
    return true;
}

JsonObject& with_pad(JsonObject& json, const std::optional<std::uint8_t>& pad) {
    return pad ? json.text("pad", pad_name(*pad)) : json.null("pad");
}

void scan_command(Run& run) {
    for (const std::string& path : run.invocation().paths) {
        if (run.interrupted(path)) return;
        PaddingScan result;
        if (!scan_one(run, path, result)) {
            if (interrupt_exit_status() != 0) return;
            continue;
        }
        const ScanResult& scan = result.scan;
        const std::int64_t dataEnd = scan.size - scan.trailing;
        JsonObject json;
        json.text("path", path).number("size", scan.size);
        with_pad(json, result.pad).number("trailing", scan.trailing).number("data_end", dataEnd);
        std::string text = shown_path(path) + ": " + bytes_text(scan.size);
        if (result.pad)
            text += ", " + bytes_text(scan.trailing) + " of " + pad_name(*result.pad) + " at the end, data ends at " +
                    format_grouped(dataEnd);
        else
            text += ", no 0x00 or 0xff padding at the end";
        run.print(json, text);
    }
}

void trim_command(Run& run) {
    const Invocation& invocation = run.invocation();
    for (const std::string& path : invocation.paths) {
        if (run.interrupted(path)) return;
        PaddingScan result;
        if (!scan_one(run, path, result)) {
            if (interrupt_exit_status() != 0) return;
            continue;
        }
        const ScanResult& scan = result.scan;
        const std::int64_t newSize =
            result.pad ? trimmed_length(scan.size, scan.size - scan.trailing, invocation.alignment) : scan.size;
        const bool changed = newSize != scan.size;
        if (changed && !invocation.dryRun) {
            if (run.interrupted(path)) return;
            // Cut only the file as it was scanned.
            SetLengthOptions options;
            options.allowCreate = false;
            options.expectedSize = scan.size;
            const SetLengthResult cut = set_file_length(path, newSize, options);
            if (cut.status == SetLengthResult::Status::SizeChanged) {
                run.fail(path, "changed while it was scanned");
                continue;
            }
            if (!cut.ok()) {
                run.fail(path, cut.error);
                continue;
            }
        }

        JsonObject json;
        json.text("path", path).number("size", scan.size);
        with_pad(json, result.pad)
            .number("trailing", scan.trailing)
            .number("new_size", newSize)
            .boolean("changed", changed)
            .boolean("dry_run", invocation.dryRun);
        std::string text = shown_path(path) + ": ";
        if (changed) {
            text += format_grouped(scan.size) + " \u2192 " + bytes_text(newSize) + " (" +
                    bytes_text(scan.size - newSize) + " of " + pad_name(*result.pad) +
                    (invocation.dryRun ? " would be cut; dry run)" : " cut)");
        } else if (!result.pad) {
            text += bytes_text(scan.size) + ", unchanged (no 0x00 or 0xff padding at the end)";
        } else if (scan.trailing == 0) {
            text += bytes_text(scan.size) + ", unchanged (no " + pad_name(*result.pad) + " padding at the end)";
        } else {
            text += bytes_text(scan.size) + ", unchanged (the " + bytes_text(scan.trailing) + " of " +
                    pad_name(*result.pad) + " at the end stay for the alignment)";
        }
        run.print(json, text);
    }
}

std::string fill_failure(const FillResult& result) {
    std::string cause = result.status == FillResult::Status::NoBuffer ? std::string("out of memory")
                                                                       : osd_error_text(result.error);
    if (result.status == FillResult::Status::InvalidSize) cause = "invalid size";
    if (result.undoFailed) cause += " (and the file could not be put back)";
    return cause;
}

// Runs a fill and reports its failure; true when it succeeded.
bool fill_one(Run& run, const std::string& path, std::int64_t length, FillOpen open, FillResult& result) {
    Progress progress("writing " + shown_path(path), Progress::Direction::Done);
    result = fill_to_length(path, length, open, run.invocation().fill, progress);
    if (result.status == FillResult::Status::Stopped) {
        run.fail(path, result.undoFailed ? "interrupted (and the file could not be put back)" : "interrupted");
        return false;
    }
    if (!result.ok()) {
        run.fail(path, fill_failure(result));
        return false;
    }
    return true;
}

void set_command(Run& run) {
    const Invocation& invocation = run.invocation();
    for (const std::string& path : invocation.paths) {
        if (run.interrupted(path)) return;

        // The file as it is now: its length, or that it is missing.
        OsdFile probe;
        const bool exists = osd_open(probe, path, OsdAccess::Read) == 0;
        const std::int64_t current = exists ? probe.size : 0;
        osd_close(probe);
        if (!exists && probe.error != OsdError::NotFound) {
            // A set to a plain length may still succeed on a file that cannot
            // be read; the set itself then reports why not.
            if (invocation.size.op != SizeOp::Set || invocation.dryRun) {
                run.fail(path, probe.error);
                continue;
            }
        } else if (!exists && invocation.noCreate) {
            run.fail(path, OsdError::NotFound);
            continue;
        }

        const AppliedSize target = apply_size_spec(invocation.size, current);
        if (!target.ok()) {
            run.fail(path, target.status == AppliedSize::Status::BelowZero ? "the size would be below 0"
                                                                           : "the size would be too large");
            continue;
        }

        bool created = !exists;
        std::int64_t oldSize = current;
        if (!invocation.dryRun) {
            FillResult result;
            const FillOpen open = invocation.noCreate ? FillOpen::OpenExisting : FillOpen::OpenOrCreate;
            if (!fill_one(run, path, target.length, open, result)) {
                if (interrupt_exit_status() != 0) return;
                continue;
            }
            created = result.created;
            oldSize = result.oldSize;
        }

        const bool changed = created || oldSize != target.length;
        JsonObject json;
        json.text("path", path);
        if (created)
            json.null("old_size");
        else
            json.number("old_size", oldSize);
        json.number("new_size", target.length)
            .boolean("created", created)
            .boolean("changed", changed)
            .boolean("dry_run", invocation.dryRun);
        std::string text = shown_path(path) + ": ";
        if (created)
            text += (invocation.dryRun ? "would be created with " : "created with ") + bytes_text(target.length);
        else if (changed)
            text += format_grouped(oldSize) + " \u2192 " + bytes_text(target.length);
        else
            text += bytes_text(oldSize) + ", unchanged";
        if (invocation.dryRun) text += " (dry run)";
        run.print(json, text);
    }
}

bool path_exists(const std::string& path) { return osd_exists(path) != 0; }

// The folder without the separators it may end with, which the time-stamped
// name adds itself ("out/" gives "out/NAME", "/" gives "/NAME").
std::string folder_for_names(std::string folder) {
#ifdef _WIN32
    while (!folder.empty() && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
#else
    while (!folder.empty() && folder.back() == '/') folder.pop_back();
#endif
    return folder;
}

void create_command(Run& run) {
    const Invocation& invocation = run.invocation();
    const std::string named = invocation.paths.empty() ? std::string(".") : invocation.paths.front();

    // A folder gets a new time-stamped name in it; anything else that
    // exists is never overwritten.
    bool inFolder = false;
    if (path_exists(named)) {
        OsdFile probe;
        if (osd_open(probe, named, OsdAccess::Read) == 0 || probe.error != OsdError::IsFolder) {
            run.fail(named, OsdError::AlreadyExists);
            return;
        }
        inFolder = true;
    }

    const std::tm now = local_now();
    const std::string folder = folder_for_names(named);
    std::string path = inFolder ? unique_timestamped_path(folder, now, path_exists) : named;
    FillResult result;
    // A name taken between the test and the create: take the next one.
    for (int attempt = 0;; ++attempt) {
        Progress progress("writing " + shown_path(path), Progress::Direction::Done);
        result = fill_to_length(path, invocation.size.value, FillOpen::CreateNew, invocation.fill, progress);
        if (!inFolder || result.status != FillResult::Status::CannotCreate ||
            result.error != OsdError::AlreadyExists || attempt == 100)
            break;
        path = unique_timestamped_path(folder, now, path_exists);
    }
    if (result.status == FillResult::Status::Stopped) {
        run.fail(path, result.undoFailed ? "interrupted (and the file could not be removed)" : "interrupted");
        return;
    }
    if (!result.ok()) {
        run.fail(path, fill_failure(result));
        return;
    }

    JsonObject json;
    json.text("path", path).number("new_size", invocation.size.value).text("fill", fill_name(invocation.fill));
    std::string text = shown_path(path) + ": created with " + bytes_text(invocation.size.value);
    if (invocation.fill.kind != FillSpec::Kind::Zero) text += " (fill " + fill_name(invocation.fill) + ")";
    run.print(json, text);
}

void info_command(Run& run) {
    for (const std::string& path : run.invocation().paths) {
        if (run.interrupted(path)) return;
        OsdFile file;
        if (osd_open(file, path, OsdAccess::Read) != 0) {
            run.fail(path, file.error);
            continue;
        }
        const std::int64_t allocated = osd_allocated_bytes(file);
        const std::int64_t runs = osd_count_data_runs(file, file.size);
        JsonObject json;
        json.text("path", path).number("size", file.size);
        if (allocated < 0)
            json.null("allocated");
        else
            json.number("allocated", allocated);
        json.number("data_runs", runs);
        std::string text = shown_path(path) + ": " + bytes_text(file.size) + ", ";
        text += allocated < 0 ? std::string("allocation unknown") : bytes_text(allocated) + " allocated";
        text += ", " + format_grouped(runs) + (runs == 1 ? " data run" : " data runs");
        run.print(json, text);
    }
}

}  // namespace

int run_cli(const std::vector<std::string>& args) {
    // The file layer's trace line is for the window's log, not our output.
    osd_set_trace_sink(nullptr);
    std::random_device entropy;
    const std::uint64_t randomSeed = (std::uint64_t{entropy()} << 32) ^ entropy();
    const ParsedArguments parsed = parse_arguments(args, randomSeed);
    if (!parsed.invocation) {
        write_err("tavrix-cli: " + shown_path(parsed.usageError) + "\nTry 'tavrix-cli --help'.\n");
        return kUsage;
    }
    const Invocation& invocation = *parsed.invocation;
    Run run(invocation);
    switch (invocation.command) {
        case Command::Help: write_out(kHelpText); return 0;
        case Command::Version: write_out(std::string("tavrix-cli ") + kTavrixVersion + "\n"); return 0;
        case Command::Scan: scan_command(run); break;
        case Command::Trim: trim_command(run); break;
        case Command::Set: set_command(run); break;
        case Command::Create: create_command(run); break;
        case Command::Info: info_command(run); break;
    }
    return run.status();
}
