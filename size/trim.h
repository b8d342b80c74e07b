// Trimming the padding off the end of a file: which byte is padding, and
// how far the cut may go when the new length must keep an alignment.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "size/failure.h"
#include "size/scan.h"

// The padding: fixed bytes (one, or two for layered padding), or the file's
// own last byte when that is 0x00 or 0xFF (flash and firmware images pad
// with 0xFF, dumps with zeros).
struct PadChoice {
    bool automatic = false;
    PadBytes bytes;
};

struct PaddingScan {
    ScanResult scan;
    // The byte counted; empty when an automatic choice found none (an empty
    // file, or one whose last byte is neither 0x00 nor 0xFF).
    std::optional<PadBytes> pad;
    // The file as the scan began: a cut of what it found applies to this
    // file in this state only (cut_measured).
    OsdFileState measured;
};

// Counts the padding at the end of the file open in `file`, taking its
// state first; the length scanned is the one in that state.
PaddingScan scan_padding(OsdFile& file, PadChoice choice, ScanObserver& observer);

// The same on the file at `path`, opened read-only for the scan.
PaddingScan scan_padding(const std::string& path, PadChoice choice, ScanObserver& observer);

// Cuts the file open for writing in `file` to `newLength`, which a scan of
// that file found to leave only `pad` bytes above it. Refused (Changed) when
// the handle's file is no longer in the `measured` state, or `path` names
// another file now; refused (Lock, InUse) when another program opened it
// against the handle's lease. Where time stamps could have missed a write
// made after the state was taken (see OsdFileState), and no lease has kept
// other programs out since, the bytes above `newLength` are tested once
// more on this handle first (holes cost nothing; `observer` may stop it:
// Stopped), and the state compared again after. The length is read back
// after the cut, and then the lease given back. nullopt when cut.
std::optional<Failure> cut_measured(OsdFile& file, const std::string& path, const OsdFileState& measured, std::int64_t newLength,
                         PadBytes pad, ScanObserver& observer);

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
