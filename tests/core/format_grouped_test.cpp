#include <gtest/gtest.h>

#include <limits>

#include "util/format_grouped.h"

TEST(FormatGrouped, PositiveValues) {
    EXPECT_EQ(format_grouped(0), "0");
    EXPECT_EQ(format_grouped(7), "7");
    EXPECT_EQ(format_grouped(999), "999");
    EXPECT_EQ(format_grouped(1000), "1,000");
    EXPECT_EQ(format_grouped(123456), "123,456");
    EXPECT_EQ(format_grouped(1234567), "1,234,567");
    EXPECT_EQ(format_grouped(3000000000), "3,000,000,000");
    EXPECT_EQ(format_grouped(std::numeric_limits<std::int64_t>::max()), "9,223,372,036,854,775,807");
}

TEST(FormatGrouped, SignStandsOutsideTheGroups) {
    EXPECT_EQ(format_grouped(-1), "-1");
    EXPECT_EQ(format_grouped(-100), "-100");
    EXPECT_EQ(format_grouped(-1000), "-1,000");
    EXPECT_EQ(format_grouped(-123456), "-123,456");
    EXPECT_EQ(format_grouped(-1294967296), "-1,294,967,296");
    EXPECT_EQ(format_grouped(std::numeric_limits<std::int64_t>::min()), "-9,223,372,036,854,775,808");
}
