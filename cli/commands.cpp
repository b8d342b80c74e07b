#include "cli/commands.h"

#include <limits>
#include <random>

#include "cli/console.h"
#include "cli/hash_command.h"
#include "cli/progress.h"
#include "cli/report.h"
#include "cli/run.h"
#include "cli/test_seam.h"
#include "size/fill.h"
#include "size/set_length.h"
#include "size/trim.h"
#include "util/format_grouped.h"
#include "util/timestamp.h"
#include "util/version.h"

namespace {

constexpr int kUsage = 2;

int write_or_fail(const std::string& text) { return write_report(text) ? 0 : kFailed; }

std::string length_not_kept(std::int64_t kept) {
    return "the length did not take (the file stays " + bytes_text(kept) + ")";
}

std::string scan_failure(const ScanResult& scan) {
    switch (scan.status) {
        case ScanResult::Status::NoBuffer: return "out of memory";
        case ScanResult::Status::ReadError:
            return osd_error_text(scan.error == OsdError::None ? OsdError::ReadFailed : scan.error);
        default: return osd_error_text(scan.error);
    }
}

// Scans one file; false (with the file reported) when that failed.
bool scan_one(Run& run, OsdFile& file, const std::string& path, PaddingScan& result) {
    Progress progress("scanning " + shown_path(path), Progress::Direction::Remaining);
    result = scan_padding(file, run.invocation().pad, progress);
    if (result.scan.status == ScanResult::Status::Stopped) {
        run.interrupted(path, "interrupted");
        return false;
    }
    if (!result.scan.ok()) {
        run.fail(path, scan_failure(result.scan));
        return false;
    }
    return true;
}

// "0x00", or "0x00,0xff" for a set of two.
std::string pad_set_name(const PadBytes& pad) {
    return pad.single() ? pad_name(pad.first) : pad_name(pad.first) + "," + pad_name(pad.second);
}

JsonObject& with_pad(JsonObject& json, const std::optional<PadBytes>& pad) {
    return pad ? json.text("pad", pad_set_name(*pad)) : json.null("pad");
}

void scan_command(Run& run) {
    for (const std::string& path : run.invocation().paths) {
        if (run.stopping(path)) return;
        OsdFile file;
        if (osd_open(file, path, OsdAccess::Read) != 0) {
            run.fail(path, file.error);
            continue;
        }
        PaddingScan result;
        if (!scan_one(run, file, path, result)) {
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
            text += ", " + bytes_text(scan.trailing) + " of " + pad_set_name(*result.pad) + " at the end, data ends at " +
                    format_grouped(dataEnd);
        else
            text += ", no 0x00 or 0xff padding at the end";
        run.print(json, text);
    }
}

void trim_command(Run& run) {
    const Invocation& invocation = run.invocation();
    for (const std::string& path : invocation.paths) {
        if (run.stopping(path)) return;
        // One handle for the scan and the cut: no name is looked up between
        // them, so the cut reaches the very file that was measured.
        // Opened for writing in a dry run too: the same checks, the same
        // refusals. The file is ours alone from here to the cut.
        OsdFile file;
        if (osd_open(file, path, OsdAccess::ReadWrite) != 0) {
            run.fail(path, file.error);
            continue;
        }
        PaddingScan result;
        if (!scan_one(run, file, path, result)) {
            if (interrupt_exit_status() != 0) return;
            continue;
        }
        const ScanResult& scan = result.scan;
        const std::int64_t newSize =
            result.pad ? trimmed_length(scan.size, scan.size - scan.trailing, invocation.alignment) : scan.size;
        const bool changed = newSize != scan.size;
        if (changed && !invocation.dryRun) {
            cli_test_seam(TestSeam::BeforeCut, path);
            if (run.stopping(path)) return;
            Progress retest("testing " + shown_path(path) + " again", Progress::Direction::Remaining);
            const MeasuredCut cut = cut_measured(file, path, result.measured, newSize, *result.pad, retest);
            switch (cut.status) {
                case MeasuredCut::Status::Ok: break;
                case MeasuredCut::Status::Changed: run.fail(path, "changed", "changed since it was scanned"); break;
                case MeasuredCut::Status::InUse: run.fail(path, OsdError::InUse); break;
                case MeasuredCut::Status::Stopped: run.interrupted(path, "interrupted"); return;
                case MeasuredCut::Status::CannotSetEnd: run.fail(path, cut.error); break;
                case MeasuredCut::Status::LengthNotKept:
                    run.fail(path, "length not kept", length_not_kept(cut.actualLength));
                    break;
            }
            if (!cut.ok()) continue;
            cli_test_seam(TestSeam::Changed, path);
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
                    bytes_text(scan.size - newSize) + " of " + pad_set_name(*result.pad) +
                    (invocation.dryRun ? " would be cut; dry run)" : " cut)");
        } else if (!result.pad) {
            text += bytes_text(scan.size) + ", unchanged (no 0x00 or 0xff padding at the end)";
        } else if (scan.trailing == 0) {
            text += bytes_text(scan.size) + ", unchanged (no " + pad_set_name(*result.pad) + " padding at the end)";
        } else {
            text += bytes_text(scan.size) + ", unchanged (the " + bytes_text(scan.trailing) + " of " +
                    pad_set_name(*result.pad) + " at the end stay for the alignment)";
        }
        run.print(json, text);
    }
}

// Reports a failed or stopped fill; true when it succeeded.
bool report_fill(Run& run, const std::string& path, const FillResult& result, const char* undoneAs) {
    using Status = FillResult::Status;
    const std::string notUndone = std::string(" (and the file could not be ") + undoneAs + ")";
    switch (result.status) {
        case Status::Ok: return true;
        case Status::Stopped:
            run.interrupted(path, result.undoFailed ? "interrupted" + notUndone : std::string("interrupted"));
            return false;
        case Status::InvalidSize: run.fail(path, "the size would be below 0"); return false;
        case Status::TooLarge: run.fail(path, "the size would be too large"); return false;
        case Status::LengthNotKept: run.fail(path, "length not kept", length_not_kept(result.newSize)); return false;
        case Status::NoBuffer: run.fail(path, "out of memory"); return false;
        case Status::NotEnoughSpace:
            run.fail(path, osd_error_text(OsdError::NoSpace),
                     std::string(osd_error_text(OsdError::NoSpace)) + " (needs " +
                         format_binary_size(result.needed) + ", " + format_binary_size(result.available) + " free)");
            return false;
        default:
            run.fail(path, json_error_name(result.error),
                     osd_error_text(result.error) + (result.undoFailed ? notUndone : std::string()));
            return false;
    }
}

// A missing file under --no-create is skipped, as truncate skips it.
void report_skipped(Run& run, const std::string& path) {
    run.print(JsonObject().text("path", path).text("skipped", "missing"),
              shown_path(path) + ": missing, skipped (--no-create)");
}

// set -r: the reference file's length, which a regular file or a block
// device has; nullopt (reported) when it has none.
std::optional<std::int64_t> reference_length(Run& run, const std::string& reference) {
    OsdError error = OsdError::None;
    const std::int64_t length = osd_length_of(reference, error);
    if (length >= 0) return length;
    if (error == OsdError::IsFolder || error == OsdError::NotRegularFile)
        run.fail(reference, "cannot take a length from it");
    else
        run.fail(reference, error);
    return std::nullopt;
}

void set_command(Run& run) {
    const Invocation& invocation = run.invocation();
    const SizeExpression sizeRule = invocation.size;
    const bool ioBlocks = invocation.ioBlocks;
    // -r: the reference file's length, read once, is the base for all.
    std::optional<std::int64_t> referenceLength;
    if (invocation.reference) {
        referenceLength = reference_length(run, *invocation.reference);
        if (!referenceLength) return;
    }
    // Relative sizes apply to the length read on the handle that sets it;
    // with -o the value counts that file's I/O blocks.
    const LengthRule rule = [sizeRule, ioBlocks, referenceLength](std::int64_t current, std::int64_t ioBlock) {
        SizeExpression scaled = sizeRule;
        if (ioBlocks) {
            const std::int64_t block = ioBlock > 0 ? ioBlock : 512;
            if (scaled.value > std::numeric_limits<std::int64_t>::max() / block)
                return AppliedSize{AppliedSize::Status::TooLarge, 0};
            scaled.value *= block;
        }
        return apply_size_expression(scaled, referenceLength.value_or(current));
    };
    for (const std::string& path : invocation.paths) {
        if (run.stopping(path)) return;
        // A dry run goes the same way, up to the change itself.
        SetLengthOptions options;
        options.open = invocation.noCreate ? LengthOpen::OpenExisting : LengthOpen::OpenOrCreate;
        options.dryRun = invocation.dryRun;
        options.afterOpen = [&path] { cli_test_seam(TestSeam::AfterOpen, path); };
        Progress progress("writing " + shown_path(path), Progress::Direction::Done);
        const FillResult result = fill_to_length(path, rule, options, invocation.fill, progress);
        if (invocation.noCreate && result.status == FillResult::Status::CannotOpen &&
            result.error == OsdError::NotFound) {
            report_skipped(run, path);
            continue;
        }
        if (!report_fill(run, path, result, "put back")) {
            if (interrupt_exit_status() != 0) return;
            continue;
        }
        if (!invocation.dryRun) cli_test_seam(TestSeam::Changed, path);
        const bool created = result.created;
        const std::int64_t oldSize = created ? 0 : result.oldSize;
        const std::int64_t newSize = result.newSize;

        const bool changed = created || oldSize != newSize;
        JsonObject json;
        json.text("path", path);
        if (created)
            json.null("old_size");
        else
            json.number("old_size", oldSize);
        json.number("new_size", newSize)
            .boolean("created", created)
            .boolean("changed", changed)
            .boolean("dry_run", invocation.dryRun);
        std::string text = shown_path(path) + ": ";
        if (created)
            text += (invocation.dryRun ? "would be created with " : "created with ") + bytes_text(newSize);
        else if (changed)
            text += format_grouped(oldSize) + " \u2192 " + bytes_text(newSize);
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
    SetLengthOptions options;
    options.open = LengthOpen::CreateNew;
    options.beforePublish = [&path] { cli_test_seam(TestSeam::BeforePublish, path); };
    // A name taken between the test and the create: take the next one.
    for (int attempt = 0;; ++attempt) {
        Progress progress("writing " + shown_path(path), Progress::Direction::Done);
        result = fill_to_length(path, fixed_length(invocation.size.value), options, invocation.fill, progress);
        if (!inFolder || result.status != FillResult::Status::CannotCreate ||
            result.error != OsdError::AlreadyExists || attempt == 100)
            break;
        path = unique_timestamped_path(folder, now, path_exists);
    }
    if (!report_fill(run, path, result, "removed")) return;

    JsonObject json;
    json.text("path", path).number("new_size", invocation.size.value).text("fill", fill_name(invocation.fill));
    std::string text = shown_path(path) + ": created with " + bytes_text(invocation.size.value);
    if (invocation.fill.kind != Fill::Kind::Zero) text += " (fill " + fill_name(invocation.fill) + ")";
    run.print(json, text);
}

void info_command(Run& run) {
    for (const std::string& path : run.invocation().paths) {
        if (run.stopping(path)) return;
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
        write_err("tavrix-cli: " + parsed.usageError + "\nTry 'tavrix-cli --help'.\n");
        return kUsage;
    }
    const Invocation& invocation = *parsed.invocation;
    Run run(invocation);
    switch (invocation.command) {
        case Command::Help: return write_or_fail(kHelpText);
        case Command::Version: return write_or_fail(std::string("tavrix-cli ") + kTavrixVersion + "\n");
        case Command::Scan: scan_command(run); break;
        case Command::Trim: trim_command(run); break;
        case Command::Set: set_command(run); break;
        case Command::Create: create_command(run); break;
        case Command::Info: info_command(run); break;
        case Command::Hash: hash_command(run); break;
    }
    return run.status();
}
