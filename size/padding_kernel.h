// The scan's inner loop: where the padding at the end of a buffer begins.
#pragma once

#include <cstdint>

// The bytes that count as padding: one byte, or a set of two, for images
// that end in two layers (0xFF padding, then zeros).
struct PadBytes {
    std::uint8_t first = 0;
    std::uint8_t second = 0;  // the same as `first` for one byte

    constexpr PadBytes() = default;
    constexpr PadBytes(std::uint8_t byte) : first(byte), second(byte) {}  // NOLINT: one byte is a set
    constexpr PadBytes(std::uint8_t a, std::uint8_t b) : first(a < b ? a : b), second(a < b ? b : a) {}

    constexpr bool includes(std::uint8_t byte) const { return byte == first || byte == second; }
    constexpr bool single() const { return first == second; }
    friend constexpr bool operator==(const PadBytes&, const PadBytes&) = default;
};

// Index of the last byte in [0, count) that is not padding, or -1 when every
// byte is. Uses the widest vectors the processor has; a set of two bytes
// costs the same as one.
std::int64_t last_non_pad(const unsigned char* bytes, std::int64_t count, PadBytes pad);

// The same with a chosen kernel, so tests can check each one on a machine
// that has both. Avx2 falls back to Baseline where the processor lacks it.
enum class PadKernel { Baseline, Avx2 };
std::int64_t last_non_pad_with(PadKernel kernel, const unsigned char* bytes, std::int64_t count, PadBytes pad);
bool pad_kernel_available(PadKernel kernel);
