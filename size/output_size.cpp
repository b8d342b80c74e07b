#include "size/output_size.h"

#include <cinttypes>
#include <cstdio>
#include <string>

#include "app/view.h"
#include "util/format_grouped.h"

std::optional<std::int64_t> OutputSize = 0;

std::optional<std::int64_t> parse_unit_field(std::string_view text) {
    std::size_t i = 0;
    // The blanks that the C library's isspace accepts in the "C" locale.
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate towards the sign so that the most negative value still fits.
    std::int64_t value = 0;
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
    const std::int64_t unit = unit1024 ? 1024 : 1000;
    std::int64_t total = 0;
    // Every product and sum is checked: a wrapped total would make Execute
    // cut the file to a size nobody typed.
    const std::string_view fields[] = {gigabytes, megabytes, kilobytes, bytes};
    std::int64_t weight = unit * unit * unit;
    for (std::string_view field : fields) {
        const auto count = parse_unit_field(field);
        std::int64_t term;
        if (!count || __builtin_mul_overflow(*count, weight, &term) ||
            __builtin_add_overflow(total, term, &total))
            return std::nullopt;
        weight /= unit;
    }
    return total;
}

std::string format_hex(std::int64_t value) {
    char text[20];
    std::snprintf(text, sizeof text, "%" PRIx64, static_cast<std::uint64_t>(value));
    return text;
}

void UpdateOutputSize(View& form) {
    OutputSize = compute_output_size(form.editText(EditId::Edit5), form.editText(EditId::Edit6),
                                     form.editText(EditId::Edit7), form.editText(EditId::Edit8),
                                     form.isCheckBox1Checked());
    if (OutputSize) {
        form.setLabelCaption(LabelId::Label4, format_grouped(*OutputSize));
        form.setLabelCaption(LabelId::Label5, format_hex(*OutputSize));
    } else {
        form.setLabelCaption(LabelId::Label4, "範囲外");
        form.setLabelCaption(LabelId::Label5, "範囲外");
    }
}
