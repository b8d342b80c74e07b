// The scan of real files: the answer the layout gives, whatever the layout,
// past 4 GiB too; data runs looked for from the end add up to the forward
// walk; a file cut under the scan is a read error.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "osd/osd.h"
#include "size/padding_kernel.h"
#include "size/scan.h"
#include "size/scan_file.h"
#include "tests/temp_dir.h"

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

ScanResult scan(const std::string& path, std::uint8_t pad, CountingObserver* seen = nullptr) {
    CountingObserver quiet;
    return scan_file(path, seen != nullptr ? *seen : quiet, pad);
}

TEST(FileScan, GivesTheLayoutsAnswer) {
    TempDir dir;
    std::mt19937_64 random(20261208);
    const std::string path = dir.file("layout.bin");
    for (int round = 0; round < 40; ++round) {
        const Layout layout = random_layout(random);
        write_layout(path, layout);
        for (std::uint8_t pad : {std::uint8_t{0x00}, std::uint8_t{0xFF}}) {
            SCOPED_TRACE("round " + std::to_string(round) + " size " + std::to_string(layout.size) + " pad " +
                         std::to_string(pad));
            const ScanResult result = scan(path, pad);
            ASSERT_EQ(result.status, ScanResult::Status::Ok);
            EXPECT_EQ(result.trailing, expected_trailing(layout, pad));
        }
    }
}

// Past 4 GiB, where 32-bit offsets would wrap: zeros written across the
// 4 GiB edge with a data byte just below it, under a 1 GiB hole; and the same
// file ending in 0xFF padding above 4 GiB instead.
TEST(FileScan, SparseFileBeyondFourGiB) {
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
            const ScanResult result = scan(path, pad);
            ASSERT_EQ(result.status, ScanResult::Status::Ok);
            EXPECT_TRUE(result.plan.askHoles) << "sparse: holes looked up";
            EXPECT_FALSE(result.plan.twoCores) << "holes are never in the cache";
            EXPECT_EQ(result.trailing, expected_trailing(*layout, pad)) << "size " << layout->size << " pad " << int{pad};
        }
    }
}

// The kernel's stretches of 256 KiB, tested front to back, must not hide a
// byte near either of their ends.
TEST(FileScan, PadTestFindsBytesAtStretchEdges) {
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

// The file is cut under the scan, as another program might: the scan fails
// at a chunk above the new end, never passing the missing bytes as padding.
// Chunks the helper thread read before the cut were whole then; the error
// shows at the first one read after it.
TEST(FileScan, FileCutDuringTheScanIsAReadError) {
    TempDir dir;
    const std::int64_t size = 72 * MiB + 12345;
    const std::string path = dir.file("cut.bin");
    std::string bytes(static_cast<std::size_t>(size), '\0');
    bytes[0] = 'x';
    write_file(path, bytes);
    for (int cutAtChunk : {2, 20, 40}) {
        SCOPED_TRACE("cut at chunk " + std::to_string(cutAtChunk));
        write_file(path, bytes);
        CountingObserver observer;
        observer.atChunk = [&](int chunk) {
            if (chunk == cutAtChunk) std::filesystem::resize_file(fs_path(path), MiB);
            return true;
        };
        const ScanResult result = scan(path, 0, &observer);
        EXPECT_EQ(result.status, ScanResult::Status::ReadError);
        EXPECT_GE(result.failedAt, MiB);
        EXPECT_LE(result.failedAt, size - (cutAtChunk - 1) * MiB);
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
    EXPECT_EQ(observer.percents.size(), 2u) << "the file's tail, read whatever the holes say, and the last runs";
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

}  // namespace
