// Sizes as typed on a command line: "4096", "10G", "1.5" refused, and for
// a length relative to a file's own, "+1MiB", "-512", "%4K", "/1M".
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

enum class SizeOp {
    Set,        // exactly the value
    Grow,       // +: longer by the value
    Shrink,     // -: shorter by the value
    RoundUp,    // %: up to a multiple of the value
    RoundDown,  // /: down to a multiple of the value
};

struct SizeSpec {
    SizeOp op = SizeOp::Set;
    std::int64_t value = 0;
};

// A decimal byte count with an optional unit: K M G T P, and KiB MiB GiB TiB
// PiB, are powers of 1024; KB MB GB TB PB are powers of 1000. Units are read
// without regard to case. With `allowRelative`, one leading + - % / sets the
// operation. nullopt for anything else, for a value beyond signed 64 bits,
// and for rounding to a multiple of 0.
std::optional<SizeSpec> parse_size_spec(std::string_view text, bool allowRelative);

// Only the positive byte count (with its unit), as options like an
// alignment take it.
inline std::optional<std::int64_t> parse_byte_count(std::string_view text) {
    const std::optional<SizeSpec> sizeRule = parse_size_spec(text, false);
    if (!sizeRule) return std::nullopt;
    return sizeRule->value;
}

struct AppliedSize {
    enum class Status { Ok, BelowZero, TooLarge };
    Status status = Status::Ok;
    std::int64_t length = 0;

    bool ok() const { return status == Status::Ok; }
};

// The length `sizeRule` gives to a file of `current` bytes.
AppliedSize apply_size_spec(const SizeSpec& sizeRule, std::int64_t current);
