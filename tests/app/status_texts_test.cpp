#include <gtest/gtest.h>

#include "app/captions.h"
#include "app/layout.h"
#include "app/status_texts.h"

namespace {

TEST(UiLanguage, JapaneseForJaAndEnglishForEveryOther) {
    for (const char* name : {"ja", "ja_JP", "ja-JP", "ja_JP.UTF-8"}) EXPECT_EQ(language_for(name), Language::Japanese);
    for (const char* name : {"en_US", "C", "", "de", "jv", "zh_CN"}) EXPECT_EQ(language_for(name), Language::English);
}

// Each text in both languages, causes and grouped numbers included.
TEST(UiLanguage, EveryTextHasBothForms) {
    struct Case {
        std::string (*text)();
        const char* japanese;
        const char* english;
    };
    const Case cases[] = {
        {[] { return status_text::with_cause(status_text::cannot_create("x.bin"), OsdError::AccessDenied); },
         "x.bin を作成できません（アクセスが拒否されました）", "Cannot create x.bin (permission denied)"},
        {[] { return status_text::with_cause(status_text::cannot_set_end(), OsdError::NoSpace); },
         "EOFをセットできません（ディスクに空きがありません）", "Cannot set the end of the file (no space left)"},
        {[] { return status_text::confirm_cut("a.bin", 123456, 0); },
         "a.bin を 123,456 バイトから 0 バイトに切り詰めます。123,456 バイトは元に戻せません。よろしいですか？",
         "Cut a.bin from 123,456 bytes to 0 bytes? The 123,456 bytes cut off cannot be restored."},
        {[] { return status_text::read_error(0x200000); }, "リードエラー 0x200000", "Read error at 0x200000"},
        {status_text::scan_cancelled, "検索を中止しました", "Scan cancelled"},
        {[] { return status_text::failure(failed_at(Failure::Step::Lock, OsdError::Locked), "x.bin"); },
         "x.bin を開けません（ほかのプログラムがロックしています）", "Cannot open x.bin (locked by another program)"},
    };
    for (const Case& c : cases) {
        UiLanguage = Language::Japanese;
        EXPECT_EQ(c.text(), c.japanese);
        UiLanguage = Language::English;
        EXPECT_EQ(c.text(), c.english);
    }
    UiLanguage = Language::Japanese;
}

// Each cause the system names, from its own code, in both languages.
TEST(UiLanguage, SystemErrorsNameTheirCause) {
    struct Case {
        long posix, windows;  // errno, GetLastError
        const char* japanese;
        const char* english;
    };
    const Case cases[] = {
        {5 /* EIO */, 23 /* ERROR_CRC */, "入出力エラーです", "input/output error"},
        {2 /* ENOENT */, 2 /* ERROR_FILE_NOT_FOUND */, "見つかりません", "not found"},
        {11 /* EAGAIN */, 32 /* ERROR_SHARING_VIOLATION */, "ほかのプログラムが使用中です", "in use by another program"},
        {28 /* ENOSPC */, 112 /* ERROR_DISK_FULL */, "ディスクに空きがありません", "no space left"},
    };
    for (const Case& c : cases) {
#ifdef _WIN32
        const OsdError cause = osd_error_from_system(c.windows);
#else
        const OsdError cause = osd_error_from_system(c.posix);
#endif
        UiLanguage = Language::Japanese;
        EXPECT_EQ(status_text::with_cause(status_text::read_error(0x700004), cause),
                  std::string("リードエラー 0x700004（") + c.japanese + "）");
        UiLanguage = Language::English;
        EXPECT_EQ(status_text::with_cause(status_text::read_error(0x700004), cause),
                  std::string("Read error at 0x700004 (") + c.english + ")");
    }
    UiLanguage = Language::Japanese;
}

// Every caption with words has an English form; numbers and units keep theirs.
TEST(UiLanguage, CaptionsInBothLanguages) {
    UiLanguage = Language::English;
    for (const LayoutRow& row : control_layout()) {
        const std::string caption = localized_caption(row.name, row.caption);
        for (const unsigned char byte : caption) EXPECT_LT(byte, 0x80) << row.name << ": " << caption;
    }
    EXPECT_EQ(localized_caption("E1", form_layout().executeCaption), "&Execute");
    UiLanguage = Language::Japanese;
    EXPECT_EQ(localized_caption("E1", form_layout().executeCaption), "実行(&E)");
    EXPECT_EQ(localized_caption("Button1", "末尾ゼロ検索"), "末尾ゼロ検索");
}

}  // namespace
