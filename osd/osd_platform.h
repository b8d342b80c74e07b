// What each platform's file layer provides to the parts shared by all
// (osd.cpp). Not for use outside osd/.
#pragma once

#include <cstdint>
#include <vector>

#include "osd/osd.h"

// The first byte of data in [from, limit), `limit` when there is none, -1
// when the file system cannot tell data from holes.
std::int64_t osd_platform_first_data(OsdFile& file, std::int64_t from, std::int64_t limit);

// Appends the data runs of [from, end), clipped to it. 0 on success, nonzero
// when the file system cannot tell.
int osd_platform_runs(OsdFile& file, std::int64_t from, std::int64_t end, std::vector<OsdRange>& runs);

// The file's length now, which may differ from the one taken at open; -1
// when unknown.
std::int64_t osd_platform_current_size(OsdFile& file);

// What the system says of the file system that holds `file`.
OsdGrowth osd_platform_growth(const OsdFile& file);

// The guards the system may use, as osd_set_guards last set them.
OsdGuards osd_guards();

// Gives a caller that asked the cause of a failed call; returns 1, the
// failure of calls that answer 0 or 1.
inline int osd_failed(OsdError* cause, OsdError why) {
    if (cause != nullptr) *cause = why;
    return 1;
}

// Reads until `count` bytes are in or the file ends: at the file pointer
// where `offset` is negative, else at `offset`. The bytes read, or -1 on
// failure.
std::int64_t osd_platform_read(OsdFile& file, void* buffer, std::int64_t count, std::int64_t offset,
                               OsdError* cause);
