#include <gtest/gtest.h>

#include <cstdio>

#include "osd/osd.h"
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#include "tests/temp_dir.h"
#include "tests/trace_capture.h"

namespace {

TEST(Osd, FolderExistsButNeverOpensAsAFile) {
    TempDir dir;
    EXPECT_EQ(osd_exists(dir.path()), 1);
    OsdFile file;
    EXPECT_EQ(osd_open(file, dir.path(), OsdAccess::Read), 1);
    EXPECT_EQ(file.handle, kOsdInvalidHandle);
    EXPECT_EQ(osd_open(file, dir.path(), OsdAccess::ReadWrite), 1);
    EXPECT_EQ(file.handle, kOsdInvalidHandle);
    EXPECT_EQ(osd_create(file, dir.path()), 1);
    osd_close(file);  // closing the invalid handle is harmless
    osd_close(file);
}

#ifndef _WIN32
TEST(Osd, FifoIsRefusedWithoutWaiting) {
    TempDir dir;
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(osd_exists(fifo), 1);
    OsdFile file;
    EXPECT_EQ(osd_open(file, fifo, OsdAccess::Read), 1);  // would block without a writer
    EXPECT_EQ(osd_open(file, fifo, OsdAccess::ReadWrite), 1);
}
#endif

TEST(Osd, MissingFile) {
    TempDir dir;
    const std::string missing = dir.file("missing.bin");
    EXPECT_EQ(osd_exists(missing), 0);
    EXPECT_EQ(osd_exists(""), 0);
    OsdFile file;
    EXPECT_EQ(osd_open(file, missing, OsdAccess::Read), 1);
    TraceCapture trace;
    EXPECT_EQ(osd_filesize(missing), -1);
    EXPECT_EQ(trace.text(), "osd_filesize name-> " + missing + "\n");
}

TEST(Osd, OpenTakesTheSizeAndReadAdvances) {
    TempDir dir;
    const std::string path = dir.file("ten.bin");
    write_file(path, "0123456789");
    OsdFile file;
    ASSERT_EQ(osd_open(file, path, OsdAccess::Read), 0);
    EXPECT_EQ(file.size, 10);
    EXPECT_EQ(osd_seek(file, 0, OsdOrigin::End), 10);
    EXPECT_EQ(file.position, 10);
    EXPECT_EQ(osd_seek(file, 3, OsdOrigin::Begin), 3);

    char buffer[16] = {};
    EXPECT_EQ(osd_read(file, buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), "3456");
    EXPECT_EQ(file.position, 7);
    EXPECT_EQ(osd_seek(file, -2, OsdOrigin::Current), 5);
    // Asking past the end gives what is there; at the end nothing, which is 0.
    EXPECT_EQ(osd_read(file, buffer, 16), 5);
    EXPECT_EQ(osd_read(file, buffer, 16), 0);
    EXPECT_EQ(osd_seek(file, -1, OsdOrigin::Begin), -1);
    EXPECT_EQ(file.position, 10);

    // Reads at an offset give the same bytes, wherever the pointer stood,
    // and the pointer reads on correctly from where the record says.
    EXPECT_EQ(osd_read_at(file, 2, buffer, 3), 3);
    EXPECT_EQ(std::string(buffer, 3), "234");
    EXPECT_EQ(osd_read_at(file, 8, buffer, 16), 2);
    EXPECT_EQ(std::string(buffer, 2), "89");
    EXPECT_EQ(osd_read_at(file, 10, buffer, 16), 0);
    EXPECT_EQ(osd_seek(file, file.position, OsdOrigin::Begin), file.position);
    const std::int64_t at = file.position;
    const std::int64_t got = osd_read(file, buffer, 16);
    EXPECT_EQ(got, 10 - at);
}

TEST(Osd, SetEofCutsAndExtendsWithZeros) {
    TempDir dir;
    const std::string longer = dir.file("long.bin");
    const std::string shorter = dir.file("short.bin");
    write_file(longer, std::string(100, 'x'));
    write_file(shorter, "abc");
    for (const std::string& path : {longer, shorter}) {
        OsdFile file;
        ASSERT_EQ(osd_open(file, path, OsdAccess::ReadWrite), 0);
        ASSERT_EQ(osd_seek(file, 10, OsdOrigin::Begin), 10);
        EXPECT_EQ(osd_seteof(file), 0);
        osd_close(file);
        EXPECT_EQ(file_size(path), 10u);
    }
    EXPECT_EQ(read_file(longer), std::string(10, 'x'));
    EXPECT_EQ(read_file(shorter), std::string("abc") + std::string(7, '\0'));
}

TEST(Osd, ReadOnlyHandleCannotSetEof) {
    TempDir dir;
    const std::string path = dir.file("ro.bin");
    write_file(path, "abcdef");
    OsdFile file;
    ASSERT_EQ(osd_open(file, path, OsdAccess::Read), 0);
    osd_seek(file, 2, OsdOrigin::Begin);
    EXPECT_NE(osd_seteof(file), 0);
    osd_close(file);
    EXPECT_EQ(read_file(path), "abcdef");
}

TEST(Osd, CreateMakesANewFileAndNeverTruncates) {
    TempDir dir;
    const std::string fresh = dir.file("fresh.bin");
    {
        OsdFile file;
        ASSERT_EQ(osd_create(file, fresh), 0);
        EXPECT_NE(file.handle, kOsdInvalidHandle);
    }  // closed by the record itself
    EXPECT_EQ(osd_exists(fresh), 1);
    EXPECT_EQ(file_size(fresh), 0u);

    const std::string existing = dir.file("existing.bin");
    write_file(existing, "keep me");
    OsdFile file;
    EXPECT_EQ(osd_create(file, existing), 1);
    EXPECT_EQ(read_file(existing), "keep me");
    EXPECT_EQ(osd_create(file, dir.file("no-such-folder/x.bin")), 1);
}

TEST(Osd, JapaneseNamesRoundTrip) {
    TempDir dir;
    const std::string path = dir.file("日本語のファイル.bin");
    OsdFile file;
    ASSERT_EQ(osd_create(file, path), 0);
    ASSERT_EQ(osd_seek(file, 1234, OsdOrigin::Begin), 1234);
    ASSERT_EQ(osd_seteof(file), 0);
    osd_close(file);
    EXPECT_EQ(osd_exists(path), 1);
    TraceCapture trace;
    EXPECT_EQ(osd_filesize(path), 1234);
    EXPECT_EQ(trace.text(), "osd_filesize name-> " + path + "\n");
}

TEST(Osd, SizesPastThirtyTwoBitsAreExact) {
    TempDir dir;
    for (std::int64_t size : {std::int64_t{4294967296}, std::int64_t{3000000000}, std::int64_t{5} << 30}) {
        const std::string path = dir.file("big-" + std::to_string(size));
        make_sparse(path, static_cast<std::uintmax_t>(size));
        TraceCapture trace;
        EXPECT_EQ(osd_filesize(path), size);
        OsdFile file;
        ASSERT_EQ(osd_open(file, path, OsdAccess::ReadWrite), 0);
        EXPECT_EQ(file.size, size);
        EXPECT_EQ(osd_seek(file, 0, OsdOrigin::End), size);
        // Cut back to just past 4 GiB, and read the last byte there.
        ASSERT_EQ(osd_seek(file, (std::int64_t{4} << 30) + 1, OsdOrigin::Begin), (std::int64_t{4} << 30) + 1);
        ASSERT_EQ(osd_seteof(file), 0);
        ASSERT_EQ(osd_seek(file, -1, OsdOrigin::End), std::int64_t{4} << 30);
        char byte = 'x';
        EXPECT_EQ(osd_read(file, &byte, 1), 1);
        EXPECT_EQ(byte, '\0');
        byte = 'x';
        EXPECT_EQ(osd_read_at(file, std::int64_t{4} << 30, &byte, 2), 1) << "offsets past 32 bits";
        EXPECT_EQ(byte, '\0');
    }
}

TEST(Osd, DataRangesFindTheHoles) {
    TempDir dir;
    const std::string dense = dir.file("dense.bin");
    write_file(dense, std::string(10000, 'd'));
    OsdFile file;
    ASSERT_EQ(osd_open(file, dense, OsdAccess::Read), 0);
    const auto whole = data_runs_of(file);
    ASSERT_EQ(whole.size(), 1u);
    EXPECT_EQ(osd_count_data_runs(file, file.size), 1);
    EXPECT_EQ(whole[0].begin, 0);
    EXPECT_EQ(whole[0].end, 10000);

    if (!holes_reported(dir)) GTEST_SKIP() << "this file system reports no holes";
    // Data at the start and 8 GiB in, holes around: the runs cover both data
    // blocks and stay clear of most of the holes (block sizes vary by file system).
    const std::string sparse = dir.file("sparse.bin");
    write_file(sparse, std::string(4096, 's'));
    {
        std::fstream out(fs_path(sparse), std::ios::binary | std::ios::in | std::ios::out);
        out.seekp(std::int64_t{8} << 30);
        out.write("tail", 4);
    }
    std::filesystem::resize_file(fs_path(sparse), std::uintmax_t{1} << 34);
    OsdFile holey;
    ASSERT_EQ(osd_open(holey, sparse, OsdAccess::Read), 0);
    const auto runs = data_runs_of(holey);
    ASSERT_FALSE(runs.empty());
    EXPECT_EQ(runs.front().begin, 0);
    EXPECT_GE(runs.back().end, (std::int64_t{8} << 30) + 4);
    EXPECT_LE(runs.back().end, holey.size);
    std::int64_t covered = 0;
    for (const OsdRange& run : runs) covered += run.end - run.begin;
    EXPECT_LT(covered, std::int64_t{1} << 30);
    EXPECT_EQ(osd_count_data_runs(holey, holey.size), static_cast<std::int64_t>(runs.size()));

    const std::string empty = dir.file("empty.bin");
    write_file(empty, "");
    OsdFile nothing;
    ASSERT_EQ(osd_open(nothing, empty, OsdAccess::Read), 0);
    EXPECT_TRUE(data_runs_of(nothing).empty());
}

// Each failure keeps its cause, so a folder, a missing file and a refused
// permission are told apart.
TEST(Osd, FailuresKeepTheirCause) {
    TempDir dir;
    OsdFile file;
    OsdError cause = OsdError::None;
    EXPECT_EQ(osd_open(file, dir.file("missing.bin"), OsdAccess::Read, &cause), 1);
    EXPECT_EQ(cause, OsdError::NotFound);
    EXPECT_EQ(osd_open(file, dir.path(), OsdAccess::Read, &cause), 1);
    EXPECT_EQ(cause, OsdError::IsFolder);
    EXPECT_EQ(osd_open(file, dir.path(), OsdAccess::ReadWrite, &cause), 1);
    EXPECT_EQ(cause, OsdError::IsFolder);
    EXPECT_EQ(osd_create(file, dir.path(), &cause), 1);
    EXPECT_EQ(cause, OsdError::IsFolder);
    EXPECT_EQ(osd_open(file, "", OsdAccess::Read, &cause), 1);
    EXPECT_EQ(cause, OsdError::InvalidName);

    const std::string existing = dir.file("existing.bin");
    write_file(existing, "x");
    EXPECT_EQ(osd_create(file, existing, &cause), 1);
    EXPECT_EQ(cause, OsdError::AlreadyExists);

    EXPECT_EQ(osd_filesize(dir.file("missing.bin"), &cause), -1);
    EXPECT_EQ(cause, OsdError::NotFound);
    EXPECT_EQ(osd_remove(dir.file("missing.bin"), &cause), 1);
    EXPECT_EQ(cause, OsdError::NotFound);
    EXPECT_EQ(osd_remove(existing), 0);
    EXPECT_EQ(osd_exists(existing), 0);

    EXPECT_STREQ(osd_error_text(OsdError::AccessDenied), "permission denied");
    EXPECT_STREQ(osd_error_text(OsdError::NoSpace), "no space left");

#ifndef _WIN32
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(osd_open(file, fifo, OsdAccess::Read, &cause), 1);
    EXPECT_EQ(cause, OsdError::NotRegularFile);
    if (::geteuid() != 0) {  // root reads anything
        const std::string locked = dir.file("locked.bin");
        write_file(locked, "x");
        ::chmod(locked.c_str(), 0);
        EXPECT_EQ(osd_open(file, locked, OsdAccess::Read, &cause), 1);
        EXPECT_EQ(cause, OsdError::AccessDenied);
    }
#endif
}

TEST(Osd, WriteAndAllocatedBytes) {
    TempDir dir;
    const std::string path = dir.file("written.bin");
    OsdFile file;
    ASSERT_EQ(osd_create(file, path), 0);
    const std::string bytes(10000, 'w');
    EXPECT_EQ(osd_write(file, bytes.data(), 10000), 10000);
    EXPECT_EQ(file.position, 10000);
    EXPECT_GE(osd_allocated_bytes(file), 0);
    osd_close(file);
    EXPECT_EQ(read_file(path), bytes);
}

// Many runs then a long hole: every run is found, and the hole that ends
// the file stays a hole for a backward scan.
TEST(Osd, ManyDataRunsAndTheHoleAtTheEnd) {
    TempDir dir;
    if (!holes_reported(dir)) GTEST_SKIP() << "this file system reports no holes";
    const std::string path = dir.file("runs.bin");
    constexpr std::int64_t kBlock = 64 * 1024;  // larger than any file system's block
    const std::int64_t runs = std::int64_t{1} << 16;
    {
        OsdFile file;
        ASSERT_EQ(osd_create(file, path), 0);
        const std::string data(1, 'r');
        for (std::int64_t i = 0; i < runs; ++i) {
            ASSERT_EQ(osd_seek(file, i * 2 * kBlock, OsdOrigin::Begin), i * 2 * kBlock);
            ASSERT_EQ(osd_write(file, data.data(), 1), 1);
        }
        ASSERT_EQ(osd_seek(file, runs * 2 * kBlock + (std::int64_t{1} << 30), OsdOrigin::Begin), runs * 2 * kBlock + (std::int64_t{1} << 30));
        ASSERT_EQ(osd_seteof(file), 0);
    }
    OsdFile file;
    ASSERT_EQ(osd_open(file, path, OsdAccess::Read), 0);
    const std::vector<OsdRange> ranges = data_runs_of(file);
    ASSERT_EQ(static_cast<std::int64_t>(ranges.size()), runs);
    EXPECT_EQ(ranges.front().begin, 0);
    EXPECT_LT(ranges.back().end, runs * 2 * kBlock) << "the hole at the end stays a hole";
    EXPECT_GE(ranges.back().end, (runs - 1) * 2 * kBlock + 1);
    EXPECT_EQ(osd_count_data_runs(file, file.size), runs);
}

// A second handle reads the same file on its own, and outlives the first.
TEST(Osd, DuplicateReadsOnItsOwn) {
    TempDir dir;
    const std::string path = dir.file("ten.bin");
    write_file(path, "0123456789");
    OsdFile file, copy;
    ASSERT_EQ(osd_open(file, path, OsdAccess::Read), 0);
    ASSERT_EQ(osd_duplicate(file, copy), 0);
    EXPECT_EQ(copy.size, 10);
    char buffer[4] = {};
    EXPECT_EQ(osd_read_at(copy, 4, buffer, 3), 3);
    EXPECT_EQ(std::string(buffer, 3), "456");
    osd_close(file);
    EXPECT_EQ(osd_read_at(copy, 0, buffer, 2), 2);
    EXPECT_EQ(std::string(buffer, 2), "01");
    OsdFile none;
    EXPECT_EQ(osd_duplicate(file, none), 1) << "a closed record has nothing to share";
    osd_close(copy);
}

// Whether a file's bytes are in the cache: yes for a file just written, no
// once its pages were dropped (Linux 6.5 and later); elsewhere the system
// cannot tell, so never.
TEST(Osd, CachedFollowsTheCache) {
    TempDir dir;
    const std::string path = dir.file("cached.bin");
    const std::int64_t size = 8 * 1024 * 1024 + 4096;
    write_file(path, std::string(static_cast<std::size_t>(size), 'c'));
    OsdFile file;
    ASSERT_EQ(osd_open(file, path, OsdAccess::Read), 0);
    const bool cached = osd_cached(file, 4096, size - 4096);
#ifdef __linux__
    if (!cached) GTEST_SKIP() << "the cache cannot be asked here (before Linux 6.5)";
    ASSERT_EQ(::fdatasync(static_cast<int>(file.handle)), 0);
    ASSERT_EQ(::posix_fadvise(static_cast<int>(file.handle), 0, 0, POSIX_FADV_DONTNEED), 0);
    EXPECT_FALSE(osd_cached(file, 0, size)) << "dropped from the cache";
#else
    EXPECT_FALSE(cached);
#endif
    osd_close(file);
}

}  // namespace
