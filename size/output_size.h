// The output-size arithmetic of the calculator page: unit fields to bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "util/wide_int.h"

// Reads a unit field like atoi (leading blanks, one sign, digits up to the
// first non-digit, none giving 0) but without wrapping; nullopt when the
// value is beyond any size. Full-width digits, signs and spaces, as a
// Japanese input method types them, count as their ASCII forms.
std::optional<WideInt> parse_unit_field(std::string_view text);

// gigabytes·unit³ + megabytes·unit² + kilobytes·unit + bytes, computed wide
// enough that terms may cancel; nullopt when the total does not fit in
// signed 64 bits.
std::optional<std::int64_t> compute_output_size(std::string_view gigabytes,
                                                std::string_view megabytes,
                                                std::string_view kilobytes,
                                                std::string_view bytes,
                                                bool unit1024);

// Lower-case hexadecimal, no prefix; negative values as 16-digit two's complement.
std::string format_hex(std::int64_t value);
