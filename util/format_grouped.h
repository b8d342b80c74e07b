#pragma once

#include <cstdint>
#include <string>

// Decimal digits with a comma after every third from the right: 1,234,567.
// The minus sign stands outside the groups: -1,000, -100.
std::string format_grouped(std::int64_t value);
