// Trimming the padding off the end of a file: which byte is padding, and
// how far the cut may go when the new length must keep an alignment.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "size/scan.h"

// The padding byte: a fixed one, or the file's own last byte when that is
// 0x00 or 0xFF (flash and firmware images pad with 0xFF, dumps with zeros).
struct PadChoice {
    bool automatic = false;
    std::uint8_t byte = 0;
};

struct PaddingScan {
    ScanResult scan;
    // The byte counted; empty when an automatic choice found none (an empty
    // file, or one whose last byte is neither 0x00 nor 0xFF).
    std::optional<std::uint8_t> pad;
};

// Counts the padding at the end of the file at `path` (see scan_file).
PaddingScan scan_padding(const std::string& path, PadChoice choice, ScanObserver& observer);

struct TrimAlignment {
    enum class Kind { None, Multiple, PowerOfTwo };
    Kind kind = Kind::None;
    std::int64_t multiple = 1;  // for Multiple; positive
};

// The length a trim gives a file of `size` bytes whose data ends at
// `dataEnd`: `dataEnd` rounded up to the alignment, but never past `size`
// (then the file keeps its length), so only padding is ever cut. Nothing to
// align stays nothing: an all-padding file trims to 0 under any alignment.
std::int64_t trimmed_length(std::int64_t size, std::int64_t dataEnd, const TrimAlignment& alignment);
