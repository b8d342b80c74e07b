#pragma once

#include <cstdint>
#include <string>

// Decimal digits with a comma after every third from the right: 1,234,567.
// The minus sign stands outside the groups: -1,000, -100.
std::string format_grouped(std::int64_t value);

// A byte count for people, in powers of 1024 with one decimal, rounded to
// the nearest tenth: "512 bytes", "31.2 GiB", "8.0 EiB".
std::string format_binary_size(std::int64_t bytes);
