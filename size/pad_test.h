// The scan's inner loop: where the padding at the end of a buffer begins.
#pragma once

#include <cstdint>

// Index of the last byte in [0, count) that differs from `pad`, or -1 when
// every byte equals it. Uses the widest vectors the processor has.
std::int64_t last_non_pad(const unsigned char* bytes, std::int64_t count, std::uint8_t pad);

// The same with a chosen kernel, so tests can check each one on a machine
// that has both. Avx2 falls back to Baseline where the processor lacks it.
enum class PadKernel { Baseline, Avx2 };
std::int64_t last_non_pad_with(PadKernel kernel, const unsigned char* bytes, std::int64_t count, std::uint8_t pad);
bool pad_kernel_available(PadKernel kernel);
