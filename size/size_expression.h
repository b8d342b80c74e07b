// Sizes as typed on a command line: "4096", "10G", "1.5" refused, and for
// a length relative to a file's own, "+1MiB", "-512", "<1G", "%4K", "/1M".
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "size/failure.h"

enum class SizeOp {
    Set,        // exactly the value
    Grow,       // +: longer by the value
    Shrink,     // -: shorter by the value
    AtMost,     // <: cut to the value when longer
    AtLeast,    // >: extended to the value when shorter
    RoundUp,    // %: up to a multiple of the value
    RoundDown,  // /: down to a multiple of the value
};

struct SizeExpression {
    SizeOp op = SizeOp::Set;
    std::int64_t value = 0;
};

struct ParsedSizeExpression {
    enum class Status {
        Ok,
        Invalid,       // not a size at all
        TooLarge,      // a size, but beyond signed 64 bits
        ZeroMultiple,  // % or / of 0
    };
    Status status = Status::Invalid;
    SizeExpression size;

    bool ok() const { return status == Status::Ok; }
};

// Blanks, then a decimal byte count with an optional unit: K M G T P E Z Y,
// and KiB … YiB, are powers of 1024; KB … YB are powers of 1000. Units are
// read without regard to case. A unit alone counts one of it ("K" is 1024).
// With `allowRelative`, one leading + - < > % / sets the operation; blanks
// may follow < > % /, while + and - are the number's sign, as in "+1K", and
// need digits.
ParsedSizeExpression read_size_expression(std::string_view text, bool allowRelative);

// read_size_expression's size, or nullopt for any fault.
inline std::optional<SizeExpression> parse_size_expression(std::string_view text, bool allowRelative) {
    const ParsedSizeExpression parsed = read_size_expression(text, allowRelative);
    if (!parsed.ok()) return std::nullopt;
    return parsed.size;
}

// Only the positive byte count (with its unit), as options like an
// alignment take it.
inline std::optional<std::int64_t> parse_byte_count(std::string_view text) {
    const std::optional<SizeExpression> sizeRule = parse_size_expression(text, false);
    if (!sizeRule) return std::nullopt;
    return sizeRule->value;
}

// A length for a file, or why there is none: SizeBelowZero, SizeTooLarge.
struct AppliedSize {
    std::int64_t length = 0;
    std::optional<Failure> failure;

    bool ok() const { return !failure; }
};

// The length `sizeRule` gives to a file of `current` bytes.
AppliedSize apply_size_expression(const SizeExpression& sizeRule, std::int64_t current);
