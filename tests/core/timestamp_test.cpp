#include <gtest/gtest.h>

#include <set>

#include "util/timestamp.h"

namespace {

std::tm at(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

std::set<std::string> taken;
bool is_taken(const std::string& path) { return taken.count(path) != 0; }

TEST(Timestamp, UniqueNamesCountOnPastTheTakenOnes) {
    const std::tm when = at(2024, 3, 5, 9, 7, 3);
    const std::string base = std::string("dir") + kPathSeparator + "20240305-090703";
    taken.clear();
    EXPECT_EQ(unique_timestamped_path("dir", when, is_taken), base);
    taken = {base, base + "-2"};
    EXPECT_EQ(unique_timestamped_path("dir", when, is_taken), base + "-3");
}

}  // namespace
