#include "app/scan_busy.h"

std::optional<int> ScanBusyState::setBusy(bool busy) {
    busy_ = busy;
    if (busy) {
        cancelRequested_ = false;
        return std::nullopt;
    }
    const std::optional<int> waiting = waiting_;
    waiting_.reset();
    return waiting;
}

std::optional<int> ScanBusyState::progress(int position, Clock::time_point now) {
    if (busy_ && drawnAt_ && now - *drawnAt_ < kFrame) {
        waiting_ = position;
        return std::nullopt;
    }
    waiting_.reset();
    drawnAt_ = now;
    return position;
}
