// How a change of a file ends: the one failure value every change (set,
// fill, trim, create, the window's Execute) gives, carried as it is to the
// one place in each front end that words it.
#pragma once

#include <cstdint>
#include <optional>

#include "osd/osd.h"

// The step that failed, the file layer's cause, and what the step knows
// besides.
struct Failure {
    enum class Step {
        SizeBelowZero,  // the size asked for is below 0
        SizeTooLarge,   // the size asked for is past 64 bits
        Open,           // opening the file to change it
        Lock,           // holding it for this process alone (InUse, Locked)
        Create,         // making a new file, or naming it once complete
        Declined,       // the user kept the bytes a cut would take
        Changed,        // not the file measured, or changed since
        Retest,         // reading the padding once more before the cut
        Space,          // a written fill the free space cannot hold
        Memory,         // no buffer for a written fill
        SetEnd,         // moving the end of the file
        Write,          // writing a fill
        ReadBack,       // the length read back is not the one set
        Close,          // closing the file once changed
        Stopped,        // stopped by the user: Esc, closing, Ctrl-C
    };
    Step step = Step::Open;
    OsdError cause = OsdError::None;
    std::int64_t offset = -1;      // Retest, Write: where the read or write failed
    std::int64_t keptLength = -1;  // ReadBack: the length the file kept
    std::int64_t needed = 0;       // Space: the bytes the fill needs
    std::int64_t available = -1;   // Space: the bytes free
    bool undoFailed = false;       // the file could not be put back as it was
};

inline Failure failed_at(Failure::Step step, OsdError cause = OsdError::None) {
    Failure failure;
    failure.step = step;
    failure.cause = cause;
    return failure;
}

// A failed open of a file to change: another program's hold is the Lock step.
inline Failure open_failure(OsdError cause) {
    const bool held = cause == OsdError::InUse || cause == OsdError::Locked;
    return failed_at(held ? Failure::Step::Lock : Failure::Step::Open, cause);
}

// What a change did: the lengths before and after, or how it failed.
struct Change {
    std::optional<Failure> failure;
    bool created = false;
    std::int64_t oldSize = -1;  // -1 for a file this change created
    std::int64_t newSize = -1;

    bool ok() const { return !failure; }
};
