#include <gtest/gtest.h>

#include "app/form.h"
#include "app/handlers.h"
#include "tests/app/fake_view.h"
#include "size/output_size.h"

namespace {

struct Fields {
    const char* gigabytes;
    const char* megabytes;
    const char* kilobytes;
    const char* bytes;
    bool unit1024;
    const char* grouped;
    const char* hex;
};

class OutputSizeTest : public testing::Test {
protected:
    void SetUp() override { OutputSize = 0; }
    FakeView view;

    void type(const Fields& f) {
        view.edits[EditId::Edit5] = f.gigabytes;
        view.edits[EditId::Edit6] = f.megabytes;
        view.edits[EditId::Edit7] = f.kilobytes;
        view.edits[EditId::Edit8] = f.bytes;
        view.checkBox1 = f.unit1024;
        UpdateOutputSize(view);
    }
    void expectShown(const Fields& f) {
        type(f);
        EXPECT_EQ(view.labels[LabelId::Label4], f.grouped);
        EXPECT_EQ(view.labels[LabelId::Label5], f.hex);
    }
};

TEST_F(OutputSizeTest, ShowsDecimalAndHex) {
    const Fields cases[] = {
        {"", "", "", "", false, "0", "0"},
        {"1", "", "", "", false, "1,000,000,000", "3b9aca00"},
        {"1", "", "", "", true, "1,073,741,824", "40000000"},
        {"4", "500", "", "12", true, "4,819,255,308", "11f40000c"},
        {"3000", "", "", "", true, "3,221,225,472,000", "2ee00000000"},
        {"", "", "", "-1", false, "-1", "ffffffffffffffff"},
        {"", "", "", "12abc", false, "12", "c"},
        {"", "", "", " \t 42", false, "42", "2a"},
        {"", "", "", "+7", false, "7", "7"},
        {"", "", "", "abc", false, "0", "0"},
        {"", "", "", "3000000000", false, "3,000,000,000", "b2d05e00"},
        {"", "1", "1", "1", false, "1,001,001", "f4629"},
        {"", "", "", "9223372036854775807", false, "9,223,372,036,854,775,807", "7fffffffffffffff"},
    };
    for (const Fields& f : cases) {
        SCOPED_TRACE(std::string(f.gigabytes) + "|" + f.megabytes + "|" + f.kilobytes + "|" + f.bytes);
        type(f);
        EXPECT_EQ(view.labels[LabelId::Label4], f.grouped);
        EXPECT_EQ(view.labels[LabelId::Label5], f.hex);
        ASSERT_TRUE(OutputSize.has_value());
        EXPECT_EQ(format_hex(*OutputSize), f.hex);
    }
}

TEST_F(OutputSizeTest, OverflowIsOutOfRangeNotWrapped) {
    const Fields cases[] = {
        {"99999999999", "", "", "", false, "範囲外", "範囲外"},
        {"", "", "", "9223372036854775808", false, "範囲外", "範囲外"},
        {"", "", "", "-9223372036854775809", false, "範囲外", "範囲外"},
        {"9223372036", "", "", "854775808", false, "範囲外", "範囲外"},  // total one past the top
        {"8589934592", "", "", "", true, "範囲外", "範囲外"},             // 2^33 · 2^30 = 2^63
    };
    for (const Fields& f : cases) {
        SCOPED_TRACE(std::string(f.gigabytes) + "|" + f.bytes);
        OutputSize = 5;
        type(f);
        EXPECT_FALSE(OutputSize.has_value());
        EXPECT_EQ(view.labels[LabelId::Label4], "範囲外");
        EXPECT_EQ(view.labels[LabelId::Label5], "範囲外");
    }
    // The largest total that fits still counts.
    type({"9223372036", "", "", "854775807", false, "9,223,372,036,854,775,807", "7fffffffffffffff"});
    EXPECT_EQ(OutputSize, std::optional<std::int64_t>(INT64_MAX));
    type({"", "", "", "-9223372036854775808", false, "", ""});
    EXPECT_EQ(OutputSize, std::optional<std::int64_t>(INT64_MIN));
}

TEST_F(OutputSizeTest, CheckBoxSwitchesTheUnitAtOnce) {
    type({"", "2", "", "", false, "", ""});
    EXPECT_EQ(view.labels[LabelId::Label4], "2,000,000");
    view.checkBox1 = true;
    UpdateOutputSize(view);
    EXPECT_EQ(view.labels[LabelId::Label4], "2,097,152");
    EXPECT_EQ(OutputSize, std::optional<std::int64_t>(2097152));
}

TEST(ParseUnitField, ReadsLikeAtoiWithoutWrapping) {
    EXPECT_EQ(parse_unit_field(""), 0);
    EXPECT_EQ(parse_unit_field("  -"), 0);
    EXPECT_EQ(parse_unit_field("1 2"), 1);
    EXPECT_EQ(parse_unit_field("--1"), 0);
    EXPECT_EQ(parse_unit_field("\n-12x"), -12);
    EXPECT_EQ(parse_unit_field("00000000000000000000000000001"), 1);
    // Past 64 bits a field is still read exactly; only the total must fit.
    EXPECT_EQ(parse_unit_field("-9223372036854775809"), WideInt{INT64_MIN} - 1);
    EXPECT_EQ(parse_unit_field(std::string(60, '9')), std::nullopt);
}

// What a Japanese input method types in full-width mode.
TEST(ParseUnitField, FullWidthDigitsSignsAndSpacesReadAsAscii) {
    EXPECT_EQ(parse_unit_field("１２３"), 123);
    EXPECT_EQ(parse_unit_field("－５"), -5);
    EXPECT_EQ(parse_unit_field("＋７"), 7);
    EXPECT_EQ(parse_unit_field("　４２"), 42);
    EXPECT_EQ(parse_unit_field("１２abc"), 12);
    EXPECT_EQ(parse_unit_field("12ａ3"), 12);  // other full-width letters still end the number
}

TEST_F(OutputSizeTest, FullWidthHundredIsAHundredNotZero) {
    expectShown({"", "", "", "１００", false, "100", "64"});
    EXPECT_EQ(OutputSize, std::optional<std::int64_t>(100));
}

// Terms may pass 64 bits as long as the total comes back inside.
TEST_F(OutputSizeTest, TotalIsExactWheneverItFits) {
    expectShown({"9223372037", "", "", "-1000000000", false, "9,223,372,036,000,000,000", "7fffffffcd0d2800"});
    EXPECT_EQ(OutputSize, std::optional<std::int64_t>(9223372036000000000));
    expectShown({"", "", "", "99999999999999999999", false, "範囲外", "範囲外"});
    expectShown({"99999999999", "", "", "-99999999999000000000", false, "0", "0"});
}

}  // namespace
