// The scan's inner loop: where the padding at the end of a buffer begins.
#pragma once

#include <cstdint>

// Index of the last byte in [0, count) that differs from `pad`, or -1 when
// every byte equals it.
std::int64_t last_non_pad(const unsigned char* bytes, std::int64_t count, std::uint8_t pad);
