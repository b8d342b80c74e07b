// The observer the commands give the scan and the fill: it stops the work
// when the program is interrupted, and shows progress on standard error
// when that is a terminal and the work has run for half a second.
#pragma once

#include <chrono>
#include <string>

#include "size/scan.h"

class Progress final : public ScanObserver {
public:
    enum class Direction {
        Done,      // the observer is told the share done (fills)
        Remaining  // the share still to do (the backward scan)
    };

    Progress(std::string label, Direction direction);
    ~Progress() override;
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    bool beforeChunk(int percent) override;

private:
    using Clock = std::chrono::steady_clock;

    std::string label_;
    Direction direction_;
    Clock::time_point start_;
    Clock::time_point lastShown_;
    int lastPercent_ = -1;
    std::size_t shownWidth_ = 0;
};
