// Giving a file an exact length: cut, extend with zero bytes, or create it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "osd/osd.h"
#include "size/failure.h"
#include "size/scan.h"
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
    return [target](std::int64_t, std::int64_t) { return AppliedSize{target, std::nullopt}; };
}

// How a length is given, for lengths set and fills written alike.
struct SetLengthOptions {
    LengthOpen open = LengthOpen::OpenOrCreate;
    // Asked before bytes are cut off an existing file, with the lengths as
    // the handle that cuts reads them; false leaves the file as it is
    // (Declined). Asked again should the length change meanwhile. Unset:
    // cut without asking.
    std::function<bool(std::int64_t currentLength, std::int64_t target)> confirmCut;
    // Every check of the real change (opening for writing, exclusive access,
    // the new length, free space for a written fill), then nothing changed:
    // a file that would be created is not.
    bool dryRun = false;
    // Told of a growth made in steps, where the file system writes every
    // zero (grow_file), and free to stop it; unset: no one is told.
    ScanObserver* progress = nullptr;
    // For tests that change the file between two steps: once it is open,
    // before its length is read; and before a file this call created gets
    // its name.
    std::function<void()> afterOpen;
    std::function<void()> beforePublish;
};

// A file opened for a new length: the change so far (ok to go on), the
// file this call created (empty when it opened one), the length the handle
// reads (0 for a created file) and the length the rule gives it.
struct LengthPlan {
    Change change;
    std::string createdPath;
    std::int64_t current = 0;
    std::int64_t target = 0;
};

// Opens `path` into `file` for this process alone (osd_open), as `options`
// say, and works out its new length, asking options.confirmCut first where
// bytes would be cut. An existing file is never truncated by a create: one
// that appears between the existence test and the create is opened instead
// (or refused, for CreateNew). A dangling symbolic link gets the file it
// points to. On failure the handle is closed, and a file this call created
// never appears.
LengthPlan plan_length(OsdFile& file, const std::string& path, const LengthRule& rule, const SetLengthOptions& options);

// Moves the end of `file`, `current` bytes long, to `target`; bytes added
// read as zero, sparse where the file system allows, and where it writes
// them, added as grow_file adds them (`progress` told of each step). Refused
// (Lock, InUse) when another program opened the file since it was claimed.
// The length is read back on the handle: one that did not take fails at
// ReadBack. nullopt on success.
std::optional<Failure> move_end(OsdFile& file, std::int64_t target, std::int64_t current,
                                ScanObserver* progress = nullptr);

// Gives up on a planned length with `failure`: the handle is closed, and a
// file the plan created never appears.
Change abandon_length(OsdFile& file, const LengthPlan& plan, Failure failure);

// Names a file the plan created, now complete, and closes the handle; the
// change fails when either fails.
Change finish_length(OsdFile& file, const LengthPlan& plan, const SetLengthOptions& options);

// Gives the file at `path` the length `rule` gives its present one. The
// bytes below the old end never change. A file this call created appears
// only once it has its length, so a failure leaves nothing behind.
Change set_file_length(const std::string& path, const LengthRule& rule, const SetLengthOptions& options = {});

// A fixed length; a negative one is refused before anything is opened.
Change set_file_length(const std::string& path, std::int64_t target, const SetLengthOptions& options = {});
