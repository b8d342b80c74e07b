// tavrix-cli through the real program on real temporary files. The same
// suite runs on tavrix-cli.exe under wine.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <regex>
#include <thread>

#include "tests/cli/run_program.h"
#include "tests/temp_dir.h"
#include "util/timestamp.h"
#include "util/version.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/stat.h>
#endif

namespace {

constexpr std::int64_t KiB = 1024;
constexpr std::int64_t MiB = 1024 * KiB;
constexpr std::int64_t GiB = 1024 * MiB;

std::string repeat(std::int64_t count, char byte) { return std::string(static_cast<std::size_t>(count), byte); }

const std::vector<std::string> kScanKeys{"path", "size", "pad", "trailing", "data_end"};
const std::vector<std::string> kTrimKeys{"path", "size", "pad", "trailing", "new_size", "changed", "dry_run"};
const std::vector<std::string> kSetKeys{"path", "old_size", "new_size", "created", "changed", "dry_run"};
const std::vector<std::string> kCreateKeys{"path", "new_size", "fill"};
const std::vector<std::string> kInfoKeys{"path", "size", "allocated", "data_runs"};
const std::vector<std::string> kErrorKeys{"path", "error"};

// The one JSON object a run printed, with exactly `keys`.
JsonLine only_object(const ProgramRun& run, const std::vector<std::string>& keys) {
    const std::vector<std::string> lines = run.lines();
    EXPECT_EQ(lines.size(), 1u) << run.out;
    if (lines.size() != 1) return {};
    JsonLine json = parse_json_line(lines[0]);
    EXPECT_EQ(json.keys, keys) << lines[0];
    return json;
}

std::vector<JsonLine> objects(const ProgramRun& run) {
    std::vector<JsonLine> parsed;
    for (const std::string& line : run.lines()) {
        parsed.push_back(parse_json_line(line));
        EXPECT_FALSE(parsed.back().keys.empty()) << "not JSON: " << line;
    }
    return parsed;
}

std::vector<std::string> folder_entries(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(fs_path(dir.path())))
        names.push_back(utf8_of(entry.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

TEST(CliUsage, HelpAndVersion) {
    const ProgramRun help = run_cli({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* word : {"scan", "trim", "set", "create", "info", "hash", "--byte", "--align", "--dry-run", "--json",
                             "--fill", "--seed", "--no-create", "--algo", "--pad-to", "pow2", "KiB", "KB",
                             "129/130/143"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    EXPECT_LE(help.lines().size(), 30u) << "a screenful";
    for (const std::string& line : help.lines()) EXPECT_LE(line.size(), 79u) << line;
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(run_cli({"trim", "--help"}).out, help.out);

    const ProgramRun version = run_cli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("tavrix-cli ") + kTavrixVersion + "\n");
    EXPECT_EQ(run_cli({"--vers"}).out, version.out) << "any unambiguous prefix";
}

// A mistake anywhere on the line: exit 2, a message, and nothing touched,
// not even the files named before the mistake.
TEST(CliUsage, MistakesTouchNothing) {
    TempDir dir;
    const std::string file = dir.file("image.bin");
    const std::string fresh = dir.file("fresh.bin");
    const std::string content = "data" + repeat(100, '\0');
    write_file(file, content);
    const std::vector<std::vector<std::string>> cases{
        {},
        {"frobnicate", file},
        {"scan"},
        {"scan", "--bogus", file},
        {"scan", "-x", file},
        {"scan", "--byte", "0x100", file},
        {"scan", "--byte", "ff", file},
        {"scan", "--byte", "255", file},
        {"scan", "--byte"},
        {"scan", "--json=yes", file},
        {"scan", "--dry-run", file},
        {"trim", file, "--align", "0"},
        {"trim", file, "--align", "-4"},
        {"trim", file, "--align", "pow3"},
        {"trim", file, "--byte=0xfff"},
        {"info", "--align", "4", file},
        {"hash"},
        {"hash", "--algo", "sha512", file},
        {"hash", "--algo", "", file},
        {"hash", "--algo", "md5,,sha1", file},
        {"hash", "--algo", "SHA256", file},
        {"hash", "--byte", "0xff", file},
        {"hash", "--pad-to", "+1K", file},
        {"hash", "--pad-to", "1Q", file},
        {"hash", "--pad-to", "1K", "--byte", "auto", file},
        {"hash", "--pad-to", "1K", "--byte", "0x00,0xff", file},
        {"hash", "--dry-run", file},
        {"scan", "--algo", "md5", file},
        {"set", "10X", file, fresh},
        {"set", "1.5K", file, fresh},
        {"set", "+K", file, fresh},
        {"set", "+ 1", file, fresh},
        {"set", "1 ", file, fresh},
        {"set", "1Z", file, fresh},
        {"set", "", file, fresh},
        {"set", "9223372036854775808", file, fresh},
        {"set", "8589934592G", file, fresh},
        {"set", "8E", file, fresh},
        {"set", "%0", file, fresh},
        {"set", "/0K", file, fresh},
        {"set", "+-5", file, fresh},
        {"set", "1K"},
        {"set", fresh, file},
        {"set", "1K", "--fill", "0x1ff", file, fresh},
        {"set", "1K", "--fill", "ones", file, fresh},
        {"set", "1K", "--seed", "5", file, fresh},
        {"set", "1K", "--fill", "random", "--seed", "-1", fresh},
        {"set", "1K", "--fill", "random", "--seed", "18446744073709551616", fresh},
        {"set", "1K", file, "--fill"},
        {"set", "1K", "--byte", "0xff", file},
        {"set", "-s", "1K"},
        {"set", "-s", "1K", "-2K", file},
        {"set", "-r", file, "+5", fresh},
        {"set", "-r", file, "-s", "5", fresh},
        {"set", "-o", "-r", file, fresh},
        {"set", "-r"},
        {"set", "-sx", file},
        {"set", "-cq", "1K", file},
        {"set", "--s", "1K", file},
        {"create", "-s", "1K", fresh},
        {"create", "1K", "-c", fresh},
        {"create", "+1K", fresh},
        {"create", "-1K", fresh},
        {"create", "1K", fresh, file},
        {"create", "1Q", fresh},
        {"create", "1K", "--no-create", fresh},
        {"create", "1K", "--dry-run", fresh},
    };
    for (const std::vector<std::string>& args : cases) {
        std::string shown;
        for (const std::string& arg : args) shown += " [" + arg + "]";
        const ProgramRun run = run_cli(args, dir.path());
        EXPECT_EQ(run.status, 2) << shown;
        EXPECT_EQ(run.out, "") << shown;
        EXPECT_EQ(run.err.rfind("tavrix-cli: ", 0), 0u) << shown << " -> " << run.err;
        EXPECT_EQ(read_file(file), content) << shown;
        EXPECT_EQ(folder_entries(dir), std::vector<std::string>{"image.bin"}) << shown;
    }
    EXPECT_EQ(run_cli({"set", "--s", "1K", file}).err,
              "tavrix-cli: option '--s' is ambiguous; possibilities: '--seed' '--size'\nTry 'tavrix-cli --help'.\n");
}

// Every unit and every prefix, on a 1000-byte file and a missing one, as a
// dry run (the arithmetic) and for real on a few.
TEST(CliSizes, EveryUnitAndPrefix) {
    TempDir dir;
    const std::string file = dir.file("thousand.bin");
    write_file(file, repeat(1000, 'x'));
    struct Case {
        const char* size;
        std::int64_t expected;
    };
    const Case cases[] = {
        {"0", 0}, {"1234", 1234}, {"007", 7},
        {"1K", KiB}, {"1KiB", KiB}, {"1KB", 1000}, {"3k", 3 * KiB}, {"2kb", 2000},
        {"1M", MiB}, {"1MiB", MiB}, {"1MB", 1000000},
        {"1G", GiB}, {"1GiB", GiB}, {"1GB", 1000000000},
        {"1T", GiB * KiB}, {"1TiB", GiB * KiB}, {"1TB", 1000000000000},
        {"1P", GiB * MiB}, {"1PiB", GiB * MiB}, {"1PB", 1000000000000000},
        {"8191P", 8191 * GiB * MiB}, {"9223372036854775807", INT64_MAX},
        {"7E", 7 * GiB * GiB}, {"1EiB", GiB * GiB}, {"1eb", 1000000000000000000}, {"0Z", 0}, {"0YB", 0},
        {"<1K", 1000}, {"<5", 5}, {">1K", KiB}, {">5", 1000},
        {"+24", 1024}, {"+1K", 2024}, {"-1000", 0}, {"-1KB", 0}, {"-1", 999},
        {"%512", 1024}, {"%1000", 1000}, {"%1K", 1024}, {"%1", 1000},
        {"/512", 512}, {"/1000", 1000}, {"/1K", 0}, {"/3", 999},
    };
    for (const Case& c : cases) {
        const ProgramRun run = run_cli({"set", c.size, "--dry-run", "--json", file});
        ASSERT_EQ(run.status, 0) << c.size << ": " << run.err;
        const JsonLine json = only_object(run, kSetKeys);
        EXPECT_EQ(json["new_size"], std::to_string(c.expected)) << c.size;
        EXPECT_EQ(json["old_size"], "1000");
        EXPECT_EQ(json["dry_run"], "true");
        EXPECT_EQ(json["changed"], c.expected == 1000 ? "false" : "true") << c.size;
    }
    EXPECT_EQ(file_size(file), 1000u);

    // Relative to nothing, a missing file counts as empty.
    const JsonLine missing = only_object(run_cli({"set", "+1K", "--dry-run", "--json", dir.file("none")}), kSetKeys);
    EXPECT_EQ(missing["old_size"], "null");
    EXPECT_EQ(missing["new_size"], "1024");
    EXPECT_EQ(missing["created"], "true");
    EXPECT_EQ(folder_entries(dir), std::vector<std::string>{"thousand.bin"});

    // Out of range for this file only: refused per file, exit 1, unchanged.
    for (const char* size : {"-1001", "+9223372036854775807"}) {
        const ProgramRun run = run_cli({"set", size, file});
        EXPECT_EQ(run.status, 1) << size;
        EXPECT_EQ(file_size(file), 1000u);
    }

    // For real: each file relative to its own length; bytes below the old
    // end kept, bytes above it zero.
    const std::string other = dir.file("other.bin");
    write_file(other, repeat(10, 'y'));
    EXPECT_EQ(run_cli({"set", "+1K", file, other}).status, 0);
    EXPECT_EQ(read_file(file), repeat(1000, 'x') + repeat(KiB, '\0'));
    EXPECT_EQ(read_file(other), repeat(10, 'y') + repeat(KiB, '\0'));
    EXPECT_EQ(run_cli({"set", "/1000", file, other}).status, 0);
    EXPECT_EQ(read_file(file), repeat(1000, 'x') + repeat(1000, '\0'));
    EXPECT_EQ(read_file(other), repeat(10, 'y') + repeat(1000 - 10, '\0'));
    EXPECT_EQ(run_cli({"set", "-1995", file}).status, 0);
    EXPECT_EQ(read_file(file), repeat(5, 'x'));
}

#ifndef _WIN32
// The length truncate gives a copy of a `from`-byte file for `size`; -1
// when it refuses.
std::int64_t truncate_result(const TempDir& dir, std::int64_t from, const std::string& size) {
    const std::string copy = dir.file("truncated.bin");
    write_file(copy, repeat(from, 'x'));
    const std::string command = "truncate -s '" + size + "' '" + copy + "' 2>/dev/null";
    return std::system(command.c_str()) == 0 ? static_cast<std::int64_t>(file_size(copy)) : -1;
}
#endif

// The forms truncate takes beyond plain units, as truncate itself takes them
// where it is installed. -1: a usage error.
TEST(CliSizes, SameAsTruncate) {
    TempDir dir;
    const std::string file = dir.file("thousand.bin");
    write_file(file, repeat(1000, 'x'));
    struct Case {
        const char* size;
        std::int64_t expected;
    };
    const Case cases[] = {
        {"K", KiB}, {"%K", 1024}, {"/K", 0}, {"<K", 1000}, {">K", KiB}, {"MB", 1000000}, {"KiB", KiB},
        {" 7", 7}, {"\t7", 7}, {" +1", 1001}, {" -1", 999}, {"/ 4", 1000}, {"% 3", 1002}, {"< 5", 5},
        {"> 5", 1000}, {"0Z", 0}, {"0Y", 0}, {"0EiB", 0}, {"1k", KiB}, {"1kB", 1000}, {"+0", 1000},
        {"+K", -1}, {"-K", -1}, {"+ 1", -1}, {"1 ", -1}, {"<-5", -1}, {"+-5", -1}, {"1KiBB", -1}, {"%0", -1},
        {"/0K", -1}, {"1Z", -1}, {"1Y", -1}, {"8E", -1}, {"99999999999999999999", -1}, {"", -1}, {"+", -1},
    };
#ifndef _WIN32
    const bool haveTruncate = std::system("command -v truncate >/dev/null 2>&1") == 0;
#endif
    for (const Case& c : cases) {
        const std::string size = c.size;
        const ProgramRun run = run_cli({"set", size, "--dry-run", "--json", file});
        if (c.expected < 0) {
            EXPECT_EQ(run.status, 2) << "[" << size << "] " << run.out;
        } else {
            ASSERT_EQ(run.status, 0) << "[" << size << "] " << run.err;
            EXPECT_EQ(only_object(run, kSetKeys)["new_size"], std::to_string(c.expected)) << "[" << size << "]";
        }
#ifndef _WIN32
        if (haveTruncate) {
            EXPECT_EQ(truncate_result(dir, 1000, size), c.expected) << "truncate [" << size << "]";
        }
#endif
    }
    EXPECT_NE(run_cli({"set", "1Z", file}).err.find("too large"), std::string::npos);
    EXPECT_EQ(file_size(file), 1000u);
}

// -r takes another file's length as the base, -o counts I/O blocks; both
// as truncate applies them, where it is installed. Run for real, not dry.
TEST(CliSizes, ReferenceAndIoBlocksAsTruncateAppliesThem) {
    TempDir dir;
    write_file(dir.file("ref.bin"), repeat(300, 'r'));
#ifdef _WIN32
    const std::int64_t block = 4096;
#else
    struct stat st {};
    ASSERT_EQ(::stat(dir.path().c_str(), &st), 0);
    const auto block = static_cast<std::int64_t>(st.st_blksize);
    const bool haveTruncate = std::system("command -v truncate >/dev/null 2>&1") == 0;
#endif
    struct Case {
        std::vector<std::string> options;
        std::int64_t expected;  // from a file of 1000 bytes
    };
    const std::vector<Case> cases{
        {{"-r", "ref.bin"}, 300},           {{"-r", "ref.bin", "-s", "+10"}, 310},
        {{"--reference=ref.bin", "-s", "%256"}, 512}, {{"-o", "-s", "2"}, 2 * block},
        {{"-o", "-s", "+1"}, 1000 + block}, {{"-o", "-s", "%1"}, block},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& option : c.options) shown += " " + option;
        write_file(dir.file("f.bin"), repeat(1000, 'x'));
        std::vector<std::string> args{"set"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back("f.bin");
        const ProgramRun run = run_cli(args, dir.path());
        EXPECT_EQ(run.status, 0) << shown << ": " << run.err;
        EXPECT_EQ(file_size(dir.file("f.bin")), static_cast<std::uintmax_t>(c.expected)) << shown;
#ifndef _WIN32
        if (haveTruncate) {
            write_file(dir.file("f.bin"), repeat(1000, 'x'));
            EXPECT_EQ(std::system(("cd '" + dir.path() + "' && truncate" + shown + " f.bin").c_str()), 0) << shown;
            EXPECT_EQ(file_size(dir.file("f.bin")), static_cast<std::uintmax_t>(c.expected)) << "truncate" << shown;
        }
#endif
    }
    // Only a regular file or a block device has a length to give, and a dry
    // run refuses what the real run refuses.
    std::vector<std::pair<std::vector<std::string>, std::string>> refusals{
        {{"-r", "no-such.bin", "f.bin"}, "no-such.bin: not found"},
        {{"-r", ".", "f.bin"}, ".: cannot take a length from it"},
        {{"--dry-run", "1", "."}, ".: is a folder"},
    };
#ifndef _WIN32
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    refusals.push_back({{"-r", "fifo", "f.bin"}, "fifo: cannot take a length from it"});
    refusals.push_back({{"--dry-run", "1", "fifo"}, "fifo: not a regular file"});
    refusals.push_back({{"--dry-run", "1", "/dev/null"}, "/dev/null: not a regular file"});
#endif
    for (const auto& [options, cause] : refusals) {
        std::vector<std::string> args{"set"};
        args.insert(args.end(), options.begin(), options.end());
        const ProgramRun run = run_cli(args, dir.path());
        EXPECT_EQ(run.status, 1) << cause;
        EXPECT_EQ(run.err, "tavrix-cli: " + cause + "\n");
    }
#ifndef _WIN32
    // A loop device, where one can be had, gives the length of its disk.
    write_file(dir.file("disk.img"), repeat(65536, 'd'));
    const std::string attach = "losetup -f --show disk.img > loop.txt 2>/dev/null";
    if (std::system(("cd '" + dir.path() + "' && " + attach).c_str()) == 0) {
        const std::string shown = read_file(dir.file("loop.txt"));
        const std::string loop = shown.substr(0, shown.find('\n'));
        const ProgramRun run = run_cli({"set", "-r", loop, "f.bin"}, dir.path());
        EXPECT_EQ(std::system(("losetup -d " + loop).c_str()), 0);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(file_size(dir.file("f.bin")), 65536u);
    }
#endif
}

// -s and --size give set its SIZE anywhere on the line, then every operand
// is a file; -c is --no-create; short options go together.
TEST(CliSizes, SizeAsAnOption) {
    TempDir dir;
    const std::string file = dir.file("thousand.bin");
    write_file(file, repeat(1000, 'x'));
    const std::vector<std::vector<std::string>> forms{
        {"set", "-s", "1K", file},        {"set", "-s1K", file},         {"set", "--size=1K", file},
        {"set", "--size", "1K", file},    {"set", file, "-s", "1K"},     {"set", "-cs", "1K", file},
        {"set", "-c", "-s", "+24", file}, {"set", "-s", "-0", "-s", ">1K", file},
        {"set", "--siz=1K", file},        {"set", "--si", "1K", "--no-c", file},
        {"set", "--ref", file, "-s", "+24", file},
    };
    for (std::vector<std::string> args : forms) {
        std::string shown;
        for (const std::string& arg : args) shown += " [" + arg + "]";
        args.insert(args.end(), {"--dry-run", "--json"});
        const ProgramRun run = run_cli(args);
        ASSERT_EQ(run.status, 0) << shown << ": " << run.err;
        EXPECT_EQ(only_object(run, kSetKeys)["new_size"], "1024") << shown;
    }
    // With -s, a name that is no size is a file.
    const ProgramRun named = run_cli({"set", "-s", "2", "--json", "two"}, dir.path());
    EXPECT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(file_size(dir.file("two")), 2u);
}

TEST(CliScan, PadBytesInTextAndJson) {
    TempDir dir;
    struct Case {
        const char* name;
        std::string content;
        const char* byte;
        const char* pad;  // as printed; "null" when auto finds none
        std::int64_t trailing;
    };
    const Case cases[] = {
        {"zeros.bin", "data" + repeat(100, '\0'), "0x00", "0x00", 100},
        {"zeros-as-ff.bin", "data" + repeat(100, '\0'), "0xff", "0xff", 0},
        {"ff.bin", "data" + repeat(3 * MiB + 5, '\xff'), "0xff", "0xff", 3 * MiB + 5},
        {"ff-upper.bin", "data" + repeat(7, '\xff'), "0XFF", "0xff", 7},
        {"a5.bin", "\xa5" + repeat(9, '\x5a') + repeat(70, '\xa5'), "0xa5", "0xa5", 70},
        {"single-digit.bin", "data\x07\x07", "0x7", "0x07", 2},
        {"all-pad.bin", repeat(MiB + 1, '\xff'), "0xff", "0xff", MiB + 1},
        {"empty.bin", "", "0xff", "0xff", 0},
        {"auto-zero.bin", "data" + repeat(33, '\0'), "auto", "0x00", 33},
        {"auto-ff.bin", "data\0" + repeat(44, '\xff'), "auto", "0xff", 44},
        {"auto-none.bin", "data" + repeat(5, 'A'), "auto", "null", 0},
        {"auto-empty.bin", "", "auto", "null", 0},
    };
    for (const Case& c : cases) {
        const std::string path = dir.file(c.name);
        write_file(path, c.content);
        const auto size = static_cast<std::int64_t>(c.content.size());
        const ProgramRun run = run_cli({"scan", "--byte", c.byte, "--json", path});
        EXPECT_EQ(run.status, 0) << c.name << run.err;
        EXPECT_EQ(run.err, "");
        const JsonLine json = only_object(run, kScanKeys);
        if (json.keys.empty()) continue;
        EXPECT_EQ(json["path"], path);
        EXPECT_EQ(json["size"], std::to_string(size)) << c.name;
        EXPECT_EQ(json["pad"], c.pad) << c.name;
        EXPECT_EQ(json.isString.at("pad"), std::string(c.pad) != "null") << c.name;
        EXPECT_EQ(json["trailing"], std::to_string(c.trailing)) << c.name;
        EXPECT_EQ(json["data_end"], std::to_string(size - c.trailing)) << c.name;
        EXPECT_EQ(read_file(path), c.content) << "a scan changes nothing";
    }

    // Text: one line per file, the default byte 0x00.
    const ProgramRun text = run_cli({"scan", "zeros.bin", "ff.bin"}, dir.path());
    EXPECT_EQ(text.status, 0);
    EXPECT_EQ(text.out,
              "zeros.bin: 104 bytes, 100 bytes of 0x00 at the end, data ends at 4\n"
              "ff.bin: 3,145,737 bytes, 0 bytes of 0x00 at the end, data ends at 3,145,737\n");
    EXPECT_EQ(run_cli({"scan", "--byte", "auto", "auto-none.bin"}, dir.path()).out,
              "auto-none.bin: 9 bytes, no 0x00 or 0xff padding at the end\n");
}

// A hole reads as zeros: padding for 0x00, the end of the padding for any
// other byte.
// Firmware that ends in two layers (data, 0xFF padding, then zeros): one
// byte removes only the outer layer, the set of both removes the two.
TEST(CliTrim, MixedPaddingComesOffWithASetOfTwoBytes) {
    TempDir dir;
    const std::string layered = "code" + repeat(770970, '\xff') + repeat(3 * MiB, '\0');
    write_file(dir.file("fw.fd"), layered);
    const JsonLine outer = only_object(run_cli({"scan", "--json", "--byte", "auto", "fw.fd"}, dir.path()), kScanKeys);
    EXPECT_EQ(outer["data_end"], std::to_string(4 + 770970));
    const JsonLine both =
        only_object(run_cli({"trim", "--json", "--byte", "0xff,0x00", "fw.fd"}, dir.path()), kTrimKeys);
    EXPECT_EQ(both["pad"], "0x00,0xff");
    EXPECT_EQ(both["new_size"], "4");
    EXPECT_EQ(read_file(dir.file("fw.fd")), "code");
    EXPECT_EQ(run_cli({"scan", "--byte", "0x00,0xff,0x01", "fw.fd"}, dir.path()).status, 2);
}

TEST(CliScan, HoleCountsOnlyAsZeroPadding) {
    TempDir dir;
    const std::string path = dir.file("hole.bin");
    write_file(path, "\xff\xff");
    std::filesystem::resize_file(fs_path(path), 2 * MiB);
    EXPECT_EQ(only_object(run_cli({"scan", "--json", path}), kScanKeys)["trailing"], std::to_string(2 * MiB - 2));
    EXPECT_EQ(only_object(run_cli({"scan", "--json", "--byte", "0xff", path}), kScanKeys)["trailing"], "0");
}

TEST(CliTrim, PowerOfTwoWithADryRunFirst) {
    TempDir dir;
    const std::string path = dir.file("image.bin");
    const std::string data = repeat(MiB - 1, '\x5a') + '\x01';
    write_file(path, data + repeat(3 * MiB, '\xff'));

    const ProgramRun dry = run_cli({"trim", "--byte", "0xff", "--align", "pow2", "--dry-run", "image.bin"}, dir.path());
    EXPECT_EQ(dry.status, 0);
    EXPECT_EQ(dry.out, "image.bin: 4,194,304 \u2192 1,048,576 bytes (3,145,728 bytes of 0xff would be cut; dry run)\n");
    EXPECT_EQ(file_size(path), 4u * MiB);

    const ProgramRun real = run_cli({"trim", "--byte", "0xff", "--align", "pow2", "image.bin"}, dir.path());
    EXPECT_EQ(real.status, 0);
    EXPECT_EQ(real.err, "");
    EXPECT_EQ(real.out, "image.bin: 4,194,304 \u2192 1,048,576 bytes (3,145,728 bytes of 0xff cut)\n");
    EXPECT_EQ(read_file(path), data);

    // Nothing left to cut: left alone.
    const JsonLine again = only_object(run_cli({"trim", "--byte", "0xff", "--json", path}), kTrimKeys);
    EXPECT_EQ(again["new_size"], std::to_string(MiB));
    EXPECT_EQ(again["trailing"], "0");
    EXPECT_EQ(again["changed"], "false");
    EXPECT_EQ(again["dry_run"], "false");
}

// The new length is the data's end rounded up, never past the file's
// length: only padding is ever cut.
TEST(CliTrim, AlignmentNeverCutsData) {
    TempDir dir;
    struct Case {
        std::int64_t data, pad;
        const char* align;
        std::int64_t expected;
    };
    const Case cases[] = {
        {1000, 3000, "512", 1024},
        {1024, 3000, "512", 1024},
        {1000, 10, "512", 1010},     // rounding up would pass the end: unchanged
        {1000, 24, "512", 1024},     // exactly the end
        {1001, 100, "4", 1004},
        {1000, 3000, "1K", 1024},
        {1000, 3000, "1KB", 1000},
        {1000, 3000, "3", 1002},
        {1000, 100, "1", 1000},
        {1000, 100, "pow2", 1024},   // past the end: unchanged
        {1000, 24, "pow2", 1024},
        {1025, 5000, "pow2", 2048},
        {1, 5000, "pow2", 1},
        {0, 5000, "pow2", 0},        // all padding: nothing to keep
        {0, 5000, "512", 0},
        {5, 0, "pow2", 5},           // no padding
    };
    for (const Case& c : cases) {
        const std::string path = dir.file("aligned.bin");
        const std::string data = repeat(c.data, '\x11');
        write_file(path, data + repeat(c.pad, '\xff'));
        const ProgramRun run = run_cli({"trim", "--json", "--byte", "0xff", "--align", c.align, path});
        EXPECT_EQ(run.status, 0);
        const JsonLine json = only_object(run, kTrimKeys);
        const std::string shown = std::to_string(c.data) + "+" + std::to_string(c.pad) + " align " + c.align;
        EXPECT_EQ(json["new_size"], std::to_string(c.expected)) << shown;
        EXPECT_EQ(json["trailing"], std::to_string(c.pad)) << shown;
        EXPECT_EQ(json["changed"], c.expected != c.data + c.pad ? "true" : "false") << shown;
        EXPECT_EQ(read_file(path), data + repeat(c.expected - c.data, '\xff')) << shown;
    }
}

TEST(CliTrim, AutoPadAndTextForEachOutcome) {
    TempDir dir;
    write_file(dir.file("dump.bin"), "dump" + repeat(60, '\0'));
    write_file(dir.file("rom.bin"), "rom!" + repeat(60, '\xff'));
    write_file(dir.file("text.txt"), "no padding here");
    write_file(dir.file("kept.bin"), "keep" + repeat(6, '\0'));

    const ProgramRun run = run_cli({"trim", "--byte", "auto", "--json", "dump.bin", "rom.bin", "text.txt"}, dir.path());
    EXPECT_EQ(run.status, 0);
    const std::vector<JsonLine> json = objects(run);
    ASSERT_EQ(json.size(), 3u);
    EXPECT_EQ(json[0]["pad"], "0x00");
    EXPECT_EQ(json[0]["new_size"], "4");
    EXPECT_EQ(json[1]["pad"], "0xff");
    EXPECT_EQ(json[1]["new_size"], "4");
    EXPECT_EQ(json[2]["pad"], "null");
    EXPECT_EQ(json[2]["changed"], "false");
    EXPECT_EQ(read_file(dir.file("dump.bin")), "dump");
    EXPECT_EQ(read_file(dir.file("rom.bin")), "rom!");
    EXPECT_EQ(read_file(dir.file("text.txt")), "no padding here");

    EXPECT_EQ(run_cli({"trim", "--byte", "auto", "text.txt"}, dir.path()).out,
              "text.txt: 15 bytes, unchanged (no 0x00 or 0xff padding at the end)\n");
    EXPECT_EQ(run_cli({"trim", "--align", "16", "text.txt", "kept.bin"}, dir.path()).out,
              "text.txt: 15 bytes, unchanged (no 0x00 padding at the end)\n"
              "kept.bin: 10 bytes, unchanged (the 6 bytes of 0x00 at the end stay for the alignment)\n");
    EXPECT_EQ(read_file(dir.file("kept.bin")), "keep" + repeat(6, '\0'));
}

TEST(CliSet, CutExtendCreateAndDryRun) {
    TempDir dir;
    const std::string file = dir.file("file.bin");
    write_file(file, "0123456789");

    ProgramRun run = run_cli({"set", "4", "file.bin"}, dir.path());
    EXPECT_EQ(run.out, "file.bin: 10 \u2192 4 bytes\n");
    EXPECT_EQ(read_file(file), "0123");

    const JsonLine extended = only_object(run_cli({"set", "1K", "--json", file}), kSetKeys);
    EXPECT_EQ(extended["old_size"], "4");
    EXPECT_EQ(extended["new_size"], "1024");
    EXPECT_EQ(extended["created"], "false");
    EXPECT_EQ(extended["changed"], "true");
    EXPECT_EQ(read_file(file), "0123" + repeat(1020, '\0'));

    const JsonLine same = only_object(run_cli({"set", "1K", "--json", file}), kSetKeys);
    EXPECT_EQ(same["changed"], "false");
    EXPECT_EQ(run_cli({"set", "1K", "file.bin"}, dir.path()).out, "file.bin: 1,024 bytes, unchanged\n");

    run = run_cli({"set", "1", "--dry-run", "file.bin", "new.bin"}, dir.path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "file.bin: 1,024 \u2192 1 byte (dry run)\nnew.bin: would be created with 1 byte (dry run)\n");
    EXPECT_EQ(file_size(file), 1024u);
    EXPECT_FALSE(std::filesystem::exists(fs_path(dir.file("new.bin"))));

    const JsonLine created = only_object(run_cli({"set", "3", "--json", dir.file("new.bin")}), kSetKeys);
    EXPECT_EQ(created["old_size"], "null");
    EXPECT_EQ(created["created"], "true");
    EXPECT_EQ(created["changed"], "true");
    EXPECT_EQ(created["dry_run"], "false");
    EXPECT_EQ(read_file(dir.file("new.bin")), repeat(3, '\0'));

    // As truncate does, a missing file under --no-create is skipped.
    run = run_cli({"set", "5", "--no-create", "--json", dir.file("absent.bin")});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(only_object(run, {"path", "skipped"})["skipped"], "missing");
    EXPECT_EQ(run_cli({"set", "-c", "5", dir.file("absent.bin")}).out,
              dir.file("absent.bin") + ": missing, skipped (--no-create)\n");
    EXPECT_FALSE(std::filesystem::exists(fs_path(dir.file("absent.bin"))));
    EXPECT_EQ(run_cli({"set", "5", "--no-create", file}).status, 0);
    EXPECT_EQ(file_size(file), 5u);
}

TEST(CliSet, WrittenFillsKeepTheOldBytes) {
    TempDir dir;
    const std::string file = dir.file("file.bin");
    write_file(file, "head");
    EXPECT_EQ(run_cli({"set", "+3M", "--fill", "0xff", file}).status, 0);
    EXPECT_EQ(read_file(file), "head" + repeat(3 * MiB, '\xff'));
    EXPECT_EQ(run_cli({"set", "+2", "--fill", "0x00", file}).status, 0);
    EXPECT_EQ(read_file(file), "head" + repeat(3 * MiB, '\xff') + repeat(2, '\0'));
    // A fill never applies below the old end.
    EXPECT_EQ(run_cli({"set", "2", "--fill", "0x77", file}).status, 0);
    EXPECT_EQ(read_file(file), "he");

    // The same seed, the same bytes, however each file got there.
    const std::string a = dir.file("a.bin"), b = dir.file("b.bin"), c = dir.file("c.bin");
    EXPECT_EQ(run_cli({"set", "3000001", "--fill", "random", "--seed", "42", a}).status, 0);
    write_file(b, "");
    EXPECT_EQ(run_cli({"set", "3000001", "--fill=random", "--seed=42", b}).status, 0);
    EXPECT_EQ(run_cli({"set", "3000001", "--fill", "random", "--seed", "43", c}).status, 0);
    const std::string bytes = read_file(a);
    EXPECT_EQ(bytes.size(), 3000001u);
    EXPECT_EQ(read_file(b), bytes);
    EXPECT_NE(read_file(c), bytes);
    EXPECT_EQ(bytes.find(repeat(16, '\0')), std::string::npos);
}

TEST(CliCreate, NamesAndFills) {
    TempDir dir;
    ProgramRun run = run_cli({"create", "2K", "--json", dir.file("named.bin")});
    EXPECT_EQ(run.status, 0);
    JsonLine json = only_object(run, kCreateKeys);
    EXPECT_EQ(json["path"], dir.file("named.bin"));
    EXPECT_EQ(json["new_size"], "2048");
    EXPECT_EQ(json["fill"], "zero");
    EXPECT_EQ(read_file(dir.file("named.bin")), repeat(2 * KiB, '\0'));

    // Never over an existing file.
    write_file(dir.file("kept.bin"), "kept");
    run = run_cli({"create", "1K", "--json", dir.file("kept.bin")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(only_object(run, kErrorKeys)["error"], "already exists");
    EXPECT_EQ(run.err, "tavrix-cli: " + dir.file("kept.bin") + ": already exists\n");
    EXPECT_EQ(read_file(dir.file("kept.bin")), "kept");

    run = run_cli({"create", "5", "--fill", "0xa5", "--json", dir.file("a5.bin")});
    EXPECT_EQ(only_object(run, kCreateKeys)["fill"], "0xa5");
    EXPECT_EQ(read_file(dir.file("a5.bin")), repeat(5, '\xa5'));
    run = run_cli({"create", "1M", "--fill", "random", "--seed", "1", "--json", dir.file("r1.bin")});
    EXPECT_EQ(only_object(run, kCreateKeys)["fill"], "random");
    EXPECT_EQ(run_cli({"create", "1M", "--fill", "random", "--seed", "1", dir.file("r2.bin")}).status, 0);
    EXPECT_EQ(read_file(dir.file("r1.bin")), read_file(dir.file("r2.bin")));

    run = run_cli({"create", "7", "text.bin"}, dir.path());
    EXPECT_EQ(run.out, "text.bin: created with 7 bytes\n");
}

// In a folder the name is the time stamp, with -2, -3 … when it is taken.
// Every stamp of the next seconds is taken beforehand, so the name is known.
TEST(CliCreate, TimeStampedNameInAFolder) {
    TempDir dir;
    const std::string folder = dir.file("out");
    std::filesystem::create_directory(fs_path(folder));
    const std::time_t now = std::time(nullptr);
    std::vector<std::string> stamps;
    for (int ahead = -1; ahead < 60; ++ahead) {
        const std::time_t when = now + ahead;
        std::tm local{};
#ifdef _WIN32
        localtime_s(&local, &when);
#else
        localtime_r(&when, &local);
#endif
        stamps.push_back(format_timestamp(local));
        write_file(folder + kPathSeparator + stamps.back(), "taken");
    }
    const ProgramRun run = run_cli({"create", "1K", "--json", folder + kPathSeparator});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string path = only_object(run, kCreateKeys)["path"];
    const std::string prefix = folder + kPathSeparator;
    ASSERT_EQ(path.rfind(prefix, 0), 0u) << path;
    const std::string name = path.substr(prefix.size());
    EXPECT_TRUE(std::regex_match(name, std::regex("[0-9]{8}-[0-9]{6}-2"))) << name;
    EXPECT_NE(std::find(stamps.begin(), stamps.end(), name.substr(0, 15)), stamps.end()) << name;
    EXPECT_EQ(file_size(path), 1024u);
    for (const std::string& stamp : stamps) EXPECT_EQ(read_file(folder + kPathSeparator + stamp), "taken");

    // Without a path: the current folder.
    const ProgramRun here = run_cli({"create", "0", "--json"}, folder);
    EXPECT_EQ(here.status, 0);
    const std::string made = only_object(here, kCreateKeys)["path"];
    EXPECT_TRUE(std::regex_search(made, std::regex("[0-9]{8}-[0-9]{6}-[0-9]+$"))) << made;
    EXPECT_EQ(folder_entries(dir), std::vector<std::string>{"out"});
}

TEST(CliInfo, LengthAllocationAndRuns) {
    TempDir dir;
    write_file(dir.file("dense.bin"), repeat(10000, 'd'));
    write_file(dir.file("empty.bin"), "");
    const ProgramRun run = run_cli({"info", "--json", "dense.bin", "empty.bin"}, dir.path());
    EXPECT_EQ(run.status, 0);
    const std::vector<JsonLine> json = objects(run);
    ASSERT_EQ(json.size(), 2u);
    EXPECT_EQ(json[0].keys, kInfoKeys);
    EXPECT_EQ(json[0]["size"], "10000");
    EXPECT_GE(std::stoll(json[0]["allocated"]), 10000);
    EXPECT_EQ(json[0]["data_runs"], "1");
    EXPECT_EQ(json[1]["size"], "0");
    EXPECT_EQ(json[1]["data_runs"], "0");
    const std::string text = run_cli({"info", "dense.bin"}, dir.path()).out;
    EXPECT_TRUE(std::regex_match(text, std::regex("dense\\.bin: 10,000 bytes, [0-9,]+ bytes allocated, 1 data run\n")))
        << text;
}

// Holes: a ≥ 4 GiB sparse file is scanned, trimmed and made without
// reading or writing its holes.
TEST(CliSparse, LargeFilesThroughHoles) {
    TempDir dir;
    if (!holes_reported(dir)) GTEST_SKIP() << "this file system reports no holes";
    const std::string path = dir.file("sparse.bin");
    const std::int64_t size = 5 * GiB;
    const std::int64_t dataAt = 3 * GiB;
    make_sparse(path, static_cast<std::uintmax_t>(size));
    {
        std::fstream patch(fs_path(path), std::ios::in | std::ios::out | std::ios::binary);
        patch.write("head", 4);
        patch.seekp(dataAt);
        patch.write("tail", 4);
    }
    const JsonLine info = only_object(run_cli({"info", "--json", path}), kInfoKeys);
    EXPECT_EQ(info["size"], std::to_string(size));
    EXPECT_EQ(info["data_runs"], "2");
    EXPECT_LT(std::stoll(info["allocated"]), MiB);

    const JsonLine scan = only_object(run_cli({"scan", "--json", path}), kScanKeys);
    EXPECT_EQ(scan["trailing"], std::to_string(size - dataAt - 4));
    const JsonLine trim = only_object(run_cli({"trim", "--json", "--align", "pow2", path}), kTrimKeys);
    EXPECT_EQ(trim["new_size"], std::to_string(4 * GiB));
    EXPECT_EQ(file_size(path), static_cast<std::uintmax_t>(4 * GiB));

    const std::string made = dir.file("made.bin");
    EXPECT_EQ(run_cli({"create", "1T", made}).status, 0);
    const JsonLine madeInfo = only_object(run_cli({"info", "--json", made}), kInfoKeys);
    EXPECT_EQ(madeInfo["size"], std::to_string(1024 * GiB));
    EXPECT_EQ(madeInfo["allocated"], "0");
    EXPECT_EQ(only_object(run_cli({"trim", "--json", made}), kTrimKeys)["new_size"], "0");
}

// One failing file: reported in place, the others done, exit 1.
TEST(CliErrors, EveryFileIsAttempted) {
    TempDir dir;
    write_file(dir.file("a.bin"), "a" + repeat(9, '\0'));
    write_file(dir.file("c.bin"), "c" + repeat(9, '\0'));
    std::filesystem::create_directory(fs_path(dir.file("folder")));
    for (const char* command : {"scan", "trim", "info"}) {
        const ProgramRun run = run_cli({command, "--json", "a.bin", "missing.bin", "folder", "c.bin"}, dir.path());
        EXPECT_EQ(run.status, 1) << command;
        const std::vector<JsonLine> json = objects(run);
        ASSERT_EQ(json.size(), 4u) << command;
        EXPECT_EQ(json[0]["path"], "a.bin");
        EXPECT_EQ(json[1].keys, kErrorKeys);
        EXPECT_EQ(json[1]["error"], "not found");
        EXPECT_EQ(json[2]["error"], "is a folder");
        EXPECT_EQ(json[3]["path"], "c.bin");
        EXPECT_EQ(run.err, "tavrix-cli: missing.bin: not found\ntavrix-cli: folder: is a folder\n") << command;
    }
    EXPECT_EQ(read_file(dir.file("a.bin")), "a");
    EXPECT_EQ(read_file(dir.file("c.bin")), "c");

    const ProgramRun set = run_cli({"set", "2", "a.bin", "folder", "no/such/dir.bin", "c.bin"}, dir.path());
    EXPECT_EQ(set.status, 1);
    EXPECT_EQ(set.lines(), (std::vector<std::string>{"a.bin: 1 \u2192 2 bytes", "c.bin: 1 \u2192 2 bytes"}));
    EXPECT_NE(set.err.find("tavrix-cli: folder: is a folder\n"), std::string::npos) << set.err;
    EXPECT_NE(set.err.find("tavrix-cli: no/such/dir.bin: not found\n"), std::string::npos) << set.err;
    EXPECT_EQ(file_size(dir.file("c.bin")), 2u);
}

// Names that need care on the way through the command line and into JSON.
TEST(CliPaths, AnyNameRoundTrips) {
    TempDir dir;
    std::vector<std::string> names{"日本語のファイル.bin", "with space.bin", "quote\" back\\slash.bin",
                                   "trailing backslash\\"};
#ifdef _WIN32
    names.pop_back();
    names[2] = "quote' and [brackets].bin";
#else
    names.push_back("bytes-\xff\xfe-not-utf8.bin");
#endif
    std::string longFolder = dir.path();
    for (int i = 0; i < 6; ++i) {
        longFolder += kPathSeparator + repeat(50, static_cast<char>('a' + i));
        std::filesystem::create_directory(fs_path(longFolder));
    }
    names.push_back(longFolder.substr(dir.path().size() + 1) + kPathSeparator + "deep.bin");
    for (const std::string& name : names) {
        const std::string path = dir.file(name);
        write_file(path, "x" + repeat(7, '\0'));
        const ProgramRun run = run_cli({"trim", "--json", path});
        EXPECT_EQ(run.status, 0) << name << ": " << run.err;
        const JsonLine json = only_object(run, kTrimKeys);
        if (json.keys.empty()) continue;
        EXPECT_EQ(json["path"], path);
        EXPECT_EQ(file_size(path), 1u) << name;
    }
#ifndef _WIN32
    // Not UTF-8: escaped in JSON, quoted in text.
    const ProgramRun text = run_cli({"info", "bytes-\xff\xfe-not-utf8.bin"}, dir.path());
    EXPECT_EQ(text.out.rfind("'bytes-'$'\\377\\376''-not-utf8.bin': 1 byte", 0), 0u) << text.out;
    EXPECT_NE(run_cli({"info", "--json", "bytes-\xff\xfe-not-utf8.bin"}, dir.path()).out.find("\\udcff\\udcfe"),
              std::string::npos);
#endif
}

// In text, a name that holds control characters or bytes outside UTF-8 is
// quoted as GNU tools quote it, and so is an argument a usage error echoes:
// no control byte reaches the terminal.
TEST(CliPaths, ControlCharactersAreQuotedInText) {
    struct Case {
        std::string name, shown;
    };
    const std::vector<Case> cases{
        {"a\x1b[2Jb", "'a'$'\\033''[2Jb'"},          {"cr\rbel\a", "'cr'$'\\r''bel'$'\\a'"},
        {"tab\tnl\n", "'tab'$'\\t''nl'$'\\n'"},      {"del\x7f", "'del'$'\\177'"},
        {"it's\x1b", "'''it'\\''s'$'\\033'"},          {"c1\xc2\x9b", "'c1'$'\\302\\233'"},
        {"lone\xed\xa0\x80", "'lone'$'\\355\\240\\200'"}, {"plain name", "plain name"},
    };
    std::vector<std::string> args{"info"};
    for (const Case& c : cases) args.push_back(c.name);
    const ProgramRun run = run_cli(args);
    for (const Case& c : cases) EXPECT_NE(run.err.find("tavrix-cli: " + c.shown + ": "), std::string::npos) << c.shown;
    for (const char byte : run.err) EXPECT_TRUE(byte == '\n' || static_cast<unsigned char>(byte) >= 0x20) << run.err;
    EXPECT_EQ(run_cli({"scan", "--byte", "\x1b[2J", "f"}).err,
              "tavrix-cli: invalid byte ''$'\\033''[2J' (0x00 to 0xff, two as 0x00,0xff, or auto)\n"
              "Try 'tavrix-cli --help'.\n");
}

#ifndef _WIN32
// Interrupted mid-fill (Linux: signals): the file is as it was, and the exit
// status says which signal.
TEST(CliInterrupt, WrittenFillIsUndone) {
    TempDir dir;
    struct Case {
        int signal;
        int status;
        bool existing;
    };
    for (const Case c : {Case{SIGINT, 130, false}, Case{SIGTERM, 143, true}}) {
        const std::string path = dir.file(c.existing ? "existing.bin" : "created.bin");
        const std::string before = "kept" + repeat(MiB, '\x42');
        if (c.existing) write_file(path, before);
        const StartedProgram started =
            c.existing ? start_cli({"set", "16G", "--fill", "random", path}, dir.path())
                       : start_cli({"create", "16G", "--fill", "0xff", path}, dir.path());
        // Until the fill has written something.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        const std::uintmax_t start = c.existing ? before.size() : 0;
        for (std::error_code missing; std::chrono::steady_clock::now() < deadline;) {
            const std::uintmax_t now = std::filesystem::file_size(fs_path(path), missing);
            if (!missing && now > start) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ASSERT_EQ(::kill(started.pid, c.signal), 0);
        const ProgramRun run = wait_cli(started);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.err, "tavrix-cli: " + path + ": interrupted\n");
        if (c.existing)
            EXPECT_EQ(read_file(path), before);
        else
            EXPECT_FALSE(std::filesystem::exists(fs_path(path)));
    }
}
#endif

}  // namespace
