// The scan on mapped views: the same answers as reading, whatever the layout;
// a view that fails under the test is a read error, never a crash; a refused
// mapping falls back to reading; views are all gone when the scan ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "osd/osd.h"
#include "size/padding_kernel.h"
#include "size/scan.h"
#include "size/scan_file.h"
#include "size/set_length.h"
#include "tests/child_process.h"
#include "tests/temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

constexpr std::int64_t KiB = 1024;
constexpr std::int64_t MiB = 1024 * KiB;
constexpr std::int64_t GiB = 1024 * MiB;

// --- Files with a known layout ----------------------------------------------

// Bytes written at `offset`; everything else in the file was never written
// (a hole where the file system makes one) and reads as zero.
struct Piece {
    std::int64_t offset;
    std::string bytes;
};

struct Layout {
    std::int64_t size = 0;
    std::vector<Piece> pieces;  // in order, not overlapping
};

void write_layout(const std::string& path, const Layout& layout) {
    make_sparse(path, static_cast<std::uintmax_t>(layout.size));
    std::fstream out(fs_path(path), std::ios::binary | std::ios::in | std::ios::out);
    for (const Piece& piece : layout.pieces) {
        out.seekp(piece.offset);
        out.write(piece.bytes.data(), static_cast<std::streamsize>(piece.bytes.size()));
    }
}

// The answer worked out from the layout alone: bytes equal to `pad` at the end.
std::int64_t expected_trailing(const Layout& layout, std::uint8_t pad) {
    std::int64_t cursor = layout.size;  // everything above is padding
    for (auto piece = layout.pieces.rbegin(); piece != layout.pieces.rend(); ++piece) {
        const std::int64_t end = piece->offset + static_cast<std::int64_t>(piece->bytes.size());
        if (end < cursor && pad != 0) return layout.size - cursor;  // unwritten zeros end it
        for (std::int64_t i = static_cast<std::int64_t>(piece->bytes.size()) - 1; i >= 0; --i) {
            if (static_cast<std::uint8_t>(piece->bytes[static_cast<std::size_t>(i)]) != pad)
                return layout.size - (piece->offset + i + 1);
        }
        cursor = piece->offset;
    }
    return cursor > 0 && pad != 0 ? layout.size - cursor : layout.size;
}

// Edges the scan cares about: pages, mapping granularity, pieces, stretches,
// chunks, large pages, windows.
std::int64_t near_an_edge(std::mt19937_64& random, std::int64_t limit) {
    static const std::int64_t edges[] = {4 * KiB, 64 * KiB, 256 * KiB, MiB, 2 * MiB, 16 * MiB};
    const std::int64_t edge = edges[random() % std::size(edges)];
    const std::int64_t at = static_cast<std::int64_t>(random() % static_cast<std::uint64_t>(limit / edge + 1)) * edge +
                            static_cast<std::int64_t>(random() % 3) - 1;
    return std::clamp<std::int64_t>(at, 0, limit - 1);
}

// Pieces of data, of written zeros and of written 0xFF, at page, chunk and
// window edges, in a file of up to 40 MiB whose tail may be any of these or
// a hole.
Layout random_layout(std::mt19937_64& random) {
    Layout layout;
    layout.size = 1 + static_cast<std::int64_t>(random() % static_cast<std::uint64_t>(40 * MiB));
    if (random() % 3 == 0) layout.size = near_an_edge(random, 40 * MiB) + 1;
    std::vector<std::int64_t> starts;
    const int count = static_cast<int>(random() % 6);
    for (int i = 0; i < count; ++i) starts.push_back(near_an_edge(random, layout.size));
    if (random() % 2 == 0) starts.push_back(std::max<std::int64_t>(0, layout.size - 1 - static_cast<std::int64_t>(random() % (3 * MiB))));
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const std::int64_t room = (i + 1 < starts.size() ? starts[i + 1] : layout.size) - starts[i];
        const std::int64_t length = std::min<std::int64_t>(room, 1 + static_cast<std::int64_t>(random() % (3 * MiB)));
        static const char fills[] = {'\0', '\xff'};
        std::string bytes(static_cast<std::size_t>(length), fills[random() % 2]);
        // Data bytes: none, or a few anywhere, or one at either end.
        switch (random() % 4) {
            case 0: break;
            case 1:
                for (int k = 0; k < 3; ++k) bytes[random() % bytes.size()] = '\x5a';
                break;
            case 2: bytes.front() = '\x01'; break;
            case 3: bytes.back() = '\xfe'; break;
        }
        layout.pieces.push_back({starts[i], std::move(bytes)});
    }
    return layout;
}

struct CountingObserver final : ScanObserver {
    std::vector<int> percents;
    std::function<bool(int chunk)> atChunk;  // optional; false stops the scan
    bool beforeChunk(int percent) override {
        percents.push_back(percent);
        return !atChunk || atChunk(static_cast<int>(percents.size()));
    }
};

ScanResult scan(const std::string& path, std::uint8_t pad, ScanAccess access, CountingObserver* seen = nullptr) {
    CountingObserver quiet;
    return scan_file(path, seen != nullptr ? *seen : quiet, pad, access);
}

// --- Same answers as reading ------------------------------------------------

TEST(MappedScan, GivesTheReadPathsAnswerOnRandomLayouts) {
    TempDir dir;
    std::mt19937_64 random(20261208);
    const std::string path = dir.file("layout.bin");
    for (int round = 0; round < 40; ++round) {
        const Layout layout = random_layout(random);
        write_layout(path, layout);
        for (std::uint8_t pad : {std::uint8_t{0x00}, std::uint8_t{0xFF}}) {
            SCOPED_TRACE("round " + std::to_string(round) + " size " + std::to_string(layout.size) + " pad " +
                         std::to_string(pad));
            CountingObserver read, viewed;
            const ScanResult byReading = scan(path, pad, ScanAccess::ReadOnly, &read);
            const ScanResult byViews = scan(path, pad, ScanAccess::ViewsOnly, &viewed);
            const ScanResult fastest = scan(path, pad, ScanAccess::Fastest);
            ASSERT_EQ(byReading.status, ScanResult::Status::Ok);
            ASSERT_EQ(byViews.status, ScanResult::Status::Ok);
            ASSERT_EQ(fastest.status, ScanResult::Status::Ok);
            const std::int64_t expected = expected_trailing(layout, pad);
            EXPECT_EQ(byReading.trailing, expected);
            EXPECT_EQ(byViews.trailing, expected);
            EXPECT_EQ(fastest.trailing, expected);
            // The window is told about every chunk either way, with the same
            // progress.
            EXPECT_EQ(viewed.percents, read.percents);
        }
    }
}

// Past 4 GiB, where 32-bit offsets would wrap: zeros written across the
// 4 GiB edge with a data byte just below it, under a 1 GiB hole; and the same
// file ending in 0xFF padding above 4 GiB instead.
TEST(MappedScan, SparseFileBeyondFourGiB) {
    TempDir dir;
    if (!holes_reported(dir)) GTEST_SKIP() << "holes are not reported here; 5 GiB would be read";
    Layout hole;
    hole.size = 5 * GiB + 12345;
    hole.pieces.push_back({MiB, std::string(4096, '\x11')});
    std::string edge(static_cast<std::size_t>(3 * MiB), '\0');
    edge[static_cast<std::size_t>(MiB - 1)] = '\x22';  // the byte just below 4 GiB
    hole.pieces.push_back({4 * GiB - MiB, edge});
    EXPECT_EQ(expected_trailing(hole, 0), hole.size - 4 * GiB);

    Layout padded = hole;
    std::string high(static_cast<std::size_t>(2 * MiB), '\xff');
    high[100] = '\x33';
    padded.pieces.push_back({4 * GiB + 64 * MiB + 3, high});
    padded.size = 4 * GiB + 66 * MiB + 3;
    EXPECT_EQ(expected_trailing(padded, 0xFF), 2 * MiB - 101);

    const std::string path = dir.file("five.bin");
    for (const Layout* layout : {&hole, &padded}) {
        write_layout(path, *layout);
        for (std::uint8_t pad : {std::uint8_t{0x00}, std::uint8_t{0xFF}}) {
            for (ScanAccess access : {ScanAccess::ViewsOnly, ScanAccess::Fastest, ScanAccess::ReadOnly}) {
                const ScanResult result = scan(path, pad, access);
                ASSERT_EQ(result.status, ScanResult::Status::Ok);
                EXPECT_EQ(result.trailing, expected_trailing(*layout, pad))
                    << "size " << layout->size << " pad " << int{pad} << " access " << static_cast<int>(access);
            }
        }
    }
}

// The kernel's stretches of 256 KiB, tested front to back, must not hide a
// byte near either of their ends.
TEST(MappedScan, PadTestFindsBytesAtStretchEdges) {
    for (std::uint8_t pad : {std::uint8_t{0x00}, std::uint8_t{0xFF}}) {
        const std::int64_t length = 3 * 256 * KiB + 4096;
        std::vector<unsigned char> bytes(static_cast<std::size_t>(length), pad);
        EXPECT_EQ(last_non_pad(bytes.data(), length, pad), -1);
        const std::int64_t places[] = {0,          4095, 4096, 4096 + 256 * KiB - 1, 4096 + 256 * KiB, length - 256 * KiB,
                                       length - 256 * KiB - 1, length - 1};
        for (std::int64_t at : places) {
            bytes[static_cast<std::size_t>(at)] = static_cast<unsigned char>(pad ^ 0x80);
            for (PadKernel kernel : {PadKernel::Baseline, PadKernel::Avx2}) {
                if (!pad_kernel_available(kernel)) continue;
                EXPECT_EQ(last_non_pad_with(kernel, bytes.data(), length, pad), at) << "pad " << int{pad};
            }
            bytes[static_cast<std::size_t>(at)] = pad;
        }
    }
}

// --- Data runs looked for from the end ---------------------------------------

// Adjacent runs joined, so that batch edges do not count.
std::vector<OsdRange> joined(std::vector<OsdRange> runs) {
    std::vector<OsdRange> out;
    for (const OsdRange& run : runs) {
        if (!out.empty() && out.back().end == run.begin)
            out.back().end = run.end;
        else
            out.push_back(run);
    }
    return out;
}

bool same_runs(const std::vector<OsdRange>& a, const std::vector<OsdRange>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const OsdRange& x, const OsdRange& y) { return x.begin == y.begin && x.end == y.end; });
}

// Batch by batch from the end, the runs add up to what the forward walk
// finds, each batch within its own bounds.
TEST(DataRangesBelow, BatchesFromTheEndAddUpToTheForwardWalk) {
    TempDir dir;
    std::mt19937_64 random(7);
    const std::string path = dir.file("runs.bin");
    // Where holes are not reported every batch is all data: a few rounds do.
    const int rounds = holes_reported(dir) ? 20 : 4;
    for (int round = 0; round < rounds; ++round) {
        const Layout layout = random_layout(random);
        write_layout(path, layout);
        OsdFile file;
        ASSERT_EQ(osd_open(file, path, OsdAccess::Read), 0);
        const std::vector<OsdRange> forward = data_runs_of(file);
        for (std::int64_t stride : {64 * KiB, MiB, 64 * MiB}) {
            std::vector<OsdRange> collected;
            for (std::int64_t end = file.size; end > 0;) {
                const OsdRangesBelow batch = osd_data_ranges_below(file, end, stride);
                ASSERT_LT(batch.from, end);
                ASSERT_GE(batch.from, 0);
                for (std::size_t i = 0; i < batch.ranges.size(); ++i) {
                    ASSERT_GE(batch.ranges[i].begin, i == 0 ? batch.from : batch.ranges[i - 1].end);
                    ASSERT_LT(batch.ranges[i].begin, batch.ranges[i].end);
                }
                if (!batch.ranges.empty()) {
                    ASSERT_LE(batch.ranges.back().end, end);
                }
                collected.insert(collected.begin(), batch.ranges.begin(), batch.ranges.end());
                end = batch.from;
            }
            EXPECT_TRUE(same_runs(joined(collected), forward)) << "round " << round << " stride " << stride;
        }
    }
}

// Thousands of runs under a long hole: the first batch holds only the last
// few, which is all a scan that stops there needs.
TEST(DataRangesBelow, LongHoleAboveManyRunsCostsOnlyTheLastOnes) {
    TempDir dir;
    if (!holes_reported(dir)) GTEST_SKIP() << "holes are not reported here";
    Layout layout;
    layout.size = GiB;
    for (int run = 0; run < 3000; ++run) layout.pieces.push_back({run * 32 * KiB, std::string(4096, 'r')});
    const std::string path = dir.file("many.bin");
    write_layout(path, layout);
    OsdFile file;
    ASSERT_EQ(osd_open(file, path, OsdAccess::Read), 0);
    const OsdRangesBelow batch = osd_data_ranges_below(file, file.size, MiB);
    ASSERT_FALSE(batch.ranges.empty());
    EXPECT_EQ(batch.ranges.back().end, 2999 * 32 * KiB + 4096);
    EXPECT_LE(batch.ranges.size(), 64u);
    EXPECT_GE(batch.from, 2999 * 32 * KiB - 2 * MiB);
    CountingObserver observer;
    EXPECT_EQ(scan_file(path, observer).trailing, GiB - (2999 * 32 * KiB + 4096));
    EXPECT_EQ(observer.percents.size(), 1u);
}

// Bytes a file no longer has are no hole: they are reported as data, and
// reading them fails.
TEST(DataRangesBelow, BytesPastAShrunkenEndAreData) {
    TempDir dir;
    const std::string path = dir.file("shrunk.bin");
    make_sparse(path, 64 * MiB);
    OsdFile file;
    ASSERT_EQ(osd_open(file, path, OsdAccess::Read), 0);
    std::filesystem::resize_file(fs_path(path), 10 * MiB);
    const OsdRangesBelow batch = osd_data_ranges_below(file, 64 * MiB);
    EXPECT_EQ(batch.from, 10 * MiB);
    ASSERT_EQ(batch.ranges.size(), 1u);
    EXPECT_EQ(batch.ranges[0].begin, 10 * MiB);
    EXPECT_EQ(batch.ranges[0].end, 64 * MiB);
}

// --- Views in memory: which way the bytes are got ----------------------------

// Bytes in memory that the source can read out or show in place.
class ViewMemorySource final : public ScanSource {
public:
    explicit ViewMemorySource(const std::string& bytes) : bytes_(bytes) {}
    OsdRangesBelow dataRangesBelow(std::int64_t end) override { return {0, {{0, end}}}; }
    bool readAt(std::int64_t offset, void* buffer, std::int64_t count) override {
        if (readDelay.count() > 0) std::this_thread::sleep_for(readDelay);
        ++reads;
        std::memcpy(buffer, bytes_.data() + offset, static_cast<std::size_t>(count));
        return true;
    }
    const unsigned char* viewAt(std::int64_t offset, std::int64_t count, std::int64_t runBegin) override {
        EXPECT_LE(runBegin, offset);
        EXPECT_LE(offset + count, static_cast<std::int64_t>(bytes_.size()));
        ++viewsAsked;
        if (!offerViews) return nullptr;
        if (viewDelay.count() > 0) std::this_thread::sleep_for(viewDelay);
        ++viewsGiven;
        return reinterpret_cast<const unsigned char*>(bytes_.data()) + offset;
    }
    void releaseViews() override { ++releases; }

    bool offerViews = true;
    std::chrono::microseconds readDelay{0}, viewDelay{0};
    int reads = 0, viewsAsked = 0, viewsGiven = 0, releases = 0;

private:
    const std::string& bytes_;
};

TEST(MappedScan, AccessModesDecideWhetherViewsAreUsed) {
    std::string bytes(static_cast<std::size_t>(5 * MiB + 3), '\0');
    bytes[77] = 'x';
    CountingObserver observer;

    ViewMemorySource viewed(bytes);
    EXPECT_EQ(scan_trailing(viewed, 5 * MiB + 3, observer, 0, ScanAccess::ViewsOnly).trailing, 5 * MiB + 3 - 78);
    EXPECT_EQ(viewed.viewsGiven, 5);  // one per chunk, down to the one holding the x
    EXPECT_EQ(viewed.reads, 0);
    EXPECT_EQ(viewed.releases, 1);

    ViewMemorySource read(bytes);
    EXPECT_EQ(scan_trailing(read, 5 * MiB + 3, observer, 0, ScanAccess::ReadOnly).trailing, 5 * MiB + 3 - 78);
    EXPECT_EQ(read.viewsAsked, 0);
    EXPECT_GT(read.reads, 0);

    // A source that declines is read instead, chunk by chunk.
    ViewMemorySource declining(bytes);
    declining.offerViews = false;
    EXPECT_EQ(scan_trailing(declining, 5 * MiB + 3, observer, 0, ScanAccess::ViewsOnly).trailing, 5 * MiB + 3 - 78);
    EXPECT_EQ(declining.viewsAsked, 5);
    EXPECT_GT(declining.reads, 0);

    // Views are handed back however the scan ends.
    ViewMemorySource stopped(bytes);
    CountingObserver stopper;
    stopper.atChunk = [](int chunk) { return chunk < 3; };
    EXPECT_EQ(scan_trailing(stopped, 5 * MiB + 3, stopper, 0, ScanAccess::ViewsOnly).status,
              ScanResult::Status::Stopped);
    EXPECT_EQ(stopped.viewsGiven, 2);
    EXPECT_EQ(stopped.releases, 1);
}

// Fastest keeps mostly to whichever way is quicker on this source. The
// delays are far apart (milliseconds against microseconds) so that a busy
// machine cannot turn the order round.
TEST(MappedScan, FastestKeepsToTheQuickerWay) {
    const std::int64_t size = 300 * MiB;
    const std::string zeros(static_cast<std::size_t>(size), '\0');
    CountingObserver observer;

    ViewMemorySource slowViews(zeros);
    slowViews.viewDelay = std::chrono::milliseconds(4);
    EXPECT_EQ(scan_trailing(slowViews, size, observer).trailing, size);
    EXPECT_LT(slowViews.viewsGiven, 300 / 5) << "views should be only samples";

    ViewMemorySource slowReads(zeros);
    slowReads.readDelay = std::chrono::milliseconds(1);  // per 256 KiB piece
    EXPECT_EQ(scan_trailing(slowReads, size, observer).trailing, size);
    EXPECT_GT(slowReads.viewsGiven, 300 * 4 / 5) << "reading should be only samples";
}

// --- Mapping refused --------------------------------------------------------

class MappingRefused {
public:
    MappingRefused() { osd_set_mapping_refused(true); }
    ~MappingRefused() { osd_set_mapping_refused(false); }
    MappingRefused(const MappingRefused&) = delete;
    MappingRefused& operator=(const MappingRefused&) = delete;
};

// Counts the views a real file source hands out.
class WatchedSource final : public ScanSource {
public:
    explicit WatchedSource(OsdFile& file) : inner_(file) {}
    OsdRangesBelow dataRangesBelow(std::int64_t end) override { return inner_.dataRangesBelow(end); }
    bool readAt(std::int64_t offset, void* buffer, std::int64_t count) override {
        ++reads;
        return inner_.readAt(offset, buffer, count);
    }
    OsdError lastError() const override { return inner_.lastError(); }
    const unsigned char* viewAt(std::int64_t offset, std::int64_t count, std::int64_t runBegin) override {
        const unsigned char* view = inner_.viewAt(offset, count, runBegin);
        if (view != nullptr) ++views;
        if (afterView) afterView(offset);
        return view;
    }
    void releaseViews() override { inner_.releaseViews(); }

    int reads = 0, views = 0;
    std::function<void(std::int64_t chunkStart)> afterView;

private:
    MappedFileSource inner_;
};

TEST(MappedScan, RefusedMappingFallsBackToReading) {
    TempDir dir;
    const std::string path = dir.file("refused.bin");
    std::string bytes(static_cast<std::size_t>(3 * MiB + 5), '\0');
    bytes[1000] = 'x';
    write_file(path, bytes);
    CountingObserver observer;
    {
        MappingRefused refused;
        OsdMappedView view = [&] {
            OsdFile file;
            EXPECT_EQ(osd_open(file, path, OsdAccess::Read), 0);
            return osd_map_view(file, 0, 4096);
        }();
        EXPECT_FALSE(view.mapped());

        OsdFile file;
        ASSERT_EQ(osd_open(file, path, OsdAccess::Read), 0);
        WatchedSource source(file);
        const ScanResult result = scan_trailing(source, file.size, observer, 0, ScanAccess::ViewsOnly);
        EXPECT_EQ(result.status, ScanResult::Status::Ok);
        EXPECT_EQ(result.trailing, 3 * MiB + 5 - 1001);
        EXPECT_EQ(source.views, 0);
        EXPECT_GT(source.reads, 0);
        EXPECT_EQ(file.error, OsdError::None) << "a refused mapping is not the file's error";
    }
    // And mapping is back once the refusal ends.
    OsdFile file;
    ASSERT_EQ(osd_open(file, path, OsdAccess::Read), 0);
    WatchedSource source(file);
    EXPECT_EQ(scan_trailing(source, file.size, observer, 0, ScanAccess::ViewsOnly).trailing, 3 * MiB + 5 - 1001);
    EXPECT_EQ(source.views, 3);
    EXPECT_EQ(source.reads, 0);
}

TEST(MappedScan, ViewShowsTheFileBytesAtAnyOffset) {
    TempDir dir;
    const std::string path = dir.file("bytes.bin");
    std::string bytes(static_cast<std::size_t>(300 * KiB), '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 4096);
    write_file(path, bytes);
    OsdFile file;
    ASSERT_EQ(osd_open(file, path, OsdAccess::Read), 0);
    const std::int64_t offsets[] = {0, 1, 4095, 4096, 65535, 65536 + 17, 300 * KiB - 1};
    for (std::int64_t offset : offsets) {
        const std::int64_t count = std::min<std::int64_t>(70000, 300 * KiB - offset);
        OsdMappedView view = osd_map_view(file, offset, count);
        ASSERT_TRUE(view.mapped()) << offset;
        EXPECT_EQ(view.offset(), offset);
        EXPECT_EQ(view.size(), count);
        EXPECT_TRUE(view.contains(offset, count));
        EXPECT_FALSE(view.contains(offset, count + 1));
        EXPECT_TRUE(view.prefetch(offset, count));
        EXPECT_EQ(std::memcmp(view.data(), bytes.data() + offset, static_cast<std::size_t>(count)), 0) << offset;
        OsdMappedView moved = std::move(view);
        EXPECT_FALSE(view.mapped());
        EXPECT_TRUE(moved.mapped());
    }
}

// --- A view that fails under the test ----------------------------------------

#ifndef _WIN32

// A second process that cuts the file when asked, and answers once it has.
class Truncator {
public:
    explicit Truncator(std::string path) : path_(std::move(path)) {
        if (::pipe(ask_) != 0 || ::pipe(done_) != 0) std::abort();
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ask_[1]);
            ::close(done_[0]);
            std::int64_t length = 0;
            while (::read(ask_[0], &length, sizeof length) == sizeof length) {
                const int rc = ::truncate(path_.c_str(), length);
                if (::write(done_[1], &rc, sizeof rc) != sizeof rc) break;
            }
            ::_exit(0);
        }
        ::close(ask_[0]);
        ::close(done_[1]);
    }
    ~Truncator() {
        ::close(ask_[1]);
        ::close(done_[0]);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    Truncator(const Truncator&) = delete;
    Truncator& operator=(const Truncator&) = delete;

    // True once the other process has cut the file to `length`.
    bool cutTo(std::int64_t length) {
        int rc = -1;
        return ::write(ask_[1], &length, sizeof length) == sizeof length &&
               ::read(done_[0], &rc, sizeof rc) == sizeof rc && rc == 0;
    }

private:
    std::string path_;
    int ask_[2]{-1, -1};
    int done_[2]{-1, -1};
    pid_t pid_ = -1;
};

std::string dense_file(const TempDir& dir, std::int64_t size) {
    const std::string path = dir.file("dense.bin");
    std::string bytes(static_cast<std::size_t>(size), '\0');
    bytes[0] = 'x';
    write_file(path, bytes);
    return path;
}

void touch_every_page(void* context) {
    const auto* view = static_cast<const OsdMappedView*>(context);
    volatile unsigned char sink = 0;
    for (std::int64_t i = 0; i < view->size(); i += 4096) sink = sink + view->data()[i];
}

// The guard catches each fault in its view, again and again, and lets every
// other fault do what it did before: end the process.
TEST(MappedScanFault, GuardCatchesFaultsInItsViewOnly) {
    TempDir dir;
    const std::string path = dense_file(dir, 4 * MiB);
    const int caught = in_child([&] {
        OsdFile file;
        if (osd_open(file, path, OsdAccess::Read) != 0) return 10;
        OsdMappedView view = osd_map_view(file, 0, 4 * MiB);
        if (!view.mapped()) return 11;
        if (!osd_run_guarded(view.data(), view.size(), touch_every_page, &view)) return 12;  // whole file: fine
        if (::truncate(path.c_str(), 0) != 0) return 13;
        for (int again = 0; again < 3; ++again) {
            if (osd_run_guarded(view.data(), view.size(), touch_every_page, &view)) return 14;
        }
        return 0;
    });
    EXPECT_EQ(caught, 0);

    write_file(path, std::string(static_cast<std::size_t>(4 * MiB), 'y'));
    const int unguarded = in_child([&] {
        OsdFile file;
        if (osd_open(file, path, OsdAccess::Read) != 0) return 10;
        OsdMappedView view = osd_map_view(file, 0, 4 * MiB);
        if (!view.mapped()) return 11;
        // A guard once installed stays a bystander for faults outside it.
        OsdMappedView other = osd_map_view(file, 0, 4096);
        if (!osd_run_guarded(other.data(), other.size(), touch_every_page, &other)) return 12;
        if (::truncate(path.c_str(), 0) != 0) return 13;
        std::FILE* quiet = std::freopen("/dev/null", "w", stderr);  // a sanitizer's report of the expected fault
        (void)quiet;
        touch_every_page(&view);
        return 0;
    });
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_NE(unguarded, 0);  // AddressSanitizer, the handler before ours, reports it and exits
#else
    EXPECT_EQ(unguarded, 128 + SIGBUS);
#endif
}

// Bringing in pages the file no longer has must not raise a fault on the
// prefetching thread, where no guard could catch it.
TEST(MappedScanFault, PrefetchOfACutFileRaisesNothing) {
    TempDir dir;
    const std::string path = dense_file(dir, 16 * MiB);
    const int outcome = in_child([&] {
        OsdFile file;
        if (osd_open(file, path, OsdAccess::Read) != 0) return 10;
        OsdMappedView view = osd_map_view(file, 0, 16 * MiB);
        if (!view.mapped()) return 11;
        OsdPrefetcher prefetcher;
        prefetcher.request(view, 8 * MiB, 8 * MiB);
        prefetcher.wait();
        if (::truncate(path.c_str(), MiB) != 0) return 13;
        if (view.prefetch(8 * MiB, MiB)) return 14;  // gone: cannot be brought in
        prefetcher.request(view, 0, 16 * MiB);
        prefetcher.request(view, 4 * MiB, 12 * MiB);  // replaces the one under way
        prefetcher.wait();
        prefetcher.request(view, 0, 16 * MiB);
        return 0;  // and the destructor stops the thread mid-request
    });
    EXPECT_EQ(outcome, 0);
}

// Another process cuts the file while the scan runs: between chunks, and
// between bringing a chunk in and testing it, which only the guard catches.
TEST(MappedScanFault, FileCutByAnotherProcessIsAReadError) {
    TempDir dir;
    const std::int64_t size = 40 * MiB + 12345;
    for (bool betweenPrefetchAndTest : {false, true}) {
        SCOPED_TRACE(betweenPrefetchAndTest ? "after the chunk was brought in" : "between chunks");
        const std::string path = dense_file(dir, size);
        const int outcome = in_child([&] {
            Truncator truncator(path);
            OsdFile file;
            if (osd_open(file, path, OsdAccess::Read) != 0) return 10;
            WatchedSource source(file);
            CountingObserver observer;
            std::int64_t cutChunk = -1;
            const int chunkToCut = 20;  // in the second window
            int views = 0;
            if (betweenPrefetchAndTest) {
                source.afterView = [&](std::int64_t chunkStart) {
                    if (++views == chunkToCut && truncator.cutTo(chunkStart + 1000)) cutChunk = chunkStart;
                };
            } else {
                observer.atChunk = [&](int chunk) {
                    if (chunk == chunkToCut && truncator.cutTo(size - (chunk - 1) * MiB - 5 * MiB)) {
                        cutChunk = size - chunk * MiB;
                    }
                    return true;
                };
            }
            const ScanResult result = scan_trailing(source, file.size, observer, 0, ScanAccess::ViewsOnly);
            if (cutChunk < 0) return 20;
            if (result.status != ScanResult::Status::ReadError) return 21;
            if (result.failedAt != cutChunk) return 22;
            if (source.views < chunkToCut - 1) return 23;
            return 0;
        });
        EXPECT_EQ(outcome, 0);
    }
}

// The window's own observer cuts the file: the same read error, through
// scan_file and the default (fastest) access. Where the worker got at a few
// chunks of a span before the observer heard of them, the error shows at
// the first chunk got at after the cut: still above the new end.
TEST(MappedScanFault, FileCutByTheObserverIsAReadError) {
    TempDir dir;
    const std::int64_t size = 24 * MiB;
    const std::string path = dense_file(dir, size);
    const int outcome = in_child([&] {
        CountingObserver observer;
        observer.atChunk = [&](int chunk) {
            if (chunk == 5 && ::truncate(path.c_str(), MiB) != 0) std::abort();
            return true;
        };
        const ScanResult result = scan_file(path, observer);
        if (result.status != ScanResult::Status::ReadError) return 21;
        if (result.failedAt > size - 5 * MiB || result.failedAt < MiB) return 22;
        return 0;
    });
    EXPECT_EQ(outcome, 0);
}

#else  // _WIN32

// Windows refuses to cut a file while a view of it is mapped: the scan must
// still give the right answer, and afterwards nothing of it may stand in
// the way of Execute.
TEST(MappedScanWindows, CutIsRefusedWhileMappedAndWorksAfterTheScan) {
    TempDir dir;
    const std::string path = dir.file("mapped.bin");
    const std::int64_t size = 20 * MiB;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    bytes[3 * MiB] = 'x';
    write_file(path, bytes);

    OsdError cutError = OsdError::None;
    CountingObserver observer;
    observer.atChunk = [&](int chunk) {
        if (chunk == 4) {
            OsdFile writer;
            if (osd_open(writer, path, OsdAccess::ReadWrite) != 0) return false;
            if (osd_seek(writer, MiB, OsdOrigin::Begin) != MiB) return false;
            if (osd_seteof(writer) == 0) return false;  // the view would now fault
            cutError = writer.error;
        }
        return true;
    };
    const ScanResult result = scan(path, 0, ScanAccess::ViewsOnly, &observer);
    EXPECT_EQ(result.status, ScanResult::Status::Ok);
    EXPECT_EQ(result.trailing, size - (3 * MiB + 1));
    EXPECT_EQ(cutError, OsdError::AccessDenied);

    const SetLengthResult cut = set_file_length(path, 3 * MiB + 1);
    EXPECT_EQ(cut.status, SetLengthResult::Status::Ok);
    EXPECT_EQ(file_size(path), static_cast<std::uintmax_t>(3 * MiB + 1));

    // Stopped and failed scans hand their views back too.
    write_file(path, bytes);
    observer.atChunk = [](int chunk) { return chunk < 3; };
    EXPECT_EQ(scan(path, 0, ScanAccess::ViewsOnly, &observer).status, ScanResult::Status::Stopped);
    EXPECT_EQ(set_file_length(path, MiB).status, SetLengthResult::Status::Ok);
}

void raise_in_page_error(void* context) {
    const ULONG_PTR information[3] = {0, reinterpret_cast<ULONG_PTR>(context), 0xC000009C};
    RaiseException(EXCEPTION_IN_PAGE_ERROR, 0, 3, information);
}

void do_nothing(void*) {}

// An in-page error inside the guarded bytes comes back as false, again and
// again; work that does not fault comes back true.
TEST(MappedScanWindows, GuardTurnsAnInPageErrorIntoFalse) {
    std::vector<unsigned char> bytes(8192);
    for (int again = 0; again < 3; ++again) {
        EXPECT_FALSE(osd_run_guarded(bytes.data(), 8192, raise_in_page_error, bytes.data() + 100));
        EXPECT_TRUE(osd_run_guarded(bytes.data(), 8192, do_nothing, nullptr));
    }
}

#endif

}  // namespace
