#include "size/size_spec.h"

#include <array>
#include <cctype>
#include <limits>
#include <string>

#include "util/wide_int.h"

namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

struct Unit {
    std::string_view name;
    std::int64_t base;
    int power;
};

constexpr std::array<Unit, 15> kUnits{{
    {"k", 1024, 1}, {"m", 1024, 2}, {"g", 1024, 3}, {"t", 1024, 4}, {"p", 1024, 5},
    {"kib", 1024, 1}, {"mib", 1024, 2}, {"gib", 1024, 3}, {"tib", 1024, 4}, {"pib", 1024, 5},
    {"kb", 1000, 1}, {"mb", 1000, 2}, {"gb", 1000, 3}, {"tb", 1000, 4}, {"pb", 1000, 5},
}};

std::optional<std::int64_t> unit_factor(std::string_view suffix) {
    if (suffix.empty()) return 1;
    std::string lower;
    for (const char c : suffix) lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    for (const Unit& unit : kUnits) {
        if (unit.name != lower) continue;
        std::int64_t factor = 1;
        for (int i = 0; i < unit.power; ++i) factor *= unit.base;
        return factor;
    }
    return std::nullopt;
}

}  // namespace

std::optional<SizeSpec> parse_size_spec(std::string_view text, bool allowRelative) {
    SizeSpec sizeRule;
    if (allowRelative && !text.empty()) {
        switch (text.front()) {
            case '+': sizeRule.op = SizeOp::Grow; break;
            case '-': sizeRule.op = SizeOp::Shrink; break;
            case '%': sizeRule.op = SizeOp::RoundUp; break;
            case '/': sizeRule.op = SizeOp::RoundDown; break;
            default: break;
        }
        if (sizeRule.op != SizeOp::Set) text.remove_prefix(1);
    }

    std::size_t digits = 0;
    WideInt count = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
        count = count * 10 + (text[digits] - '0');
        if (count > kMax) return std::nullopt;
        ++digits;
    }
    if (digits == 0) return std::nullopt;

    const std::optional<std::int64_t> factor = unit_factor(text.substr(digits));
    if (!factor) return std::nullopt;
    const WideInt value = count * *factor;
    if (value > kMax) return std::nullopt;
    sizeRule.value = static_cast<std::int64_t>(value);
    if ((sizeRule.op == SizeOp::RoundUp || sizeRule.op == SizeOp::RoundDown) && sizeRule.value == 0) return std::nullopt;
    return sizeRule;
}

AppliedSize apply_size_spec(const SizeSpec& sizeRule, std::int64_t current) {
    using Status = AppliedSize::Status;
    const WideInt now = current;
    const WideInt value = sizeRule.value;
    WideInt length = 0;
    switch (sizeRule.op) {
        case SizeOp::Set: length = value; break;
        case SizeOp::Grow: length = now + value; break;
        case SizeOp::Shrink: length = now - value; break;
        case SizeOp::RoundUp: length = (now + value - 1) / value * value; break;
        case SizeOp::RoundDown: length = now / value * value; break;
    }
    if (length < 0) return {Status::BelowZero, 0};
    if (length > kMax) return {Status::TooLarge, 0};
    return {Status::Ok, static_cast<std::int64_t>(length)};
}
