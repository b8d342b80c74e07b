#include "size/output_size.h"

#include <cinttypes>
#include <cstdio>

namespace {

// Full-width forms an input method types, folded to ASCII; everything else
// is kept as it is, so "１２abc" still reads as 12.
std::string fold_full_width(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        if (b0 == 0xEF && i + 2 < text.size()) {
            const auto b1 = static_cast<unsigned char>(text[i + 1]);
            const auto b2 = static_cast<unsigned char>(text[i + 2]);
            // U+FF10..U+FF19 are EF BC 90..99; U+FF0B is EF BC 8B, U+FF0D EF BC 8D.
            if (b1 == 0xBC && b2 >= 0x90 && b2 <= 0x99) {
                out.push_back(static_cast<char>('0' + (b2 - 0x90)));
                i += 3;
                continue;
            }
            if (b1 == 0xBC && (b2 == 0x8B || b2 == 0x8D)) {
                out.push_back(b2 == 0x8B ? '+' : '-');
                i += 3;
                continue;
            }
        }
        // U+3000, the ideographic space: E3 80 80.
        if (b0 == 0xE3 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
            static_cast<unsigned char>(text[i + 2]) == 0x80) {
            out.push_back(' ');
            i += 3;
            continue;
        }
        out.push_back(text[i]);
        ++i;
    }
    return out;
}

bool fits_int64(WideInt value) { return value >= INT64_MIN && value <= INT64_MAX; }

}  // namespace

std::optional<WideInt> parse_unit_field(std::string_view raw) {
    const std::string text = fold_full_width(raw);
    std::size_t i = 0;
    // The blanks that the C library's isspace accepts in the "C" locale.
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    WideInt value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        if (__builtin_mul_overflow(value, 10, &value) ||
            __builtin_add_overflow(value, negative ? -digit : digit, &value))
            return std::nullopt;
    }
    return value;
}

std::optional<std::int64_t> compute_output_size(std::string_view gigabytes,
                                                std::string_view megabytes,
                                                std::string_view kilobytes,
                                                std::string_view bytes,
                                                bool unit1024) {
    const WideInt unit = unit1024 ? 1024 : 1000;
    // Every product and sum is checked: a wrapped total would make Execute
    // cut the file to a size nobody typed.
    const std::string_view fields[] = {gigabytes, megabytes, kilobytes, bytes};
    WideInt weight = unit * unit * unit;
    WideInt total = 0;
    for (std::string_view field : fields) {
        const auto count = parse_unit_field(field);
        WideInt term;
        if (!count || __builtin_mul_overflow(*count, weight, &term) || __builtin_add_overflow(total, term, &total))
            return std::nullopt;
        weight /= unit;
    }
    if (!fits_int64(total)) return std::nullopt;
    return static_cast<std::int64_t>(total);
}

std::string format_hex(std::int64_t value) {
    char text[20];
    std::snprintf(text, sizeof text, "%" PRIx64, static_cast<std::uint64_t>(value));
    return text;
}
