// The test build of tavrix-cli: at the seam named in TAVRIX_TEST_SEAM
// ("before-cut write:4096"), it changes the file as another process could,
// so a race runs the same way every time. A failed action ends the program
// with status 99, so a test never passes on a change that did not happen.
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "cli/console.h"
#include "cli/test_seam.h"
#include "tests/temp_dir.h"

namespace {

const char* seam_name(TestSeam seam) {
    switch (seam) {
        case TestSeam::BeforeCut: return "before-cut";
        case TestSeam::AfterOpen: return "after-open";
        case TestSeam::Changed: return "changed";
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
    return false;
}

}  // namespace

void cli_test_seam(TestSeam seam, const std::string& path) {
    const char* wanted = std::getenv("TAVRIX_TEST_SEAM");
    if (wanted == nullptr) return;
    const std::string request = wanted;
    const std::size_t space = request.find(' ');
    if (request.substr(0, space) != seam_name(seam)) return;
    if (space == std::string::npos || !act(request.substr(space + 1), path)) {
        write_err("test seam: cannot do '" + request + "'\n");
        std::_Exit(99);
    }
}
