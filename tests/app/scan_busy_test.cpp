#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "app/scan_busy.h"

namespace {

using std::chrono::milliseconds;

// One step: the bar asked for `position` at `at` ms; what is drawn then.
struct Step {
    int at;
    int position;
    std::optional<int> drawn;
};

std::vector<std::optional<int>> run(ScanBusyState& state, const std::vector<Step>& steps) {
    std::vector<std::optional<int>> drawn;
    for (const Step& step : steps) {
        drawn.push_back(state.progress(step.position, ScanBusyState::Clock::time_point(milliseconds(step.at))));
    }
    return drawn;
}

std::vector<std::optional<int>> expected(const std::vector<Step>& steps) {
    std::vector<std::optional<int>> drawn;
    for (const Step& step : steps) drawn.push_back(step.drawn);
    return drawn;
}

TEST(ScanBusyState, DuringAScanTheBarIsDrawnAtMostOnceAFrameAndTheLastPositionAtTheEnd) {
    ScanBusyState state;
    EXPECT_FALSE(state.busy());
    EXPECT_EQ(state.setBusy(true), std::nullopt);
    EXPECT_TRUE(state.busy());
    const std::vector<Step> steps{
        {1000, 1, 1},             // the first is drawn
        {1005, 2, std::nullopt},  // within the frame: waits
        {1015, 3, std::nullopt},
        {1016, 4, 4},  // a frame later
        {1020, 5, std::nullopt},
    };
    EXPECT_EQ(run(state, steps), expected(steps));
    EXPECT_EQ(state.setBusy(false), std::optional<int>(5)) << "the waiting position, once";
    EXPECT_FALSE(state.busy());
    EXPECT_EQ(state.setBusy(true), std::nullopt);
    EXPECT_EQ(state.setBusy(false), std::nullopt);
}

TEST(ScanBusyState, OutsideAScanEveryPositionIsDrawn) {
    ScanBusyState state;
    const std::vector<Step> steps{{1000, 40, 40}, {1001, 0, 0}, {1002, 7, 7}};
    EXPECT_EQ(run(state, steps), expected(steps));
    EXPECT_EQ(state.setBusy(false), std::nullopt);
}

}  // namespace
