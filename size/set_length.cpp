#include "size/set_length.h"

#include "size/growth.h"

using Step = Failure::Step;

namespace {

// Opens `path` as `open` says; nullopt on success, with `created` naming a
// file this call created (empty when it opened one).
std::optional<Failure> open_for_length(OsdFile& file, const std::string& path, LengthOpen open,
                                       std::string& created) {
    created.clear();
    OsdError cause = OsdError::None;
    if (open == LengthOpen::CreateNew || (open == LengthOpen::OpenOrCreate && !osd_exists(path))) {
        if (osd_create_unpublished(file, path, &cause) == 0) {
            created = path;
            return std::nullopt;
        }
        if (open == LengthOpen::CreateNew || cause != OsdError::AlreadyExists) return failed_at(Step::Create, cause);
    }
    if (osd_open(file, path, OsdAccess::Write, &cause) == 0) return std::nullopt;
    if (open == LengthOpen::OpenOrCreate && cause == OsdError::NotFound) {
        if (osd_create_link_target(file, path, created, &cause) == 0) return std::nullopt;
        created.clear();
        return failed_at(cause == OsdError::NotFound ? Step::Open : Step::Create, cause);
    }
    return open_failure(cause);
}

// The file's length as this handle reads it now; -1 when it cannot.
std::int64_t current_length(const OsdFile& file, OsdError& cause, std::int64_t* ioBlock = nullptr) {
    OsdFileState state;
    if (osd_state(file, state, &cause) != 0) return -1;
    if (ioBlock != nullptr) *ioBlock = state.ioBlockSize;
    return state.size;
}

}  // namespace

std::optional<Failure> move_end(OsdFile& file, std::int64_t target, std::int64_t current, ScanObserver* progress) {
    if (osd_exclusive_lost(file)) return failed_at(Step::Lock, OsdError::InUse);
    OsdError cause = OsdError::None;
    if (target > current) {
        SilentObserver silent;
        if (std::optional<Failure> failure = grow_file(file, current, target, progress != nullptr ? *progress : silent))
            return failure;
    } else if (osd_seek(file, target, OsdOrigin::Begin, &cause) != target || osd_seteof(file, &cause) != 0) {
        return failed_at(Step::SetEnd, cause);
    }
    // Some files accept any length and keep their own (/proc, some devices
    // behind FUSE): only the length read back counts.
    const std::int64_t kept = current_length(file, cause);
    if (kept == target) return std::nullopt;
    Failure notKept = failed_at(Step::ReadBack, cause);
    notKept.keptLength = kept;
    return notKept;
}

Change abandon_length(OsdFile& file, const LengthPlan& plan, Failure failure) {
    Change change = plan.change;
    change.failure = failure;
    // A file this call created has no name yet: closing discards it.
    osd_close(file);
    return change;
}

Change finish_length(OsdFile& file, const LengthPlan& plan, const SetLengthOptions& options) {
    Change change = plan.change;
    OsdError cause = OsdError::None;
    if (change.created && !options.dryRun) {
        if (options.beforePublish) options.beforePublish();
        if (osd_publish(file, &cause) != 0) return abandon_length(file, plan, failed_at(Step::Create, cause));
    }
    if (osd_close(file, &cause) != 0) change.failure = failed_at(Step::Close, cause);
    return change;
}

LengthPlan plan_length(OsdFile& file, const std::string& path, const LengthRule& rule, const SetLengthOptions& options) {
    LengthPlan plan;
    Change& change = plan.change;
    change.failure = open_for_length(file, path, options.open, plan.createdPath);
    change.created = !plan.createdPath.empty();
    if (!change.ok()) return plan;
    if (options.afterOpen) options.afterOpen();
    auto give_up = [&](Failure failure) {
        change = abandon_length(file, plan, failure);
        return plan;
    };

    OsdError cause = OsdError::None;
    std::int64_t ioBlock = 0;
    std::int64_t current = current_length(file, cause, &ioBlock);
    if (current < 0) return give_up(failed_at(Step::Open, cause));
    if (change.created) current = 0;
    AppliedSize target = rule(current, ioBlock);
    while (target.ok() && !change.created && target.length < current && options.confirmCut) {
        if (!options.confirmCut(current, target.length)) return give_up(failed_at(Step::Declined));
        // What was agreed to must still be what the cut removes.
        const std::int64_t now = current_length(file, cause);
        if (now == current) break;
        current = now;
        if (current < 0) return give_up(failed_at(Step::Open, cause));
        target = rule(current, ioBlock);
    }
    if (!target.ok()) return give_up(*target.failure);
    if (!change.created) change.oldSize = current;
    change.newSize = target.length;
    plan.current = current;
    plan.target = target.length;
    return plan;
}

Change set_file_length(const std::string& path, const LengthRule& rule, const SetLengthOptions& options) {
    OsdFile file;
    const LengthPlan plan = plan_length(file, path, rule, options);
    if (!plan.change.ok()) return plan.change;
    if (!options.dryRun) {
        if (const std::optional<Failure> failure = move_end(file, plan.target, plan.current, options.progress))
            return abandon_length(file, plan, *failure);
    }
    return finish_length(file, plan, options);
}

Change set_file_length(const std::string& path, std::int64_t target, const SetLengthOptions& options) {
    // A negative size must never reach the file: a failed seek would leave
    // the pointer at 0 and empty it.
    if (target < 0) {
        Change refused;
        refused.failure = failed_at(Step::SizeBelowZero);
        return refused;
    }
    return set_file_length(path, fixed_length(target), options);
}
