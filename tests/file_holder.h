// Another program's hold on a file, as a test makes it: open for writing or
// reading, mapped, or locked. Held by the test's own process, it is another
// program to tavrix-cli, and another open file to the window in-process.
#pragma once

#include <string>

#ifdef _WIN32
#include <windows.h>

#include "util/text_encoding.h"
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

enum class Hold { Writer, Reader, Mapping, WholeFileLock, RangeLock };

// Lets go when it ends, as the other program ending would.
class FileHolder {
public:
#ifdef _WIN32
    FileHolder(const std::string& path, Hold hold) {
        const bool writes = hold == Hold::Writer || hold == Hold::Mapping;
        handle_ = CreateFileW(reinterpret_cast<const wchar_t*>(path_to_utf16(path)->c_str()),
                              writes ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
        OVERLAPPED whole{};
        if (hold == Hold::Mapping) {
            HANDLE section = CreateFileMappingW(handle_, nullptr, PAGE_READWRITE, 0, 0, nullptr);
            view_ = MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, 0);
            CloseHandle(section);
        } else if (hold == Hold::WholeFileLock || hold == Hold::RangeLock) {
            LockFileEx(handle_, LOCKFILE_EXCLUSIVE_LOCK, 0, hold == Hold::RangeLock ? 10 : MAXDWORD, 0, &whole);
        }
    }
    ~FileHolder() {
        if (view_ != nullptr) UnmapViewOfFile(view_);
        CloseHandle(handle_);
    }

private:
    HANDLE handle_;
    void* view_ = nullptr;
#else
    FileHolder(const std::string& path, Hold hold)
        : fd_(::open(path.c_str(), hold == Hold::Reader || hold == Hold::WholeFileLock ? O_RDONLY : O_RDWR)) {
        if (hold == Hold::Mapping) {
            view_ = ::mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
            ::close(fd_);  // the mapping alone keeps the file
            fd_ = -1;
        }
        if (hold == Hold::WholeFileLock) ::flock(fd_, LOCK_SH);
        if (hold == Hold::RangeLock) ::lockf(fd_, F_LOCK, 10);
    }
    ~FileHolder() {
        if (view_ != nullptr) ::munmap(view_, 4096);
        if (fd_ >= 0) ::close(fd_);
    }

private:
    int fd_;
    void* view_ = nullptr;
#endif

public:
    FileHolder(const FileHolder&) = delete;
    FileHolder& operator=(const FileHolder&) = delete;
};
