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

}  // namespace

std::string localized_caption(std::string_view name, const char* layoutCaption) {
    if (UiLanguage == Language::English) {
        for (const EnglishCaption& english : kEnglish)
            if (english.name == name) return english.caption;
    }
    return layoutCaption;
}
