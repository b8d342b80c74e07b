// tavrix-cli under a hostile machine: files changed between two steps (made
// deterministic by tavrix-cli-seams), signals, standard output that cannot
// be written, lengths that do not take, names that are not UTF-8.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <limits>
#include <thread>

#include "tests/cli/run_program.h"
#include "tests/file_holder.h"
#include "tests/temp_dir.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

std::string repeat(std::size_t count, char byte) { return std::string(count, byte); }

// The value of `key` in the first JSON line a run printed; "" without one.
std::string first_json(const ProgramRun& run, const std::string& key) {
    if (run.lines().empty()) return "";
    const JsonLine json = parse_json_line(run.lines()[0]);
    const auto value = json.values.find(key);
    return value == json.values.end() ? "" : value->second;
}

// A scan's size belongs to the file as the scan saw it: whatever happens to
// the name or the bytes before the cut is refused, and nothing is cut. A
// write or append can only happen where no lease keeps others out; under a
// lease, another program's open is what there is to see.
TEST(CliRaces, TrimCutsOnlyTheUnchangedFileItScanned) {
    TempDir dir;
    const std::string path = dir.file("dump.bin");
    const std::string other = dir.file("other.bin");
    const std::string padded = "data" + repeat(8192, '\0');
    struct Case {
        const char* action;  // at the seam between scan and cut
        bool unguarded;
        const char* error;
    };
    std::vector<Case> cases;
#ifndef _WIN32  // Windows lets no one write, rename over or delete a file held for a change
    cases = {{"write:6000", true, "changed"}, {"append:10", true, "changed"}, {"rename:OTHER", false, "changed"},
             {"symlink:OTHER", false, "changed"}, {"open", false, "in_use"}};
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action);
        write_file(path, padded);
        const bool withOther = std::string(c.action).find("OTHER") != std::string::npos;
        if (withOther) write_file(other, repeat(8196, 'o'));
        std::string action = c.action;
        if (withOther) action.replace(action.find("OTHER"), 5, other);
        ProgramRun run;
        {
            const SeamAction seam("before-cut", action, c.unguarded);
            run = run_cli({"trim", "--json", path});
        }
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_EQ(run.err, "tavrix-cli: " + path + ": " +
                               (c.error == std::string("changed") ? "changed since it was scanned"
                                                                 : "in use by another program") + "\n");
        EXPECT_EQ(first_json(run, "error"), c.error) << run.out;
        EXPECT_GE(file_size(path), padded.size()) << "nothing was cut";
        std::filesystem::remove(fs_path(path));
        std::filesystem::remove(fs_path(other));
    }
    write_file(path, padded);
    EXPECT_EQ(run_cli({"trim", path}).status, 0);
    EXPECT_EQ(read_file(path), "data");
}

// Another program that has the file open, mapped or locked keeps it: each
// change refuses, dry runs alike, names the cause and touches nothing; once
// the other program lets go, the change is made.
TEST(CliRaces, AFileAnotherProgramHoldsIsLeftAlone) {
    TempDir dir;
    const std::string path = dir.file("held.bin");
    const std::string padded = "data" + repeat(8192, '\0');
    struct Case {
        Hold hold;
        const char* error;
    };
    std::vector<Case> cases{{Hold::Writer, "in_use"}, {Hold::Mapping, "in_use"},
                            {Hold::WholeFileLock, "locked"}, {Hold::RangeLock, "locked"}};
#ifndef _WIN32  // Windows lets readers stay
    cases.push_back({Hold::Reader, "in_use"});
#endif
    write_file(path, padded);
    for (const Case& c : cases) {
        {
            // Read only once it is let go: closing any descriptor of the
            // file drops the POSIX locks the process holds on it.
            const FileHolder holder(path, c.hold);
            for (const std::vector<std::string>& command : std::vector<std::vector<std::string>>{
                     {"trim"}, {"set", "--fill", "0xab", "+1M"}, {"set", "--dry-run", "1"}}) {
                std::vector<std::string> args = command;
                args.insert(args.end(), {"--json", path});
                const ProgramRun run = run_cli(args);
                SCOPED_TRACE(std::string(c.error) + " " + command[0] + " " + run.err);
                EXPECT_EQ(run.status, 1);
                EXPECT_EQ(first_json(run, "error"), c.error);
            }
        }
        EXPECT_EQ(read_file(path), padded);
    }
    EXPECT_EQ(run_cli({"trim", path}).status, 0);
    EXPECT_EQ(read_file(path), "data");
}

#ifndef _WIN32  // Windows lets no one write a file opened for a change
// Where no lease keeps others out, a relative size applies to the length
// the setting handle reads, not to one read before the file was opened.
TEST(CliRaces, RelativeSetUsesTheLengthOfTheFileItSets) {
    TempDir dir;
    const std::string path = dir.file("growing.bin");
    write_file(path, repeat(12288, 'g'));
    const SeamAction seam("after-open", "append:4096", true);
    const ProgramRun run = run_cli({"set", "+1K", path});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(file_size(path), 16384u + 1024u);
    EXPECT_EQ(run.out, path + ": 16,384 \u2192 17,408 bytes\n");
}

// A new file gets its name only once complete, and one that fails removes
// nothing it did not make: not a file renamed onto its name meanwhile, also
// where the file system shows the new file's name from the start.
TEST(CliRaces, ACreateNeverRemovesAFileItDidNotMake) {
    TempDir dir;
    const std::string path = dir.file("out.bin");
    const std::string other = dir.file("other.bin");
    for (const bool unguarded : {false, true}) {
        SCOPED_TRACE(unguarded ? "unguarded" : "unnamed until complete");
        write_file(other, "someone else's");
        const SeamAction seam("before-publish", "rename:" + other, unguarded);
        const ProgramRun run = run_cli({"create", "--json", "--fill", "random", "3M", path});
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_EQ(first_json(run, "error"), "already exists");
        EXPECT_EQ(read_file(path), "someone else's");
        std::filesystem::remove(fs_path(path));
    }
}
#endif

// Names in JSON: every byte outside valid UTF-8 is its own \udcXX escape,
// so two names never print alike and each decodes back byte for byte.
TEST(CliPaths, JsonNamesAreExactAndUnambiguous) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows names are UTF-16";
#else
    TempDir dir;
    const std::string surrogates = "pair\xed\xa0\x80\xed\xb0\x80.bin";
    const std::string astral = "pair\xf0\x90\x80\x80.bin";
    const std::string overlong = "slash\xc0\xaf.bin";
    for (const std::string& name : {surrogates, astral, overlong}) write_file(dir.file(name), "x");
    const ProgramRun run = run_cli({"info", "--json", surrogates, astral, overlong}, dir.path());
    ASSERT_EQ(run.lines().size(), 3u) << run.out;
    EXPECT_NE(run.lines()[0].find("pair\\udced\\udca0\\udc80\\udced\\udcb0\\udc80.bin"), std::string::npos);
    EXPECT_NE(run.lines()[1].find("pair\xf0\x90\x80\x80.bin"), std::string::npos);
    EXPECT_NE(run.lines()[2].find("slash\\udcc0\\udcaf.bin"), std::string::npos);
    const std::vector<std::string> names{surrogates, astral, overlong};
    for (std::size_t i = 0; i < names.size(); ++i) EXPECT_EQ(parse_json_line(run.lines()[i])["path"], names[i]);
#endif
}

#ifndef _WIN32

// Runs tavrix-cli with standard output on `out` (a descriptor the child
// gets as 1; -1: closed), standard error captured or closed; the exit
// status, or 128 + signal.
ProgramRun run_with_output(const std::vector<std::string>& args, int out, bool closeErr = false) {
    const std::string errPath = utf8_of(std::filesystem::temp_directory_path() /
                                        ("tavrix-cli-err-" + std::to_string(::getpid())));
    std::vector<char*> argv;
    const std::string program = cli_program();
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (err < 0 || (out < 0 ? ::close(1) : ::dup2(out, 1)) < 0 || ::dup2(err, 2) < 0 ||
            (closeErr && ::close(2) < 0))
            ::_exit(127);
        ::signal(SIGPIPE, SIG_DFL);  // as a shell would leave it
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ProgramRun run;
    int status = 0;
    if (::waitpid(pid, &status, 0) == pid)
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.err = read_file(errPath);
    std::filesystem::remove(errPath);
    return run;
}

// A report that cannot be written never kills the work: the file is
// finished, the failure named on standard error, the status 1.
TEST(CliOutput, UnwritableOutputFinishesTheFileAndFails) {
    TempDir dir;
    const std::string path = dir.file("set.bin");
    struct Sink {
        const char* name;
        const char* cause;
    };
    for (const Sink sink : {Sink{"/dev/full", "No space left on device"}, Sink{"closed pipe", "Broken pipe"}}) {
        SCOPED_TRACE(sink.name);
        write_file(path, "0123456789");
        int ends[2] = {-1, -1};
        int out = -1;
        if (std::string(sink.name) == "/dev/full") {
            out = ::open("/dev/full", O_WRONLY);
        } else {
            ASSERT_EQ(::pipe(ends), 0);
            ::close(ends[0]);
            out = ends[1];
        }
        ASSERT_GE(out, 0);
        const ProgramRun run = run_with_output({"set", "4", path}, out);
        const ProgramRun help = run_with_output({"--help"}, out);
        ::close(out);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, std::string("tavrix-cli: write error: ") + sink.cause + "\n");
        EXPECT_EQ(read_file(path), "0123");
        EXPECT_EQ(help.status, 1);
    }
}

// A closed standard stream is no place for a file: the report or an error
// said while the file is open reaches no file, and a report that cannot be
// written is the failure it always was.
TEST(CliOutput, ClosedStandardStreamsReceiveNoFile) {
    TempDir dir;
    const std::string path = dir.file("closed.bin");
    const std::string padded = "data" + repeat(100, '\0');
    write_file(path, padded);
    const ProgramRun closedOut = run_with_output({"trim", path}, -1);
    EXPECT_EQ(closedOut.status, 1);
    EXPECT_EQ(closedOut.err, "tavrix-cli: write error: Bad file descriptor\n");
    EXPECT_EQ(read_file(path), "data");

    write_file(path, padded);
    const SeamAction seam("before-cut", "interrupt");
    const int out = ::open("/dev/null", O_WRONLY);
    EXPECT_EQ(run_with_output({"trim", path}, out, true).status, 130);
    ::close(out);
    EXPECT_EQ(read_file(path), padded);
}

// An interrupt that arrives once the change is made reports success; the
// file is never changed behind an exit status that says it was not.
TEST(CliInterrupt, AfterTheLastWriteTheChangeStandsAndIsReported) {
    TempDir dir;
    const std::string path = dir.file("done.bin");
    const SeamAction seam("changed", "interrupt");
    write_file(path, "data" + repeat(100, '\0'));
    const ProgramRun trim = run_cli({"trim", path});
    EXPECT_EQ(trim.status, 0) << trim.err;
    EXPECT_EQ(read_file(path), "data");
    EXPECT_EQ(trim.out, path + ": 104 \u2192 4 bytes (100 bytes of 0x00 cut)\n");

    const ProgramRun set = run_cli({"set", "--json", "10", path, dir.file("next.bin")});
    EXPECT_EQ(set.status, 130) << "the second file was not started";
    EXPECT_EQ(file_size(path), 10u);
    EXPECT_FALSE(std::filesystem::exists(fs_path(dir.file("next.bin"))));
    ASSERT_EQ(set.lines().size(), 2u) << set.out;
    EXPECT_EQ(parse_json_line(set.lines()[0])["new_size"], "10");
    EXPECT_EQ(parse_json_line(set.lines()[1])["error"], "interrupted");
}

// A hang-up ignored by whoever started the program (nohup) stays ignored.
TEST(CliInterrupt, InheritedIgnoredSignalsStayIgnored) {
    TempDir dir;
    const std::string path = dir.file("nohup.bin");
    struct sigaction ignore {}, before {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGHUP, &ignore, &before);
    const StartedProgram started = start_cli({"create", "1G", "--fill", "0xff", path}, dir.path());
    ::sigaction(SIGHUP, &before, nullptr);
    // Until the fill has begun (a bound only against a hang).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (std::error_code missing; (std::filesystem::file_size(fs_path(path), missing) == 0 || missing) &&
                                  std::chrono::steady_clock::now() < deadline;)
        std::this_thread::yield();
    ASSERT_EQ(::kill(started.pid, SIGHUP), 0);
    const ProgramRun run = wait_cli(started);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(file_size(path), std::uintmax_t{1} << 30);
}

// A length the system accepts but does not keep is a failure.
TEST(CliErrors, ALengthThatDidNotTakeIsAFailure) {
    const ProgramRun run = run_cli({"set", "--json", "100", "/proc/self/comm"});
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_EQ(first_json(run, "error"), "length not kept");
    EXPECT_NE(run.err.find("the length did not take"), std::string::npos) << run.err;
}

// Only padding is cut, even where the file system misreports holes: on
// tmpfs a file just under 2^63 bytes answers "no data" near its end, and 2
// MiB of data elsewhere hide the block it allocated there.
TEST(CliTrim, HolesThatContradictTheAllocationAreRead) {
    if (!std::filesystem::is_directory("/dev/shm")) GTEST_SKIP() << "no /dev/shm";
    const std::string path = "/dev/shm/tavrix-huge-" + std::to_string(::getpid()) + ".bin";
    const std::int64_t size = std::numeric_limits<std::int64_t>::max() - 1;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    const std::string head = repeat(2 << 20, 'd');
    const bool made = ::ftruncate(fd, size) == 0 && ::pwrite(fd, head.data(), head.size(), 0) == 2 << 20 &&
                      ::pwrite(fd, "PRECIOUS", 8, size - 8) == 8;
    ::close(fd);
    if (made) {
        const ProgramRun run = run_cli({"trim", "--json", path});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(first_json(run, "new_size"), std::to_string(size));
        EXPECT_EQ(file_size(path), static_cast<std::uintmax_t>(size));
    }
    std::filesystem::remove(path);
    if (!made) GTEST_SKIP() << "this file system takes no file that large";
}

#endif

}  // namespace
