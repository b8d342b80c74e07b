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

std::string format_binary_size(std::int64_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    static const char* const units[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    int unit = 0;
    std::uint64_t whole = static_cast<std::uint64_t>(bytes);
    while (whole >= std::uint64_t{1024} * 1024 && unit < 5) {
        whole /= 1024;
        ++unit;
    }
    // `whole` is now in units of the one below: tenths by integer steps.
    const std::uint64_t tenths = (whole * 10 + 512) / 1024;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " " + units[unit];
}
