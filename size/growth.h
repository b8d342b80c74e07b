// Growing a file with zero bytes. Where the file system keeps holes that
// takes no time; where it writes every zero (FAT, exFAT: the USB sticks and
// SD cards people fill to test them) it takes as long as writing the bytes,
// so it is refused up front when it cannot end well and otherwise made in
// steps, with progress and a way to stop.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "osd/osd.h"
#include "size/failure.h"
#include "size/scan.h"

// The bytes added per step where the file system writes them: a few tenths
// of a second on a slow card, so that progress moves and a stop is heard.
inline constexpr std::int64_t kGrowthStep = std::int64_t{8} << 20;

// Grows `file`, `from` bytes long, to `to` bytes of which the added ones
// read as zero. Whether the file system writes the zeros is asked of its
// type (osd_growth), or where that does not tell, of the allocation after
// a first step. Where it writes them: refused before anything is written
// (Space, or SetEnd with TooLarge) when the free space or the largest file
// it takes cannot hold the growth; made in steps of kGrowthStep, `observer`
// told the bytes done before each and free to stop it (Stopped). A growth
// that is stopped or fails is undone: the file is cut back to `from`, while
// its length is still one this growth gave it.
std::optional<Failure> grow_file(OsdFile& file, std::int64_t from, std::int64_t to, ScanObserver& observer);

// For tests of long growth: runs on the growing thread before each step.
void set_growth_step_seam(std::function<void()> seam);
