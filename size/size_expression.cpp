#include "size/size_expression.h"

#include <cctype>
#include <limits>

#include "util/wide_int.h"

namespace {

using Status = ParsedSizeExpression::Status;

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

// The unit letters in order of their power: K is 1024^1 (or 1000^1), Y is
// 1024^8.
constexpr std::string_view kUnitLetters = "kmgtpezy";

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

struct UnitFactor {
    bool valid = false;
    // min(base^power, kMax + 1): anything larger only matters as "too large".
    WideInt factor = 1;
};

// "" is 1; then a letter alone or with "iB" (1024^n), or with "B" (1000^n).
UnitFactor unit_factor(std::string_view suffix) {
    if (suffix.empty()) return {true, 1};
    const std::size_t letter = kUnitLetters.find(lower(suffix.front()));
    if (letter == std::string_view::npos) return {};
    const std::string_view rest = suffix.substr(1);
    int base = 1024;
    if (rest.size() == 1 && lower(rest[0]) == 'b') {
        base = 1000;
    } else if (!(rest.empty() || (rest.size() == 2 && lower(rest[0]) == 'i' && lower(rest[1]) == 'b'))) {
        return {};
    }
    WideInt factor = 1;
    for (std::size_t power = 0; power <= letter; ++power) {
        factor *= base;
        if (factor > kMax) return {true, WideInt{kMax} + 1};
    }
    return {true, factor};
}

ParsedSizeExpression fault(Status status) { return {status, {}}; }

}  // namespace

ParsedSizeExpression read_size_expression(std::string_view text, bool allowRelative) {
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);

    SizeExpression sizeRule;
    bool signedNumber = false;
    if (allowRelative && !text.empty()) {
        switch (text.front()) {
            case '+': sizeRule.op = SizeOp::Grow; break;
            case '-': sizeRule.op = SizeOp::Shrink; break;
            case '<': sizeRule.op = SizeOp::AtMost; break;
            case '>': sizeRule.op = SizeOp::AtLeast; break;
            case '%': sizeRule.op = SizeOp::RoundUp; break;
            case '/': sizeRule.op = SizeOp::RoundDown; break;
            default: break;
        }
        if (sizeRule.op != SizeOp::Set) {
            signedNumber = sizeRule.op == SizeOp::Grow || sizeRule.op == SizeOp::Shrink;
            text.remove_prefix(1);
            if (!signedNumber)
                while (!text.empty() && blank(text.front())) text.remove_prefix(1);
        }
    }

    std::size_t digits = 0;
    WideInt count = 0;
    bool tooLarge = false;
    for (; digits < text.size() && text[digits] >= '0' && text[digits] <= '9'; ++digits) {
        count = count * 10 + (text[digits] - '0');
        if (count > kMax) {
            tooLarge = true;
            count = WideInt{kMax} + 1;  // keeps the product within 128 bits
        }
    }
    const std::string_view suffix = text.substr(digits);
    if (digits == 0 && (suffix.empty() || signedNumber)) return fault(Status::Invalid);
    const UnitFactor unit = unit_factor(suffix);
    if (!unit.valid) return fault(Status::Invalid);
    if (digits == 0) count = 1;

    const WideInt value = count * unit.factor;
    if (tooLarge || value > kMax) return fault(Status::TooLarge);
    sizeRule.value = static_cast<std::int64_t>(value);
    if ((sizeRule.op == SizeOp::RoundUp || sizeRule.op == SizeOp::RoundDown) && sizeRule.value == 0)
        return fault(Status::ZeroMultiple);
    return {Status::Ok, sizeRule};
}

AppliedSize apply_size_expression(const SizeExpression& sizeRule, std::int64_t current) {
    const WideInt now = current;
    const WideInt value = sizeRule.value;
    WideInt length = 0;
    switch (sizeRule.op) {
        case SizeOp::Set: length = value; break;
        case SizeOp::Grow: length = now + value; break;
        case SizeOp::Shrink: length = now - value; break;
        case SizeOp::AtMost: length = now < value ? now : value; break;
        case SizeOp::AtLeast: length = now > value ? now : value; break;
        case SizeOp::RoundUp: length = (now + value - 1) / value * value; break;
        case SizeOp::RoundDown: length = now / value * value; break;
    }
    if (length < 0) return {0, failed_at(Failure::Step::SizeBelowZero)};
    if (length > kMax) return {0, failed_at(Failure::Step::SizeTooLarge)};
    return {static_cast<std::int64_t>(length), std::nullopt};
}
