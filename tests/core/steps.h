// How a change ended, in a form assertions compare: the step it failed at,
// nullopt when it succeeded, and the cause.
#pragma once

#include <optional>

#include "size/failure.h"

using Step = Failure::Step;

inline std::optional<Step> step_of(const std::optional<Failure>& failure) {
    return failure ? std::optional<Step>(failure->step) : std::nullopt;
}
inline std::optional<Step> step_of(const Change& change) { return step_of(change.failure); }
inline OsdError cause_of(const Change& change) { return change.failure ? change.failure->cause : OsdError::None; }
