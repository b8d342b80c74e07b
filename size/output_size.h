#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

class View;

// The byte count Execute gives the file; written by the calculator and the
// scan. nullopt when the calculator's total does not fit in 64 bits.
extern std::optional<std::int64_t> OutputSize;

// Reads a unit field like atoi (leading blanks, one sign, digits up to the
// first non-digit, none giving 0) but in 64 bits; nullopt when it overflows.
std::optional<std::int64_t> parse_unit_field(std::string_view text);

// gigabytes·unit³ + megabytes·unit² + kilobytes·unit + bytes; nullopt when a
// field or the total does not fit in signed 64 bits.
std::optional<std::int64_t> compute_output_size(std::string_view gigabytes,
                                                std::string_view megabytes,
                                                std::string_view kilobytes,
                                                std::string_view bytes,
                                                bool unit1024);

// Lower-case hexadecimal, no prefix; negative values as 16-digit two's complement.
std::string format_hex(std::int64_t value);

// Recomputes OutputSize from Edit5..Edit8 and CheckBox1 and shows it in
// Label4 (grouped decimal) and Label5 (hexadecimal).
void UpdateOutputSize(View& form);
