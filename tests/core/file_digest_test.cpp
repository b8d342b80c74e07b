// The digest engine on real files: a file that changes under it, or a stop,
// gives no digest; --algo's list reads in order, each name once.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "digest/file_digest.h"
#include "tests/temp_dir.h"

namespace {

using Status = FileDigests::Status;

// Does `action` before the second chunk is read; it may stop the work.
class BeforeSecondChunk final : public ScanObserver {
public:
    explicit BeforeSecondChunk(std::function<bool()> action) : action_(std::move(action)) {}
    bool beforeChunk(int) override { return true; }
    bool beforeBytes(std::int64_t done, std::int64_t) override { return done != kDigestChunkSize || action_(); }

private:
    std::function<bool()> action_;
};

TEST(FileDigest, AChangeWhileReadingOrAStopGivesNoDigest) {
    TempDir dir;
    const std::string path = dir.file("image.bin");
    struct Case {
        const char* name;
        std::function<bool()> action;
        Status expected;
    };
    const Case cases[] = {
        {"untouched", [] { return true; }, Status::Ok},
        {"grown", [&] { return static_cast<bool>(std::ofstream(fs_path(path), std::ios::app) << 'x'); }, Status::Changed},
        {"shrunk", [&] { std::filesystem::resize_file(fs_path(path), kDigestChunkSize + 10); return true; },
         Status::Changed},
        {"stopped", [] { return false; }, Status::Stopped},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        write_file(path, std::string(3 * kDigestChunkSize, 'a'));
        OsdFile file;
        ASSERT_EQ(osd_open(file, path, OsdAccess::Read), 0);
        BeforeSecondChunk observer(c.action);
        const FileDigests result =
            digest_file(file, {DigestAlgorithm::Sha256, DigestAlgorithm::Crc32}, std::nullopt, observer);
        EXPECT_EQ(result.status, c.expected);
        EXPECT_EQ(result.hex.size(), c.expected == Status::Ok ? 2u : 0u);
    }
}

TEST(DigestList, NamesInOrderEachOnce) {
    using enum DigestAlgorithm;
    EXPECT_EQ(parse_digest_list("sha256,crc32,sha256").algorithms, (std::vector{Sha256, Crc32}));
    for (const std::string unknown : {"", "sha-1", "MD5"}) {
        EXPECT_EQ(parse_digest_list("md5," + unknown).unknown, unknown);
        EXPECT_EQ(parse_digest_list(unknown + ",md5").unknown, unknown);
    }
}

}  // namespace
