// POSIX file access: descriptors, 64-bit off_t, EINTR retried.
#include "osd/osd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

static_assert(sizeof(off_t) == 8, "64-bit file offsets are required");

namespace {

int descriptor(const OsdFile& file) { return static_cast<int>(file.handle); }

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
int open_regular_file(const std::string& path, int flags) {
    int fd = open_retrying(path, flags | O_NONBLOCK);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::fcntl(fd, F_SETFL, flags & ~O_ACCMODE) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

int osd_open(OsdFile& file, const std::string& path, OsdAccess access) {
    osd_close(file);
    int fd = open_regular_file(path, access == OsdAccess::Read ? O_RDONLY : O_RDWR);
    if (fd < 0) return 1;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return 1;
    }
    file.handle = fd;
    file.size = st.st_size;
    file.position = 0;
    return 0;
}

int osd_create(OsdFile& file, const std::string& path) {
    osd_close(file);
    int fd = open_retrying(path, O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd < 0) return 1;
    file.handle = fd;
    return 0;
}

std::int64_t osd_seek(OsdFile& file, std::int64_t distance, OsdOrigin origin) {
    int whence = origin == OsdOrigin::Begin ? SEEK_SET : origin == OsdOrigin::Current ? SEEK_CUR : SEEK_END;
    off_t offset = ::lseek(descriptor(file), distance, whence);
    if (offset < 0) return -1;
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
            return 0;
        }
        if (got == 0) break;  // end of file
        done += got;
    }
    file.position += done;
    return done;
}

int osd_seteof(OsdFile& file) {
    off_t here = ::lseek(descriptor(file), 0, SEEK_CUR);
    if (here < 0) return 1;
    int rc;
    do {
        rc = ::ftruncate(descriptor(file), here);
    } while (rc != 0 && errno == EINTR);
    return rc == 0 ? 0 : 1;
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

std::vector<OsdRange> osd_data_ranges(OsdFile& file, std::int64_t size) {
    std::vector<OsdRange> ranges;
    if (size <= 0) return ranges;
#if defined(SEEK_DATA) && defined(SEEK_HOLE)
    // SEEK_DATA only searches forward: walk the data runs from the start. Each
    // step skips a whole hole or data run, so a huge sparse file costs a
    // handful of calls.
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
        if (hole > size || ranges.size() + 1 == kOsdMaxDataRanges) hole = size;
        ranges.push_back({data, hole});
        offset = hole;
    }
    return ranges;
#else
    (void)file;
    return {{0, size}};
#endif
}
