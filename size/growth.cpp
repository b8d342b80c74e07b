#include "size/growth.h"

#include <algorithm>

namespace {

using Step = Failure::Step;

std::function<void()> growth_step_seam;

// Moves the end of the file to `length`.
std::optional<Failure> set_end(OsdFile& file, std::int64_t length) {
    OsdError cause = OsdError::None;
    if (osd_seek(file, length, OsdOrigin::Begin, &cause) == length && osd_seteof(file, &cause) == 0) return std::nullopt;
    return failed_at(Step::SetEnd, cause);
}

// Whether another program may have come to the file since the growth began:
// it opened the file against the lease, or, where there is none, the length
// is no longer the one grown to so far.
bool others_came(const OsdFile& file, std::int64_t grownTo) {
    if (file.leased) return osd_exclusive_lost(file);
    OsdFileState now;
    return osd_state(file, now) != 0 || now.size != grownTo;
}

// Cuts the file back to `from` after a growth that ends in `failure`, while
// its length is still `grownTo`, the growth's own.
Failure undone(OsdFile& file, std::int64_t from, std::int64_t grownTo, Failure failure) {
    OsdFileState now;
    const bool ours = osd_state(file, now) == 0 && now.size == grownTo;
    failure.undoFailed = grownTo != from && (!ours || set_end(file, from).has_value());
    return failure;
}

// Whether the file system writes every added zero: as its type says, or
// where that does not tell, as the allocation after a first step shows.
bool writes_zeros(OsdFile& file, const OsdGrowth& growth, std::int64_t allocatedBefore, std::int64_t from,
                  std::int64_t grownTo) {
    if (growth.known) return growth.writesZeros;
    const std::int64_t after = osd_allocated_bytes(file);
    return allocatedBefore >= 0 && after >= 0 && after - allocatedBefore >= (grownTo - from) / 2;
}

}  // namespace

void set_growth_step_seam(std::function<void()> seam) { growth_step_seam = std::move(seam); }

std::optional<Failure> grow_file(OsdFile& file, std::int64_t from, std::int64_t to, ScanObserver& observer) {
    osd_allow_holes(file);
    const OsdGrowth growth = osd_growth(file);
    std::int64_t grownTo = from;
    const std::int64_t allocatedBefore = growth.known ? -1 : osd_allocated_bytes(file);
    if (!growth.known) {
        grownTo = std::min(to, from + kGrowthStep);
        if (std::optional<Failure> failure = set_end(file, grownTo)) return failure;
    }
    if (!writes_zeros(file, growth, allocatedBefore, from, grownTo)) {
        if (std::optional<Failure> failure = set_end(file, to)) return undone(file, from, grownTo, *failure);
        return std::nullopt;
    }
    if (to > growth.largestFile) return undone(file, from, grownTo, failed_at(Step::SetEnd, OsdError::TooLarge));
    if (growth.freeSpace >= 0 && to - grownTo > growth.freeSpace) {
        Failure noRoom = failed_at(Step::Space);
        noRoom.needed = to - from;
        noRoom.available = growth.freeSpace + (grownTo - from);
        return undone(file, from, grownTo, noRoom);
    }
    while (grownTo < to) {
        if (!observer.beforeBytes(grownTo - from, to - from))
            return undone(file, from, grownTo, failed_at(Step::Stopped));
        if (others_came(file, grownTo))
            return undone(file, from, grownTo, failed_at(Step::Lock, OsdError::InUse));
        if (growth_step_seam) growth_step_seam();
        const std::int64_t next = std::min(to, grownTo + kGrowthStep);
        if (std::optional<Failure> failure = set_end(file, next)) return undone(file, from, grownTo, *failure);
        grownTo = next;
    }
    return std::nullopt;
}
