// What the benches share: making their test files, timing a piece of work,
// and running a program the way a shell would, its output thrown away or
// kept in a file.
#pragma once

#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

inline bool write_all(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t done = ::write(fd, data, size);
        if (done <= 0) return false;
        data += done;
        size -= static_cast<std::size_t>(done);
    }
    return true;
}

// One byte that is not `pad`, then `size - 1` bytes of `pad`: a scan tests
// them all. Written through to the disk, so that none waits to be.
inline bool make_dense(const std::string& path, std::int64_t size, char pad) {
    constexpr std::int64_t kBlock = 1 << 20;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    std::vector<char> block(static_cast<std::size_t>(kBlock), pad);
    block[0] = '\x01';
    bool ok = true;
    for (std::int64_t written = 0; ok && written < size; written += kBlock) {
        ok = write_all(fd, block.data(), block.size());
        block[0] = pad;
    }
    ok = ::fsync(fd) == 0 && ok;
    ::close(fd);
    return ok;
}

// 4 KiB of data, then a hole up to `size`.
inline bool make_sparse(const std::string& path, std::int64_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    std::vector<char> data(4096, 'x');
    const bool ok = write_all(fd, data.data(), data.size()) && ::ftruncate(fd, size) == 0;
    ::close(fd);
    return ok;
}

inline double time_of(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs a program with standard output into `outPath`; its exit status, or
// -1 when it could not start or died of a signal. `maxRssKib`, when given,
// gets the program's peak resident memory.
inline int run(const std::vector<std::string>& args, const std::string& outPath = "/dev/null",
               long* maxRssKib = nullptr) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    if (maxRssKib != nullptr) *maxRssKib = usage.ru_maxrss;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
