// The parts of the file layer that are the same on every platform.
#include <atomic>
#include <cstdio>
#include <mutex>

#include "osd/osd.h"
#include "osd/osd_platform.h"

namespace {
std::atomic<OsdTraceSink> trace_sink{&osd_trace_to_stdout};
std::atomic<bool> leases_allowed{true};
std::atomic<bool> unnamed_files_allowed{true};
}  // namespace

void osd_set_guards(OsdGuards guards) {
    leases_allowed.store(guards.leases);
    unnamed_files_allowed.store(guards.unnamedFiles);
}

OsdGuards osd_guards() { return {leases_allowed.load(), unnamed_files_allowed.load()}; }

namespace {
std::mutex growth_answer_mutex;
std::optional<OsdGrowth> growth_answer;
}  // namespace

void osd_set_growth_answer(std::optional<OsdGrowth> answer) {
    const std::lock_guard<std::mutex> lock(growth_answer_mutex);
    growth_answer = answer;
}

OsdGrowth osd_growth(const OsdFile& file) {
    {
        const std::lock_guard<std::mutex> lock(growth_answer_mutex);
        if (growth_answer) return *growth_answer;
    }
    return osd_platform_growth(file);
}

OsdFile::~OsdFile() { osd_close(*this); }

const char* osd_error_text(OsdError error) {
    switch (error) {
        case OsdError::None: return "no error";
        case OsdError::NotFound: return "not found";
        case OsdError::IsFolder: return "is a folder";
        case OsdError::NotRegularFile: return "not a regular file";
        case OsdError::AccessDenied: return "permission denied";
        case OsdError::AlreadyExists: return "already exists";
        case OsdError::NoSpace: return "no space left";
        case OsdError::TooLarge: return "too large for the file system";
        case OsdError::FileSizeLimit: return "file size limit exceeded";
        case OsdError::ReadOnlyFileSystem: return "read-only file system";
        case OsdError::LinkLoop: return "too many levels of symbolic links";
        case OsdError::NameTooLong: return "name too long";
        case OsdError::InputOutput: return "input/output error";
        case OsdError::Shrank: return "it got shorter meanwhile";
        case OsdError::InvalidName: return "invalid name";
        case OsdError::InUse: return "in use by another program";
        case OsdError::Locked: return "locked by another program";
        case OsdError::Other: return "failed";
    }
    return "failed";
}

bool OsdFileState::stampsMayMissWrites() const {
    const std::int64_t latest = modified > changed ? modified : changed;
    return latest > takenAt - kStampMarginNs;
}

void osd_trace_to_stdout(const std::string& line) {
    std::fputs(line.c_str(), stdout);
}

void osd_set_trace_sink(OsdTraceSink sink) { trace_sink.store(sink); }

std::int64_t osd_filesize(const std::string& path, OsdError* cause) {
    if (OsdTraceSink sink = trace_sink.load()) sink("osd_filesize name-> " + path + "\n");
    OsdFile file;
    return osd_open(file, path, OsdAccess::Read, cause) != 0 ? -1 : file.size;
}

std::int64_t osd_read(OsdFile& file, void* buffer, std::int64_t count, OsdError* cause) {
    if (count <= 0 || file.handle == kOsdInvalidHandle) return 0;
    const std::int64_t done = osd_platform_read(file, buffer, count, -1, cause);
    return done < 0 ? 0 : done;
}

std::int64_t osd_read_at(OsdFile& file, std::int64_t offset, void* buffer, std::int64_t count, OsdError* cause) {
    if (count <= 0 || offset < 0 || file.handle == kOsdInvalidHandle) return 0;
    const std::int64_t done = osd_platform_read(file, buffer, count, offset, cause);
    return done < 0 ? 0 : done;
}

OsdRangesBelow osd_data_ranges_below(OsdFile& file, std::int64_t end, std::int64_t stride) {
    OsdRangesBelow below;
    if (end <= 0) return below;
    if (stride < 4096) stride = 4096;
    const std::int64_t asked = stride;
    auto all_data = [&](std::int64_t from) {
        below.from = from;
        below.ranges = {{from, end}};
        return below;
    };
    // Past the file's present end nothing can be read: call it data, and the
    // read that follows fails.
    const std::int64_t current = osd_platform_current_size(file);
    if (current >= 0 && current < end) return all_data(current);

    std::int64_t empty = end;  // [empty, end) holds no data
    for (;;) {
        const std::int64_t from = end > stride ? end - stride : 0;
        const std::int64_t first = osd_platform_first_data(file, from, empty);
        if (first < 0) return all_data(0);
        if (first < empty) {
            // Data lies in [from, empty). After a long hole the stride has
            // grown: halve down to the last stretch of the stride asked for
            // that holds some, so that the runs further down are left for
            // later calls.
            std::int64_t low = from;
            std::int64_t high = empty;  // no data in [high, empty)
            while (high - low > asked) {
                const std::int64_t middle = low + (high - low) / 2;
                const std::int64_t found = osd_platform_first_data(file, middle, empty);
                if (found < 0) return all_data(0);
                if (found < empty)
                    low = middle;
                else
                    high = middle;
            }
            below.from = low;
            if (osd_platform_runs(file, low, end, below.ranges) != 0) return all_data(0);
            return below;
        }
        if (from == 0) return below;  // only holes below end
        empty = from;
        stride = stride > (std::int64_t{1} << 61) ? end : stride * 2;
    }
}

std::int64_t osd_count_data_runs(OsdFile& file, std::int64_t size) {
    std::int64_t count = 0;
    std::int64_t end = size;
    // Whether the lowest run counted so far starts right at `end`: a run that
    // crosses a batch's lower edge shows up in both batches.
    bool lowestStartsAtEnd = false;
    while (end > 0) {
        const OsdRangesBelow batch = osd_data_ranges_below(file, end);
        if (!batch.ranges.empty()) {
            count += static_cast<std::int64_t>(batch.ranges.size());
            if (lowestStartsAtEnd && batch.ranges.back().end == end) --count;
            lowestStartsAtEnd = batch.ranges.front().begin == batch.from;
        } else {
            lowestStartsAtEnd = false;
        }
        if (batch.from >= end) break;  // no progress: never loop for ever
        end = batch.from;
    }
    return count;
}
