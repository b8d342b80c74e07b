#include "size/set_length.h"

using Status = SetLengthResult::Status;

Status open_for_length(OsdFile& file, const std::string& path, LengthOpen open, std::string& created) {
    created.clear();
    if (open == LengthOpen::CreateNew || (open == LengthOpen::OpenOrCreate && !osd_exists(path))) {
        if (osd_create_unpublished(file, path) == 0) {
            created = path;
            return Status::Ok;
        }
        if (open == LengthOpen::CreateNew || file.error != OsdError::AlreadyExists) return Status::CannotCreate;
    }
    if (osd_open(file, path, OsdAccess::Write) == 0) return Status::Ok;
    if (open == LengthOpen::OpenOrCreate && file.error == OsdError::NotFound) {
        if (osd_create_link_target(file, path, created) == 0) return Status::Ok;
        created.clear();
        return file.error == OsdError::NotFound ? Status::CannotOpen : Status::CannotCreate;
    }
    return Status::CannotOpen;
}

Status move_end(OsdFile& file, std::int64_t target, bool growing, std::int64_t& kept) {
    if (osd_exclusive_lost(file)) {
        file.error = OsdError::InUse;
        return Status::CannotOpen;
    }
    if (growing) osd_allow_holes(file);
    if (osd_seek(file, target, OsdOrigin::Begin) != target || osd_seteof(file) != 0) return Status::CannotSetEnd;
    // Some files accept any length and keep their own (/proc, some devices
    // behind FUSE): only the length read back counts.
    OsdFileState after;
    if (osd_state(file, after) != 0) return Status::CannotSetEnd;
    kept = after.size;
    return kept == target ? Status::Ok : Status::LengthNotKept;
}

namespace {

// The file's length as this handle reads it now; -1 when it cannot.
std::int64_t current_length(const OsdFile& file, std::int64_t* ioBlock = nullptr) {
    OsdFileState state;
    if (osd_state(file, state) != 0) return -1;
    if (ioBlock != nullptr) *ioBlock = state.ioBlockSize;
    return state.size;
}

}  // namespace

SetLengthResult abandon_length(OsdFile& file, const LengthPlan& plan, Status status) {
    SetLengthResult result = plan.result;
    result.status = status;
    result.error = file.error;
    // A file this call created has no name yet: closing discards it.
    osd_close(file);
    return result;
}

void finish_length(OsdFile& file, const SetLengthOptions& options, SetLengthResult& result) {
    if (result.created && !options.dryRun) {
        if (options.beforePublish) options.beforePublish();
        if (osd_publish(file) != 0) {
            result.status = Status::CannotCreate;
            result.error = file.error;
        }
    }
    if (osd_close(file) != 0 && result.ok()) {
        result.status = Status::CannotSetEnd;
        result.error = OsdError::WriteFailed;
    }
}

LengthPlan plan_length(OsdFile& file, const std::string& path, const LengthRule& rule, const SetLengthOptions& options) {
    LengthPlan plan;
    SetLengthResult& result = plan.result;
    result.status = open_for_length(file, path, options.open, plan.createdPath);
    result.created = !plan.createdPath.empty();
    if (!result.ok()) {
        result.error = file.error;
        return plan;
    }
    if (options.afterOpen) options.afterOpen();
    auto give_up = [&](Status status) {
        result = abandon_length(file, plan, status);
        return plan;
    };

    std::int64_t ioBlock = 0;
    std::int64_t current = current_length(file, &ioBlock);
    if (current < 0) return give_up(Status::CannotOpen);
    if (result.created) current = 0;
    AppliedSize target = rule(current, ioBlock);
    while (target.ok() && !result.created && target.length < current && options.confirmCut) {
        if (!options.confirmCut(current, target.length)) return give_up(Status::Declined);
        // What was agreed to must still be what the cut removes.
        const std::int64_t now = current_length(file);
        if (now == current) break;
        current = now;
        if (current < 0) return give_up(Status::CannotOpen);
        target = rule(current, ioBlock);
    }
    if (!target.ok())
        return give_up(target.status == AppliedSize::Status::BelowZero ? Status::InvalidSize : Status::TooLarge);
    if (!result.created) result.oldSize = current;
    plan.current = current;
    plan.target = target.length;
    return plan;
}

SetLengthResult set_file_length(const std::string& path, const LengthRule& rule, const SetLengthOptions& options) {
    OsdFile file;
    LengthPlan plan = plan_length(file, path, rule, options);
    if (!plan.result.ok()) return plan.result;
    SetLengthResult& result = plan.result;
    if (options.dryRun) {
        result.newSize = plan.target;
    } else {
        const Status moved = move_end(file, plan.target, plan.target > plan.current, result.newSize);
        if (moved != Status::Ok) return abandon_length(file, plan, moved);
    }
    finish_length(file, options, result);
    return result;
}

SetLengthResult set_file_length(const std::string& path, std::int64_t target, const SetLengthOptions& options) {
    // A negative size must never reach the file: a failed seek would leave
    // the pointer at 0 and empty it.
    if (target < 0) {
        SetLengthResult refused;
        refused.status = Status::InvalidSize;
        return refused;
    }
    return set_file_length(path, fixed_length(target), options);
}
