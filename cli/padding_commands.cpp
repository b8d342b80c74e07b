// scan, trim and info: what the end of each file holds, and cutting it.
#include "cli/console.h"
#include "cli/file_commands.h"
#include "cli/progress.h"
#include "cli/report.h"
#include "cli/test_seam.h"
#include "size/trim.h"
#include "util/format_grouped.h"

namespace {

// Opens a file and scans its end; false (with the file reported) when
// either failed. `access` is ReadWrite for a trim, whose cut goes through
// this very handle.
bool open_and_scan(Run& run, const std::string& path, OsdAccess access, OsdFile& file, PaddingScan& result) {
    if (!run.open(path, file, access)) return false;
    Progress progress("scanning " + shown_path(path), Progress::Direction::Remaining);
    result = scan_padding(file, run.invocation().pad, progress);
    if (result.scan.status == ScanResult::Status::Stopped) {
        run.interrupted(path, "interrupted");
        return false;
    }
    if (result.scan.ok()) return true;
    const FailureWords words = scan_failure_words(result.scan);
    run.fail(path, words.json, words.text);
    return false;
}

// "0x00", or "0x00,0xff" for a set of two.
std::string pad_set_name(const PadBytes& pad) {
    return pad.single() ? pad_name(pad.first) : pad_name(pad.first) + "," + pad_name(pad.second);
}

JsonObject& with_pad(JsonObject& json, const std::optional<PadBytes>& pad) {
    return pad ? json.text("pad", pad_set_name(*pad)) : json.null("pad");
}

void report_scan(Run& run, const std::string& path, const PaddingScan& result) {
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

// What a trim did, or in a dry run would do, in words.
std::string trim_text(const std::string& path, const PaddingScan& result, std::int64_t newSize, bool dryRun) {
    const ScanResult& scan = result.scan;
    std::string text = shown_path(path) + ": ";
    if (newSize != scan.size)
        return text + format_grouped(scan.size) + " \u2192 " + bytes_text(newSize) + " (" +
               bytes_text(scan.size - newSize) + " of " + pad_set_name(*result.pad) +
               (dryRun ? " would be cut; dry run)" : " cut)");
    text += bytes_text(scan.size) + ", unchanged ";
    if (!result.pad) return text + "(no 0x00 or 0xff padding at the end)";
    if (scan.trailing == 0) return text + "(no " + pad_set_name(*result.pad) + " padding at the end)";
    return text + "(the " + bytes_text(scan.trailing) + " of " + pad_set_name(*result.pad) +
           " at the end stay for the alignment)";
}

void report_trim(Run& run, const std::string& path, const PaddingScan& result, std::int64_t newSize) {
    const bool dryRun = run.invocation().dryRun;
    JsonObject json;
    json.text("path", path).number("size", result.scan.size);
    with_pad(json, result.pad)
        .number("trailing", result.scan.trailing)
        .number("new_size", newSize)
        .boolean("changed", newSize != result.scan.size)
        .boolean("dry_run", dryRun);
    run.print(json, trim_text(path, result, newSize, dryRun));
}

// Cuts what the scan measured; false (with the file reported) when refused.
bool cut(Run& run, const std::string& path, OsdFile& file, const PaddingScan& result, std::int64_t newSize) {
    cli_test_seam(TestSeam::BeforeCut, path);
    if (run.stopping(path)) return false;
    Progress retest("testing " + shown_path(path) + " again", Progress::Direction::Remaining);
    if (const std::optional<Failure> failure = cut_measured(file, path, result.measured, newSize, *result.pad, retest)) {
        run.fail(path, *failure);
        return false;
    }
    cli_test_seam(TestSeam::Changed, path);
    return true;
}

}  // namespace

void scan_command(Run& run) {
    for (const std::string& path : run.invocation().paths) {
        if (run.stopping(path)) return;
        OsdFile file;
        PaddingScan result;
        if (open_and_scan(run, path, OsdAccess::Read, file, result))
            report_scan(run, path, result);
        else if (interrupt_exit_status() != 0)
            return;
    }
}

void trim_command(Run& run) {
    const Invocation& invocation = run.invocation();
    for (const std::string& path : invocation.paths) {
        if (run.stopping(path)) return;
        // One handle for the scan and the cut, opened for writing in a dry
        // run too (the same checks, the same refusals): no name is looked up
        // between them, and the file is ours alone from here to the cut.
        OsdFile file;
        PaddingScan result;
        if (!open_and_scan(run, path, OsdAccess::ReadWrite, file, result)) {
            if (interrupt_exit_status() != 0) return;
            continue;
        }
        const ScanResult& scan = result.scan;
        const std::int64_t newSize =
            result.pad ? trimmed_length(scan.size, scan.size - scan.trailing, invocation.alignment) : scan.size;
        if (newSize != scan.size && !invocation.dryRun && !cut(run, path, file, result, newSize)) {
            if (interrupt_exit_status() != 0) return;
            continue;
        }
        report_trim(run, path, result, newSize);
    }
}

void info_command(Run& run) {
    for (const std::string& path : run.invocation().paths) {
        if (run.stopping(path)) return;
        OsdFile file;
        if (!run.open(path, file, OsdAccess::Read)) continue;
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
