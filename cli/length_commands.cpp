// set and create: giving files exact lengths.
#include <limits>

#include "cli/console.h"
#include "cli/file_commands.h"
#include "cli/progress.h"
#include "cli/report.h"
#include "cli/test_seam.h"
#include "size/fill.h"
#include "util/format_grouped.h"
#include "util/timestamp.h"

namespace {

// Reports a change that failed or was stopped; true when it succeeded.
bool report_failure(Run& run, const std::string& path, const Change& change) {
    if (change.ok()) return true;
    run.fail(path, *change.failure, change.created ? "removed" : "put back");
    return false;
}

// set -r: the reference file's length, which a regular file or a block
// device has; nullopt (reported) when it has none.
std::optional<std::int64_t> reference_length(Run& run, const std::string& reference) {
    OsdError cause = OsdError::None;
    const std::int64_t length = osd_length_of(reference, &cause);
    if (length >= 0) return length;
    if (cause == OsdError::IsFolder || cause == OsdError::NotRegularFile)
        run.fail(reference, "cannot take a length from it");
    else
        run.fail(reference, cause);
    return std::nullopt;
}

// The length set gives a file: SIZE applied to the length read on the
// handle that sets it (or to RFILE's), with -o counting that file's I/O
// blocks.
LengthRule set_rule(const Invocation& invocation, std::optional<std::int64_t> referenceLength) {
    return [sizeRule = invocation.size, ioBlocks = invocation.ioBlocks, referenceLength](std::int64_t current,
                                                                                        std::int64_t ioBlock) {
        SizeExpression scaled = sizeRule;
        if (ioBlocks) {
            const std::int64_t block = ioBlock > 0 ? ioBlock : 512;
            if (scaled.value > std::numeric_limits<std::int64_t>::max() / block)
                return AppliedSize{0, failed_at(Failure::Step::SizeTooLarge)};
            scaled.value *= block;
        }
        return apply_size_expression(scaled, referenceLength.value_or(current));
    };
}

void report_set(Run& run, const std::string& path, const Change& change) {
    const bool dryRun = run.invocation().dryRun;
    const std::int64_t oldSize = change.created ? 0 : change.oldSize;
    const bool changed = change.created || oldSize != change.newSize;
    JsonObject json;
    json.text("path", path);
    if (change.created)
        json.null("old_size");
    else
        json.number("old_size", oldSize);
    json.number("new_size", change.newSize)
        .boolean("created", change.created)
        .boolean("changed", changed)
        .boolean("dry_run", dryRun);
    std::string text = shown_path(path) + ": ";
    if (change.created)
        text += (dryRun ? "would be created with " : "created with ") + bytes_text(change.newSize);
    else if (changed)
        text += format_grouped(oldSize) + " \u2192 " + bytes_text(change.newSize);
    else
        text += bytes_text(oldSize) + ", unchanged";
    if (dryRun) text += " (dry run)";
    run.print(json, text);
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

// Whether `named` is a folder to make a time-stamped name in; a file is
// never overwritten (reported, nullopt).
std::optional<bool> is_folder_for_new_name(Run& run, const std::string& named) {
    if (!path_exists(named)) return false;
    OsdFile probe;
    OsdError cause = OsdError::None;
    if (osd_open(probe, named, OsdAccess::Read, &cause) != 0 && cause == OsdError::IsFolder) return true;
    run.fail(named, OsdError::AlreadyExists);
    return std::nullopt;
}

}  // namespace

void set_command(Run& run) {
    const Invocation& invocation = run.invocation();
    // -r: the reference file's length, read once, is the base for all.
    std::optional<std::int64_t> referenceLength;
    if (invocation.reference && !(referenceLength = reference_length(run, *invocation.reference))) return;
    const LengthRule rule = set_rule(invocation, referenceLength);
    for (const std::string& path : invocation.paths) {
        if (run.stopping(path)) return;
        // A dry run goes the same way, up to the change itself.
        SetLengthOptions options;
        options.open = invocation.noCreate ? LengthOpen::OpenExisting : LengthOpen::OpenOrCreate;
        options.dryRun = invocation.dryRun;
        options.afterOpen = [&path] { cli_test_seam(TestSeam::AfterOpen, path); };
        Progress progress("writing " + shown_path(path), Progress::Direction::Done);
        const Change change = fill_to_length(path, rule, options, invocation.fill, progress);
        if (invocation.noCreate && !change.ok() && change.failure->step == Failure::Step::Open &&
            change.failure->cause == OsdError::NotFound) {
            // A missing file under --no-create is skipped, as truncate skips it.
            run.print(JsonObject().text("path", path).text("skipped", "missing"),
                      shown_path(path) + ": missing, skipped (--no-create)");
            continue;
        }
        if (!report_failure(run, path, change)) {
            if (interrupt_exit_status() != 0) return;
            continue;
        }
        if (!invocation.dryRun) cli_test_seam(TestSeam::Changed, path);
        report_set(run, path, change);
    }
}

void create_command(Run& run) {
    const Invocation& invocation = run.invocation();
    const std::string named = invocation.paths.empty() ? std::string(".") : invocation.paths.front();
    // A folder gets a new time-stamped name in it.
    const std::optional<bool> inFolder = is_folder_for_new_name(run, named);
    if (!inFolder) return;

    const std::tm now = local_now();
    const std::string folder = folder_for_names(named);
    std::string path = *inFolder ? unique_timestamped_path(folder, now, path_exists) : named;
    Change change;
    SetLengthOptions options;
    options.open = LengthOpen::CreateNew;
    options.beforePublish = [&path] { cli_test_seam(TestSeam::BeforePublish, path); };
    // A name taken between the test and the create: take the next one.
    for (int attempt = 0;; ++attempt) {
        Progress progress("writing " + shown_path(path), Progress::Direction::Done);
        change = fill_to_length(path, fixed_length(invocation.size.value), options, invocation.fill, progress);
        const bool nameTaken = !change.ok() && change.failure->step == Failure::Step::Create &&
                               change.failure->cause == OsdError::AlreadyExists;
        if (!*inFolder || !nameTaken || attempt == 100) break;
        path = unique_timestamped_path(folder, now, path_exists);
    }
    if (!report_failure(run, path, change)) return;

    JsonObject json;
    json.text("path", path).number("new_size", invocation.size.value).text("fill", fill_name(invocation.fill));
    std::string text = shown_path(path) + ": created with " + bytes_text(invocation.size.value);
    if (invocation.fill.kind != Fill::Kind::Zero) text += " (fill " + fill_name(invocation.fill) + ")";
    run.print(json, text);
}
