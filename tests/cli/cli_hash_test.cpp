// tavrix-cli hash through the real program: known digests, plain and padded,
// here and under wine; lines the checksum tools read back; failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "tests/cli/run_program.h"
#include "tests/temp_dir.h"

namespace {

const std::string kAll = "crc32,md5,sha1,sha256";

std::vector<std::string> checksum_lines(const std::vector<std::string>& digests, const std::string& name) {
    std::vector<std::string> lines;
    for (const std::string& hex : digests) lines.push_back(hex + "  " + name);
    return lines;
}

// Every algorithm at once (shared between two threads), and a padded file
// against the same bytes really written out.
TEST(CliHash, KnownDigestsPlainAndPadded) {
    TempDir dir;
    struct Case {
        std::string content;
        std::string padTo;  // empty: not padded
        const char* byte;
        std::int64_t paddedSize;
        std::vector<std::string> digests;  // crc32, md5, sha1, sha256
    };
    const Case cases[] = {
        {"", "", "", 0,
         {"00000000", "d41d8cd98f00b204e9800998ecf8427e", "da39a3ee5e6b4b0d3255bfef95601890afd80709",
          "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"}},
        {"abc", "", "", 3,
         {"352441c2", "900150983cd24fb0d6963f7d28e17f72", "a9993e364706816aba3e25717850c26c9cd0d89d",
          "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"}},
        {"abc", "3145733", "0xff", 3145733,
         {"9ef2117b", "3ab0eb34664e057a0222d7be567aa561", "93c9082c7693c1d5d6a82826d7d1ec082b89e457",
          "e362f91497fe94ee1c4c654abed2e6b200db2712e75cb5fd02c0239d76b193b1"}},
        {"", "1000", "0x00", 1000,
         {"060b1780", "ede3d3b685b4e137ba4cb2521329a75e", "c577f7a37657053275f3e3ecc06ec22e6b909366",
          "541b3e9daa09b20bf85fa273e5cbd3e80185aa4ec298e765db87742b70138a53"}},
        {"abc", "3", "0x00", 3,  // padded to its own length: nothing added
         {"352441c2", "900150983cd24fb0d6963f7d28e17f72", "a9993e364706816aba3e25717850c26c9cd0d89d",
          "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content + " to " + c.padTo);
        write_file(dir.file("trimmed.bin"), c.content);
        std::vector<std::string> args{"hash", "--algo", kAll, "trimmed.bin"};
        if (!c.padTo.empty()) args.insert(args.end() - 1, {"--pad-to", c.padTo, "--byte", c.byte});
        const ProgramRun run = run_cli(args, dir.path());
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.lines(), checksum_lines(c.digests, "trimmed.bin"));

        const char byte = static_cast<char>(std::strtol(c.byte, nullptr, 16));
        write_file(dir.file("padded.bin"), c.content + std::string(c.paddedSize - c.content.size(), byte));
        EXPECT_EQ(run_cli({"hash", "--algo", kAll, "padded.bin"}, dir.path()).lines(),
                  checksum_lines(c.digests, "padded.bin"));
    }
}

// One object per file, the other files done when one is longer than
// --pad-to, and the cause on standard error.
TEST(CliHash, JsonAndAFileLongerThanThePadding) {
    TempDir dir;
    write_file(dir.file("a.bin"), "abc");
    write_file(dir.file("big.bin"), std::string(10, '\xff'));
    write_file(dir.file("c.bin"), "");
    const std::vector<std::string> files{"a.bin", "big.bin", "missing.bin", "c.bin"};
    std::vector<std::string> args{"hash", "--json", "--pad-to", "8", "--byte", "0xff", "--algo", "sha1,crc32"};
    args.insert(args.end(), files.begin(), files.end());
    const ProgramRun padded = run_cli(args, dir.path());
    EXPECT_EQ(padded.status, 1);
    EXPECT_EQ(padded.err, "tavrix-cli: big.bin: 10 bytes, longer than --pad-to 8 bytes\n"
                          "tavrix-cli: missing.bin: not found\n");
    ASSERT_EQ(padded.lines().size(), 4u) << padded.out;
    const JsonLine a = parse_json_line(padded.lines()[0]);
    EXPECT_EQ(a.keys, (std::vector<std::string>{"path", "size", "padded_to", "byte", "sha1", "crc32"}));
    EXPECT_EQ(a["size"], "3");
    EXPECT_EQ(a["padded_to"], "8");
    EXPECT_EQ(a["byte"], "0xff");
    EXPECT_EQ(parse_json_line(padded.lines()[1])["error"], "longer than --pad-to");
    EXPECT_EQ(parse_json_line(padded.lines()[3])["path"], "c.bin");

    const ProgramRun plain = run_cli({"hash", "--json", "a.bin"}, dir.path());
    EXPECT_EQ(plain.lines(), std::vector<std::string>{
        R"({"path":"a.bin","size":3,"sha256":"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"})"});

    args.erase(args.begin() + 1);  // text: no line for the file that failed
    EXPECT_EQ(run_cli(args, dir.path()).lines().size(), 4u);
}

#ifndef _WIN32
// Our lines are the checksum tools' own, byte for byte, odd names too, and
// each tool checks the files against them.
TEST(CliHash, ChecksumToolsReadOurLines) {
    TempDir dir, lists;
    const std::vector<std::string> names{"plain.bin", "back\\slash", "new\nline", "carriage\rreturn",
                                         "bytes-\xff-not-utf8", "-dash"};
    for (const std::string& name : names) write_file(dir.file(name), name + std::string(5000, '\0'));
    for (const std::string tool : {"sha256sum", "sha1sum", "md5sum"}) {
        const std::string algo = tool.substr(0, tool.size() - 3);
        std::vector<std::string> args{"hash", "--algo", algo, "--"};
        args.insert(args.end(), names.begin(), names.end());
        const ProgramRun ours = run_cli(args, dir.path());
        EXPECT_EQ(ours.status, 0) << ours.err;
        const std::string sums = lists.file(algo);
        ASSERT_EQ(std::system(("cd '" + dir.path() + "' && " + tool + " -- * > '" + sums + "'").c_str()), 0);
        std::vector<std::string> theirs = ProgramRun{0, read_file(sums), ""}.lines(), sorted = ours.lines();
        std::sort(theirs.begin(), theirs.end());
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(sorted, theirs) << tool;

        write_file(sums, ours.out);
        EXPECT_EQ(std::system(("cd '" + dir.path() + "' && " + tool + " -c --quiet '" + sums + "'").c_str()), 0);
    }
}

// Interrupted: no digest, the exit status of the signal, no file after it.
TEST(CliHash, InterruptStopsWithItsStatus) {
    TempDir dir;
    write_file(dir.file("a.bin"), "abc");
    const SeamAction seam("after-open", "interrupt");
    const ProgramRun run = run_cli({"hash", "--pad-to", "1G", "a.bin", "b.bin"}, dir.path());
    EXPECT_EQ(run.status, 130);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "tavrix-cli: a.bin: interrupted\n");
}
#endif

}  // namespace
