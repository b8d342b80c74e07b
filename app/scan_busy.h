// What a window does differently while a scan runs, the same for every
// binding: its commands are off (a click, command or drop already on its way
// is dropped), and the progress bar is drawn at most once a frame. A scan of
// a cached file moves the bar a hundred times within a fraction of a second,
// and drawing it costs more than testing a MiB.
#pragma once

#include <chrono>
#include <optional>

class ScanBusyState {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::duration kFrame = std::chrono::milliseconds(16);

    bool busy() const { return busy_; }
    // The commands go off (true) or come back (false). Coming back gives
    // the last position that still waits to be drawn, if any.
    std::optional<int> setBusy(bool busy);

    // The bar is asked to show `position` at `now`: the position to draw
    // now, or nullopt while a frame has not passed since the last drawing
    // during a scan; the position then waits for its turn or the scan's end.
    std::optional<int> progress(int position, Clock::time_point now);

    // Esc during a scan: the scan stops at its next chunk, the window stays.
    // A new scan starts without the request.
    void requestCancel() {
        if (busy_) cancelRequested_ = true;
    }
    bool cancelRequested() const { return cancelRequested_; }

private:
    bool busy_ = false;
    bool cancelRequested_ = false;
    std::optional<Clock::time_point> drawnAt_;
    std::optional<int> waiting_;
};
