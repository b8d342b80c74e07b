// Giving a file a length with the added bytes written: a byte repeated or a
// repeatable pseudo-random stream. A fill that is stopped or fails is
// undone, so the file is left as it was.
#pragma once

#include <cstdint>
#include <string>

#include "size/failure.h"
#include "size/fill_stream.h"
#include "size/scan.h"
#include "size/set_length.h"

// The bytes written per chunk; the observer is asked before each one.
inline constexpr std::int64_t kFillChunkSize = std::int64_t{1} << 20;

// Gives the file at `path` the length `rule` gives its present one, as
// set_file_length does (options.confirmCut aside): the bytes below the old
// end never change, and a file this call created appears only once it has
// its length. The bytes added above the old end come from `fill`; for a
// written fill, `observer` is told the share done (0..100) before each
// chunk and may stop it. The file is this process's alone while it is
// filled (osd_open); a fill that another program comes to meanwhile stops
// (Lock, InUse). A stopped or failed written fill is undone: a created file
// never appears, an extended one is cut back to its old length while no
// other program has lengthened it (else `undoFailed`). A written fill the
// file system has no room for is refused before a byte is written (Space).
Change fill_to_length(const std::string& path, const LengthRule& rule, const SetLengthOptions& options,
                      const Fill& fill, ScanObserver& observer);
