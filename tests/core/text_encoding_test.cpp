#include <gtest/gtest.h>

#include "util/text_encoding.h"

namespace {

TEST(TextEncoding, PathsRoundTripEvenWhenNotValidUtf16) {
    const std::u16string names[] = {
        u"plain.bin",
        u"日本語のファイル.bin",
        u"emoji \U0001F4BE.img",
        std::u16string(u"lone \xD800 high"),
        std::u16string(u"lone \xDC00 low"),
        std::u16string(u"swapped \xDC00\xD800 pair"),
        std::u16string(u"\xDBFF"),
    };
    for (const std::u16string& name : names) {
        const std::string utf8 = path_from_utf16(name);
        EXPECT_EQ(path_to_utf16(utf8), name) << utf8;
    }
    // A surrogate pair becomes one four-byte character, never two halves.
    EXPECT_EQ(path_from_utf16(u"\U0001F4BE"), "\xF0\x9F\x92\xBE");
}

TEST(TextEncoding, PathsRefuseOtherInvalidUtf8) {
    for (const char* bad : {"\xFF", "a\x80", "\xC0\xAF", "\xE3\x81", "\xF4\x90\x80\x80", "\x82\xA0\x82\xA2.bin"}) {
        EXPECT_EQ(path_to_utf16(bad), std::nullopt) << bad;
    }
    EXPECT_EQ(path_to_utf16(""), std::u16string());
}

TEST(TextEncoding, TextsReplaceWhatTheyCannotCarry) {
    EXPECT_EQ(text_to_utf16("ok \xFF!"), u"ok \uFFFD!");
    EXPECT_EQ(text_to_utf16("\xE3\x81"), u"\uFFFD\uFFFD");
    EXPECT_EQ(text_from_utf16(std::u16string(u"a\xD800z")), "a\xEF\xBF\xBDz");
    EXPECT_EQ(text_from_utf16(u"テスト"), "テスト");
}

// A Shift_JIS name from an old archive: shown readably, never as raw bytes.
TEST(TextEncoding, DisplayFormOfBytesThatAreNotUtf8) {
    const std::string shiftJis = "\x83\x65\x83\x58\x83\x67.bin";  // テスト.bin in Shift_JIS
    EXPECT_FALSE(is_valid_utf8(shiftJis));
    const std::string shown = display_form(shiftJis);
    EXPECT_TRUE(is_valid_utf8(shown));
    EXPECT_NE(shown.find(".bin"), std::string::npos);
    EXPECT_EQ(display_form("テスト.bin"), "テスト.bin");
    EXPECT_TRUE(is_valid_utf8("テスト"));
    EXPECT_FALSE(is_valid_utf8("\xED\xA0\x80"));  // a surrogate is not UTF-8
}

}  // namespace
