// The test build of tavrix-cli: at the seam named in TAVRIX_TEST_SEAM
// ("before-cut write:4096"), it changes the file as another process could,
// so a race runs the same way every time. A failed action ends the program
// with status 99, so a test never passes on a change that did not happen.
// A request that ends in " unguarded" runs the program as on a file system
// without leases or unnamed files.
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "cli/console.h"
#include "cli/test_seam.h"
#include "tests/temp_dir.h"
#include "tests/unguarded.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

constexpr std::string_view kUnguarded = " unguarded";

std::string seam_request() {
    const char* wanted = std::getenv("TAVRIX_TEST_SEAM");
    return wanted == nullptr ? std::string() : std::string(wanted);
}

const bool unguarded_run = [] {
    if (!seam_request().ends_with(kUnguarded)) return false;
    osd_set_guards({false, false});
    return true;
}();

const char* seam_name(TestSeam seam) {
    switch (seam) {
        case TestSeam::BeforeCut: return "before-cut";
        case TestSeam::AfterOpen: return "after-open";
        case TestSeam::Changed: return "changed";
        case TestSeam::BeforePublish: return "before-publish";
    }
    return "";
}

bool act(const std::string& action, const std::string& path) {
    const std::size_t colon = action.find(':');
    const std::string verb = action.substr(0, colon);
    const std::string argument = colon == std::string::npos ? "" : action.substr(colon + 1);
    std::error_code error;
    if (verb == "rename") {
        std::filesystem::rename(fs_path(argument), fs_path(path), error);
        return !error;
    }
    if (verb == "symlink") {
        std::filesystem::remove(fs_path(path), error);
        std::filesystem::create_symlink(fs_path(argument), fs_path(path), error);
        return !error;
    }
    if (verb == "write") {
        std::fstream file(fs_path(path), std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(std::stoll(argument));
        file.put('X');
        return static_cast<bool>(file.flush());
    }
    if (verb == "append") {
        std::ofstream file(fs_path(path), std::ios::app | std::ios::binary);
        file << std::string(std::stoul(argument), 'A');
        return static_cast<bool>(file.flush());
    }
    if (verb == "interrupt") return std::raise(SIGINT) == 0;
#ifndef _WIN32
    if (verb == "open") {
        // As another program opening the file: under a lease the open
        // fails at once (O_NONBLOCK) and breaks it.
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
        return true;
    }
#endif
    return false;
}

}  // namespace

void cli_test_seam(TestSeam seam, const std::string& path) {
    std::string request = seam_request();
    if (request.empty()) return;
    if (unguarded_run) request.resize(request.size() - kUnguarded.size());
    const std::size_t space = request.find(' ');
    if (request.substr(0, space) != seam_name(seam)) return;
    if (space == std::string::npos || !act(request.substr(space + 1), path)) {
        write_err("test seam: cannot do '" + request + "'\n");
        std::_Exit(99);
    }
}
