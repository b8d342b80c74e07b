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

class FileHolder {
public:
    FileHolder(const std::string& path, Hold hold) {
#ifdef _WIN32
        const std::optional<std::u16string> wide = path_to_utf16(path);
        const DWORD access = hold == Hold::Writer || hold == Hold::Mapping ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
        handle_ = CreateFileW(reinterpret_cast<const wchar_t*>(wide->c_str()), access,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
        OVERLAPPED whole{};
        if (hold == Hold::Mapping) {
            HANDLE section = CreateFileMappingW(handle_, nullptr, PAGE_READWRITE, 0, 0, nullptr);
            view_ = MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, 0);
            CloseHandle(section);
        } else if (hold == Hold::WholeFileLock || hold == Hold::RangeLock) {
            LockFileEx(handle_, LOCKFILE_EXCLUSIVE_LOCK, 0, hold == Hold::RangeLock ? 10 : MAXDWORD, 0, &whole);
        }
#else
        fd_ = ::open(path.c_str(), hold == Hold::Reader || hold == Hold::WholeFileLock ? O_RDONLY : O_RDWR);
        if (hold == Hold::Mapping) {
            view_ = ::mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
            ::close(fd_);  // the mapping alone keeps the file
            fd_ = -1;
        } else if (hold == Hold::WholeFileLock) {
            ::flock(fd_, LOCK_SH);
        } else if (hold == Hold::RangeLock) {
            ::lockf(fd_, F_LOCK, 10);
        }
#endif
    }
    ~FileHolder() { release(); }
    FileHolder(const FileHolder&) = delete;
    FileHolder& operator=(const FileHolder&) = delete;

    // Lets go of the file, as the other program ending would.
    void release() {
#ifdef _WIN32
        if (view_ != nullptr) UnmapViewOfFile(view_);
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
#else
        if (view_ != nullptr) ::munmap(view_, 4096);
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
#endif
        view_ = nullptr;
    }

private:
#ifdef _WIN32
    HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
    int fd_ = -1;
#endif
    void* view_ = nullptr;
};
