// Long work of Execute (growing a file where the file system writes every
// zero) off the window's thread: the work runs on a helper thread while the
// window's thread keeps the window answering.
#pragma once

#include <chrono>
#include <functional>
#include <optional>

#include "size/failure.h"
#include "size/scan.h"

class View;

// Runs `work` on a helper thread and returns what it returns. Meanwhile the
// window's events are handled, its commands are off as during a scan, and
// once the work has lasted kProgressDelay the status line and ProgressBar1
// show the share done, the rate and the time left, a few times a second.
// Esc or closing the window asks the work to stop (its observer says no).
std::optional<Failure> run_beside_window(View& form,
                                         const std::function<std::optional<Failure>(ScanObserver&)>& work);

// For tests: how long work lasts before its progress shows (work that ends
// sooner shows only its outcome), and a call on the window's thread each
// time it looks at the work, with the bytes done and all to do.
struct BackgroundSeams {
    std::chrono::steady_clock::duration progressDelay = std::chrono::milliseconds(200);
    std::function<void(std::int64_t done, std::int64_t total)> onLook;
};
extern BackgroundSeams BackgroundChangeSeams;
