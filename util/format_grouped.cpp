#include "util/format_grouped.h"

#include <charconv>

std::string format_grouped(std::int64_t value) {
    char digits[24];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    (void)ec;  // 20 characters always fit
    std::string_view text(digits, static_cast<std::size_t>(end - digits));

    std::string out;
    if (!text.empty() && text.front() == '-') {
        out.push_back('-');
        text.remove_prefix(1);
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i > 0 && (text.size() - i) % 3 == 0) out.push_back(',');
        out.push_back(text[i]);
    }
    return out;
}
