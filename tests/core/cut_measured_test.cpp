// Cutting what a scan measured, on real files: only the very file, only
// unchanged, and where time stamps cannot tell, only after a second look.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "size/scan_file.h"
#include "size/trim.h"
#include "tests/core/steps.h"
#include "tests/temp_dir.h"
#include "tests/unguarded.h"

namespace {


PaddingScan scan_for_cut(OsdFile& file, const std::string& path) {
    EXPECT_EQ(osd_open(file, path, OsdAccess::ReadWrite), 0);
    SilentObserver silent;
    return scan_padding(file, PadChoice{}, silent);
}

TEST(CutMeasured, OnlyTheUnchangedFileItMeasured) {
    SilentObserver silent;
    TempDir dir;
    const std::string path = dir.file("dump.bin");
    const std::string padded = "data" + std::string(5000, '\0');
    {
        write_file(path, padded);
        OsdFile file;
        const PaddingScan scan = scan_for_cut(file, path);
        ASSERT_EQ(scan.scan.trailing, 5000);
        EXPECT_EQ(step_of(cut_measured(file, path, scan.measured, 4, 0, silent)), std::nullopt);
        EXPECT_EQ(read_file(path), "data");
    }
#ifndef _WIN32  // Windows lets no one rename over a file held open
    {  // Another file took the name: the handle's file is cut by no one.
        write_file(path, padded);
        OsdFile file;
        const PaddingScan scan = scan_for_cut(file, path);
        write_file(dir.file("other.bin"), std::string(5004, 'o'));
        std::filesystem::rename(fs_path(dir.file("other.bin")), fs_path(path));
        EXPECT_EQ(step_of(cut_measured(file, path, scan.measured, 4, 0, silent)), Step::Changed);
        EXPECT_EQ(file_size(path), 5004u);
    }
#endif
}

#ifndef _WIN32  // Windows lets no one write a file opened for a change
void write_at(const std::string& path, std::streamoff offset, char byte) {
    std::fstream file(fs_path(path), std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(offset);
    file.put(byte);
}

// Runs `step` before each chunk, with its number; false stops the scan.
struct StepObserver final : ScanObserver {
    std::function<bool(int)> step;
    int chunks = 0;
    bool beforeChunk(int) override { return step(chunks++); }
};

// Where no lease keeps others out, a write in the same clock tick as the
// scan's start leaves the time stamps as they were: stand-in here, the
// state taken after the write. The bytes about to go are looked at again,
// the state compared again after that look, and an interrupt during it
// cuts nothing.
TEST(CutMeasured, WithoutALeaseASecondLookGuardsTheCut) {
    const Unguarded unguarded;
    TempDir dir;
    const std::string path = dir.file("dump.bin");
    struct Case {
        const char* name;
        bool writeBefore;
        std::function<bool(int)> duringLook;
        Step expected;
    };
    const Case cases[] = {
        {"a write before the look", true, [](int) { return true; }, Step::Changed},
        {"an append during it", false,
         [&](int chunk) { return chunk != 1 || static_cast<bool>(std::ofstream(fs_path(path), std::ios::app) << "A"); },
         Step::Changed},
        {"an interrupt", false, [](int) { return false; }, Step::Stopped},
    };
    const std::string padded = "data" + std::string(3 * ScanChunkSize, '\0');
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        write_file(path, padded);
        OsdFile file;
        PaddingScan scan = scan_for_cut(file, path);
        ASSERT_TRUE(scan.measured.stampsMayMissWrites());
        if (c.writeBefore) write_at(path, 3000, 'D');
        OsdFileState after;
        ASSERT_EQ(osd_state(file, after), 0);
        scan.measured.modified = after.modified;
        scan.measured.changed = after.changed;
        StepObserver observer;
        observer.step = c.duringLook;
        EXPECT_EQ(step_of(cut_measured(file, path, scan.measured, 4, 0, observer)), c.expected);
        EXPECT_GE(file_size(path), padded.size()) << "nothing was cut";
    }

    // Stamps older than the margin cannot share a tick with a later write.
    OsdFileState old;
    old.modified = old.changed = old.takenAt - OsdFileState::kStampMarginNs - 1;
    EXPECT_FALSE(old.stampsMayMissWrites());
}
#endif

TEST(CutMeasured, HolesMustAgreeWithTheAllocation) {
    struct Case {
        std::int64_t size, holeBytes, allocated;
        bool agree;
    };
    constexpr std::int64_t kTop = std::numeric_limits<std::int64_t>::max();
    for (const Case c : {
             Case{1 << 20, 0, 1 << 20, true},                     // nothing skipped
             Case{1 << 30, (1 << 30) - 4096, 4096, true},          // one block of data
             Case{kTop, kTop - 4096, 8192, false},                 // tmpfs near 2^63: a block unaccounted
             Case{1 << 30, 1 << 29, (1 << 29) + (1 << 21), true},  // index blocks of a dense half
             Case{1 << 30, 1 << 29, (1 << 29) + (1 << 22), false},
         }) {
        EXPECT_EQ(c.holeBytes <= plan_scan(c.size, c.allocated, false).holeBudget, c.agree) << c.size << " " << c.allocated;
    }
}

}  // namespace
