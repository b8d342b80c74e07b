// The observer the commands give the scan and the fill: it stops the work
// when the program is interrupted, and shows progress on standard error
// when that is a terminal and the work has run for half a second: the share
// done, or for a fill the bytes written, the rate and the time left.
#pragma once

#include <chrono>
#include <cstdint>
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
    bool beforeBytes(std::int64_t done, std::int64_t total) override;

private:
    using Clock = std::chrono::steady_clock;

    // Whether to draw now: running long enough, not drawn a moment ago.
    bool due(Clock::time_point now) const;
    void show(const std::string& text, Clock::time_point now);

    std::string label_;
    Direction direction_;
    Clock::time_point start_;
    Clock::time_point lastShown_;
    int lastPercent_ = -1;
    std::size_t shownWidth_ = 0;
};
