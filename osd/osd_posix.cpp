// POSIX file access: descriptors, 64-bit off_t, EINTR retried, errno kept.
#include "osd/osd.h"

#include <cerrno>
#include <csignal>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

static_assert(sizeof(off_t) == 8, "64-bit file offsets are required");

namespace {

int descriptor(const OsdFile& file) { return static_cast<int>(file.handle); }

OsdError error_from_errno(int code, OsdError fallback = OsdError::Other) {
    switch (code) {
        case ENOENT: case ENOTDIR: return OsdError::NotFound;
        case EISDIR: return OsdError::IsFolder;
        case EACCES: case EPERM: case EROFS: case ETXTBSY: return OsdError::AccessDenied;
        case EEXIST: return OsdError::AlreadyExists;
        case ENOSPC: case EDQUOT: return OsdError::NoSpace;
        case EFBIG: case EOVERFLOW: return OsdError::TooLarge;
        case ENAMETOOLONG: case EILSEQ: return OsdError::InvalidName;
        case ENXIO: case ENODEV: return OsdError::NotRegularFile;
        case EIO: return fallback;
        default: return fallback;
    }
}

// Past a file-size limit (ulimit -f) the kernel would end the process with
// SIGXFSZ; ignored, the call fails with EFBIG and the caller reports it.
void ignore_file_size_signal() {
#ifdef SIGXFSZ
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGXFSZ, SIG_IGN); });
#endif
}

int open_retrying(const std::string& path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Opens a regular file only. A folder must never open as a file, and a FIFO
// or device would block the window or report no length; O_NONBLOCK keeps the
// open itself from waiting on a FIFO.
int open_regular_file(const std::string& path, int flags, OsdError& error, std::int64_t& size) {
    if (path.empty()) {
        error = OsdError::InvalidName;
        return -1;
    }
    int fd = open_retrying(path, flags | O_NONBLOCK);
    if (fd < 0) {
        error = error_from_errno(errno);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = error_from_errno(errno);
    } else if (S_ISDIR(st.st_mode)) {
        error = OsdError::IsFolder;
    } else if (!S_ISREG(st.st_mode)) {
        error = OsdError::NotRegularFile;
    } else if (::fcntl(fd, F_SETFL, flags & ~O_ACCMODE) != 0) {
        error = error_from_errno(errno);
    } else {
        size = st.st_size;
        return fd;
    }
    ::close(fd);
    return -1;
}

}  // namespace

int osd_open(OsdFile& file, const std::string& path, OsdAccess access) {
    osd_close(file);
    // A folder opened read-write fails with EISDIR; read-only it opens and is
    // refused by the regular-file test. Either way the cause is IsFolder.
    std::int64_t size = 0;
    int fd = open_regular_file(path, access == OsdAccess::Read ? O_RDONLY : O_RDWR, file.error, size);
    if (fd < 0) return 1;
    file.handle = fd;
    file.size = size;
    file.position = 0;
    file.error = OsdError::None;
    return 0;
}

int osd_create(OsdFile& file, const std::string& path) {
    osd_close(file);
    if (path.empty()) {
        file.error = OsdError::InvalidName;
        return 1;
    }
    int fd = open_retrying(path, O_RDWR | O_CREAT | O_EXCL, 0666);
    if (fd < 0) {
        const int code = errno;
        // An existing folder reports EEXIST; name the real cause.
        struct stat st {};
        file.error = code == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)
                         ? OsdError::IsFolder
                         : error_from_errno(code);
        return 1;
    }
    file.handle = fd;
    file.error = OsdError::None;
    return 0;
}

std::int64_t osd_seek(OsdFile& file, std::int64_t distance, OsdOrigin origin) {
    int whence = origin == OsdOrigin::Begin ? SEEK_SET : origin == OsdOrigin::Current ? SEEK_CUR : SEEK_END;
    off_t offset = ::lseek(descriptor(file), distance, whence);
    if (offset < 0) {
        file.error = errno == EINVAL ? OsdError::TooLarge : error_from_errno(errno);
        return -1;
    }
    file.position = offset;
    return offset;
}

std::int64_t osd_read(OsdFile& file, void* buffer, std::int64_t count) {
    if (count <= 0) return 0;
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::int64_t done = 0;
    while (done < count) {
        ssize_t got = ::read(descriptor(file), bytes + done, static_cast<size_t>(count - done));
        if (got < 0) {
            if (errno == EINTR) continue;
            file.error = error_from_errno(errno, OsdError::ReadFailed);
            return 0;
        }
        if (got == 0) break;  // end of file
        done += got;
    }
    file.position += done;
    return done;
}

std::int64_t osd_write(OsdFile& file, const void* buffer, std::int64_t count) {
    ignore_file_size_signal();
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    std::int64_t done = 0;
    while (done < count) {
        ssize_t put = ::write(descriptor(file), bytes + done, static_cast<size_t>(count - done));
        if (put < 0) {
            if (errno == EINTR) continue;
            file.error = error_from_errno(errno, OsdError::WriteFailed);
            break;
        }
        done += put;
    }
    file.position += done;
    return done;
}

int osd_seteof(OsdFile& file) {
    ignore_file_size_signal();
    off_t here = ::lseek(descriptor(file), 0, SEEK_CUR);
    if (here < 0) {
        file.error = error_from_errno(errno);
        return 1;
    }
    int rc;
    do {
        rc = ::ftruncate(descriptor(file), here);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        // EINVAL: past the largest length the file system takes.
        file.error = errno == EINVAL ? OsdError::TooLarge : error_from_errno(errno, OsdError::WriteFailed);
        return 1;
    }
    return 0;
}

int osd_close(OsdFile& file) {
    if (file.handle == kOsdInvalidHandle) return 0;
    int rc = ::close(descriptor(file));
    file.handle = kOsdInvalidHandle;
    return rc;
}

int osd_exists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::lstat(path.c_str(), &st) == 0 ? 1 : 0;
}

int osd_remove(const std::string& path, OsdError* error) {
    if (::unlink(path.c_str()) == 0) return 0;
    if (error != nullptr) *error = errno == EISDIR || errno == EPERM ? OsdError::IsFolder : error_from_errno(errno);
    return 1;
}

std::vector<OsdRange> osd_data_ranges(OsdFile& file, std::int64_t size) {
    if (size <= 0) return {};
#if defined(SEEK_DATA) && defined(SEEK_HOLE)
    std::deque<OsdRange> ranges;
    // SEEK_DATA only searches forward: walk the data runs from the start. Each
    // step skips a whole hole or data run, so a huge sparse file costs a
    // handful of calls. Past the limit the oldest runs are merged into the
    // first kept one, which keeps the holes near the end visible.
    const int fd = descriptor(file);
    std::int64_t offset = 0;
    while (offset < size) {
        const off_t data = ::lseek(fd, offset, SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO) break;  // only a hole past offset
            return {{0, size}};         // no hole support: everything is data
        }
        if (data >= size) break;
        off_t hole = ::lseek(fd, data, SEEK_HOLE);
        if (hole < 0) return {{0, size}};
        if (hole > size) hole = size;
        if (ranges.size() == kOsdMaxDataRanges) {
            ranges[1].begin = ranges[0].begin;
            ranges.pop_front();
        }
        ranges.push_back({data, hole});
        offset = hole;
    }
    return {ranges.begin(), ranges.end()};
#else
    (void)file;
    return {{0, size}};
#endif
}

std::int64_t osd_allocated_bytes(OsdFile& file) {
    struct stat st {};
    if (::fstat(descriptor(file), &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_blocks) * 512;
}
