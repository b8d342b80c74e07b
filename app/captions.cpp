#include "app/captions.h"

#include "app/status_texts.h"

namespace {

struct EnglishCaption {
    std::string_view name;
    const char* caption;
};

// Short, plain words: each fits the box its Japanese caption was drawn in.
constexpr EnglishCaption kEnglish[] = {
    {"Button3", "New file name"}, {"Label3", "Current size"}, {"Label2", "Output size"},
    {"TabSheet1", "By size"},     {"CheckBox1", "1024 per unit"}, {"TabSheet2", "Trim zeros"},
    {"Button1", "Find zeros"},    {"E1", "&Execute"},
};

struct AccessibleName {
    std::string_view name;
    const char* japanese;
    const char* english;
};

constexpr AccessibleName kAccessible[] = {
    {"Edit1", "ファイル名", "File name"},
    {"Label1", "現在のサイズ（バイト）", "Current size (bytes)"},
    {"Label4", "出力サイズ（バイト）", "Output size (bytes)"},
    {"Label5", "出力サイズ（16進数）", "Output size (hexadecimal)"},
    {"Edit5", "GB", "GB"},
    {"Edit6", "MB", "MB"},
    {"Edit7", "KB", "KB"},
    {"Edit8", "バイト", "Bytes"},
    {"ProgressBar1", "検索の進み具合", "Scan progress"},
    {"Label9", "末尾のパディングのバイト数", "Trailing padding bytes"},
    {"ComboBox1", "パディングのバイト", "Padding byte"},
};

}  // namespace

std::string accessible_name(std::string_view name) {
    for (const AccessibleName& row : kAccessible)
        if (row.name == name) return UiLanguage == Language::Japanese ? row.japanese : row.english;
    return {};
}

std::string localized_caption(std::string_view name, const char* layoutCaption) {
    if (UiLanguage == Language::English) {
        for (const EnglishCaption& english : kEnglish)
            if (english.name == name) return english.caption;
    }
    return layoutCaption;
}

std::vector<std::string> pad_choice_items() {
    return {"0x00", "0xFF", UiLanguage == Language::Japanese ? "自動" : "Auto"};
}
