// Giving a file an exact length: cut, extend with zero bytes, or create it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "osd/osd.h"
#include "size/size_expression.h"

enum class LengthOpen {
    OpenOrCreate,  // create the file when it does not exist
    OpenExisting,  // fail when it does not exist
    CreateNew,     // fail when it exists: never touch an existing file
};

// The length to give a file that is `current` bytes long (0 for one about
// to be created) with I/O blocks of `ioBlock` bytes, both read on the
// handle that sets it.
using LengthRule = std::function<AppliedSize(std::int64_t current, std::int64_t ioBlock)>;

inline LengthRule fixed_length(std::int64_t target) {
    return [target](std::int64_t, std::int64_t) { return AppliedSize{AppliedSize::Status::Ok, target}; };
}

struct SetLengthOptions {
    LengthOpen open = LengthOpen::OpenOrCreate;
    // Asked before bytes are cut off an existing file, with the lengths as
    // the handle that cuts reads them; false leaves the file as it is
    // (Declined). Asked again should the length change meanwhile. Unset:
    // cut without asking.
    std::function<bool(std::int64_t currentLength, std::int64_t target)> confirmCut;
    // Runs once the file is open, before its length is read: for tests that
    // change the file between the two.
    std::function<void()> afterOpen;
    // Runs before a file this call created gets its name: for tests that
    // take the name meanwhile.
    std::function<void()> beforePublish;
    // Every check of the real change (opening for writing, exclusive access,
    // the new length, free space for a written fill), then nothing changed:
    // a file that would be created is not.
    bool dryRun = false;
};

struct SetLengthResult {
    enum class Status {
        Ok,
        InvalidSize,    // the rule gave a length below 0
        TooLarge,       // the rule gave a length past 64 bits
        CannotOpen,
        CannotCreate,
        CannotSetEnd,
        LengthNotKept,  // the system reported success; `newSize` is the length it kept
        Declined,
    };
    Status status = Status::Ok;
    bool created = false;
    std::int64_t oldSize = -1;  // -1 when the file was created
    std::int64_t newSize = -1;
    OsdError error = OsdError::None;

    bool ok() const { return status == Status::Ok; }
};

// Opens `path` for setting its length as `open` says, for this process
// alone (osd_open). An existing file is never truncated by a create: one
// that appears between the existence test and the create is opened instead
// (or refused, for CreateNew). A new file gets its name only once it is
// complete (osd_publish). A dangling symbolic link gets the file it points
// to. `created` names the file this call created, empty when it opened one.
SetLengthResult::Status open_for_length(OsdFile& file, const std::string& path, LengthOpen open,
                                        std::string& created);

// Moves the end of `file` to `target`; bytes added read as zero (sparse
// where the file system allows). Refused (CannotOpen, InUse) when another
// program opened the file since it was claimed. The length is read back on
// the handle: a length that did not take is LengthNotKept, with the kept
// one in `kept`.
SetLengthResult::Status move_end(OsdFile& file, std::int64_t target, bool growing, std::int64_t& kept);

// A file opened for a new length: the result so far (Ok to go on), the
// file this call created (empty when it opened one), the length the handle
// reads (0 for a created file) and the length the rule gives it.
struct LengthPlan {
    SetLengthResult result;
    std::string createdPath;
    std::int64_t current = 0;
    std::int64_t target = 0;
};

// Opens `path` into `file` as `options` say and works out its new length,
// asking options.confirmCut first where bytes would be cut. On failure the
// handle is closed, and a file this call created never appears.
LengthPlan plan_length(OsdFile& file, const std::string& path, const LengthRule& rule, const SetLengthOptions& options);

// Gives up on a planned length with `status`, as plan_length does on failure.
SetLengthResult abandon_length(OsdFile& file, const LengthPlan& plan, SetLengthResult::Status status);

// Names a file the plan created, now complete, and closes the handle;
// `result` becomes the failure when either fails.
void finish_length(OsdFile& file, const SetLengthOptions& options, SetLengthResult& result);

// Gives the file at `path` the length `rule` gives its present one. The
// bytes below the old end never change. A file this call created appears
// only once it has its length, so a failure leaves nothing behind.
SetLengthResult set_file_length(const std::string& path, const LengthRule& rule, const SetLengthOptions& options = {});

// A fixed length; a negative one is refused before anything is opened.
SetLengthResult set_file_length(const std::string& path, std::int64_t target, const SetLengthOptions& options = {});
