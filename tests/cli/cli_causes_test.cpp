// Files truncate could set and causes named exactly, each from the real
// condition: a dangling link, a write-only file, a link loop, a long path,
// a file-size limit, a read-only file system, a fill larger than the disk.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/cli/run_program.h"
#include "tests/temp_dir.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

std::string first_error(const ProgramRun& run) {
    if (run.lines().empty()) return "";
    const JsonLine json = parse_json_line(run.lines()[0]);
    const auto error = json.values.find("error");
    return error == json.values.end() ? "" : error->second;
}

// A fill the file system cannot hold is refused before a byte is written.
TEST(CliCauses, AFillLargerThanTheFreeSpaceIsRefusedFirst) {
    TempDir dir;
    const std::string path = dir.file("huge.bin");
    const ProgramRun run = run_cli({"create", "--json", "8191P", "--fill", "0xff", path});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(first_error(run), "no space left");
    EXPECT_EQ(run.err.rfind("tavrix-cli: " + path + ": no space left (needs 8.0 EiB, ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(" free)\n"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(fs_path(path)));
}

#ifndef _WIN32
// `set` on a dangling link creates the file it points to; `create` refuses
// every existing name, link or not.
TEST(CliCauses, DanglingLinksAreWhereTheFileGoes) {
    TempDir dir;
    std::filesystem::create_directory(fs_path(dir.file("sub")));
    std::filesystem::create_symlink("sub/target.bin", fs_path(dir.file("link.bin")));
    EXPECT_EQ(first_error(run_cli({"create", "--json", "10", "link.bin"}, dir.path())), "already exists");
    EXPECT_NE(run_cli({"set", "--json", "--no-create", "10", "link.bin"}, dir.path()).out.find("\"skipped\""),
              std::string::npos);
    const ProgramRun set = run_cli({"set", "--json", "10", "link.bin"}, dir.path());
    EXPECT_EQ(set.status, 0) << set.err;
    EXPECT_EQ(parse_json_line(set.lines().at(0))["created"], "true");
    EXPECT_EQ(file_size(dir.file("sub/target.bin")), 10u);
    EXPECT_TRUE(std::filesystem::is_symlink(fs_path(dir.file("link.bin"))));
}

// Each cause in the words it has in JSON, from the real condition.
TEST(CliCauses, EachFailureNamesItsOwnCause) {
    TempDir dir;
    std::filesystem::create_symlink("loop-b", fs_path(dir.file("loop-a")));
    std::filesystem::create_symlink("loop-a", fs_path(dir.file("loop-b")));
    std::string longName;
    for (int i = 0; i < 20; ++i) longName += std::string(250, static_cast<char>('a' + i)) + "/";
    longName += "file.bin";
    EXPECT_EQ(first_error(run_cli({"set", "--json", "10", "loop-a"}, dir.path())),
              "too many levels of symbolic links");
    EXPECT_EQ(first_error(run_cli({"set", "--json", "10", longName}, dir.path())), "name too long");

    // ulimit -f: the process's limit, not the file system's.
    const std::string limited = dir.file("limited.bin");
    const std::string script = "ulimit -f 1024 && exec '" + cli_program() + "' set --json 8M '" + limited + "'";
    FILE* shell = ::popen(script.c_str(), "r");
    ASSERT_NE(shell, nullptr);
    std::string out(256, '\0');
    out.resize(std::fread(out.data(), 1, out.size(), shell));
    ::pclose(shell);
    EXPECT_NE(out.find("\"error\":\"file size limit exceeded\""), std::string::npos) << out;
    EXPECT_FALSE(std::filesystem::exists(fs_path(limited)));

    // A disk that fails a read (EIO, injected where strace is at hand).
    const std::string dump = dir.file("dump.bin");
    write_file(dump, "data" + std::string(8192, '\0'));
    // (Leak checks cannot run under strace.)
    const std::string failing = "ASAN_OPTIONS=detect_leaks=0 strace -qq -f -o /dev/null -P '" + dump + "' -e inject=pread64:error=EIO '" +
                                cli_program() + "' scan '" + dump + "' 2>&1 >/dev/null";
    FILE* traced = std::system("command -v strace >/dev/null") == 0 ? ::popen(failing.c_str(), "r") : nullptr;
    if (traced == nullptr) return;
    std::string err(256, '\0');
    err.resize(std::fread(err.data(), 1, err.size(), traced));
    ::pclose(traced);
    EXPECT_EQ(err, "tavrix-cli: " + dump + ": input/output error\n");
}

TEST(CliCauses, ReadOnlyFileSystem) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting needs root";
    TempDir dir;
    const std::string mount = dir.file("ro");
    std::filesystem::create_directory(fs_path(mount));
    if (std::system(("mount -t tmpfs -o size=1m tmpfs '" + mount + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "cannot mount tmpfs here";
    write_file(mount + "/file.bin", "data");
    const bool readOnly = std::system(("mount -o remount,ro '" + mount + "'").c_str()) == 0;
    const ProgramRun run = run_cli({"set", "--json", "1", mount + "/file.bin"});
    std::system(("umount '" + mount + "'").c_str());
    ASSERT_TRUE(readOnly);
    EXPECT_EQ(first_error(run), "read-only file system");
}

// On a real exFAT image (through exfat-fuse, where root and /dev/fuse can
// mount one), growing writes every zero: a growth is made, and one the card
// cannot hold is refused before anything is written.
TEST(CliCauses, GrowthOnExfatIsMadeOrRefusedFirst) {
    const bool tools = std::system("(command -v mkfs.exfat && command -v mount.exfat-fuse) >/dev/null") == 0;
    if (::geteuid() != 0 || !std::filesystem::exists("/dev/fuse") || !tools)
        GTEST_SKIP() << "needs root, /dev/fuse, mkfs.exfat and exfat-fuse";
    TempDir dir;
    const std::string image = dir.file("card.img"), mount = dir.file("card"), file = mount + "/f.bin";
    std::filesystem::create_directory(fs_path(mount));
    const std::string make = "truncate -s 64M '" + image + "' && mkfs.exfat '" + image + "' >/dev/null && " +
                             "mount -t exfat-fuse -o loop '" + image + "' '" + mount + "' 2>/dev/null";
    if (std::system(make.c_str()) != 0) GTEST_SKIP() << "cannot mount an exFAT image here";
    const ProgramRun grown = run_cli({"set", "--json", "20M", file});
    const ProgramRun refused = run_cli({"set", "--json", "1G", file});
    const std::uintmax_t size = file_size(file);
    EXPECT_EQ(std::system(("umount '" + mount + "'").c_str()), 0);
    EXPECT_EQ(grown.status, 0) << grown.err;
    EXPECT_EQ(first_error(refused), "no space left");
    EXPECT_EQ(size, std::uintmax_t{20} << 20);
}

// A file one may write but not read (mode 0200) can be set, by a user the
// permissions apply to.
TEST(CliCauses, AWriteOnlyFileCanBeSet) {
    TempDir dir;
    const std::string path = dir.file("write-only.bin");
    write_file(path, "0123456789");
    ::chmod(path.c_str(), 0200);
    const bool root = ::geteuid() == 0;
    constexpr uid_t kNobody = 65534;
    if (root && (::chown(path.c_str(), kNobody, kNobody) != 0 || ::chmod(dir.path().c_str(), 0755) != 0))
        GTEST_SKIP() << "cannot hand the file to another user";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (root && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) ::_exit(126);
        const std::string program = cli_program();
        ::execl(program.c_str(), program.c_str(), "set", "4", path.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(file_size(path), 4u);
}
#endif

}  // namespace
