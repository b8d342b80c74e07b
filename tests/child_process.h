// Running a test's body in a child process, so that a fault nobody catches
// ends the child, not the test program.
#pragma once

#ifndef _WIN32
#include <cstdio>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

// The child's exit code, or 128 + the signal that ended it; -1 when no child
// could be run.
inline int in_child(const std::function<int()>& body) {
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}
#endif
