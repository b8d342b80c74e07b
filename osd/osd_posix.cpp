// POSIX file access: descriptors, 64-bit off_t, EINTR retried, errno kept.
#include "osd/osd.h"
#include "osd/osd_platform.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

#if defined(__linux__)
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/vfs.h>
#endif

static_assert(sizeof(off_t) == 8, "64-bit file offsets are required");

namespace {

int descriptor(const OsdFile& file) { return static_cast<int>(file.handle); }

OsdError error_from_errno(int code) {
    switch (code) {
        case ENOENT: case ENOTDIR: return OsdError::NotFound;
        case EISDIR: return OsdError::IsFolder;
        case EACCES: case EPERM: case ETXTBSY: return OsdError::AccessDenied;
        case EROFS: return OsdError::ReadOnlyFileSystem;
        case ELOOP: return OsdError::LinkLoop;
        case EEXIST: return OsdError::AlreadyExists;
        case ENOSPC: case EDQUOT: return OsdError::NoSpace;
        case EFBIG: case EOVERFLOW: return OsdError::TooLarge;
        case ENAMETOOLONG: return OsdError::NameTooLong;
        case EILSEQ: return OsdError::InvalidName;
        case ENXIO: case ENODEV: return OsdError::NotRegularFile;
        case EIO: return OsdError::InputOutput;
        case EAGAIN: return OsdError::InUse;
        default: return OsdError::Other;
    }
}

}  // namespace

OsdError osd_error_from_system(long code) { return error_from_errno(static_cast<int>(code)); }

namespace {

// EFBIG for a file that would end at `length`: the process's file-size
// limit when that is what it passes, else the file system's largest file.
OsdError too_large_cause(std::int64_t length) {
    rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        static_cast<std::uint64_t>(length) > static_cast<std::uint64_t>(limit.rlim_cur))
        return OsdError::FileSizeLimit;
    return OsdError::TooLarge;
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

// Whether another program holds a lock on the file. flock locks and fcntl
// (POSIX, OFD) locks do not see each other, so one of each is taken; they
// are held until the descriptor closes.
bool locked_by_another(int fd) {
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) return true;
#if defined(F_OFD_SETLK)
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (::fcntl(fd, F_OFD_SETLK, &whole) != 0 && (errno == EAGAIN || errno == EACCES)) return true;
#endif
    return false;
}

// Makes a descriptor opened for writing this process's alone: refused when
// another program holds a lock (Locked) or has the file open (InUse, from
// the lease). A file system that grants no lease leaves it unguarded.
bool claim_exclusive(int fd, bool& leased, OsdError& error) {
    leased = false;
    if (locked_by_another(fd)) {
        error = OsdError::Locked;
        return false;
    }
#if defined(__linux__)
    if (!osd_guards().leases) return true;
    // A lease break is announced by a signal, SIGIO unless told otherwise,
    // which would end the process. SIGURG is ignored unless handled, so the
    // break is noticed by asking (osd_exclusive_lost) and disturbs nothing.
    if (::fcntl(fd, F_SETSIG, SIGURG) != 0) return true;
    if (::fcntl(fd, F_SETLEASE, F_WRLCK) == 0) {
        leased = true;
    } else if (errno == EAGAIN) {
        error = OsdError::InUse;
        return false;
    }
#endif
    return true;
}

// Opens a regular file only. A folder must never open as a file, and a FIFO
// or device would block the window or report no length; O_NONBLOCK keeps the
// open itself from waiting on a FIFO. Opened for writing, it is claimed.
int open_regular_file(const std::string& path, int flags, OsdError& error, std::int64_t& size, bool& leased) {
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
    } else if ((flags & O_ACCMODE) == O_RDONLY || claim_exclusive(fd, leased, error)) {
        size = st.st_size;
        return fd;
    }
    ::close(fd);
    return -1;
}

}  // namespace

int osd_open(OsdFile& file, const std::string& path, OsdAccess access, OsdError* cause) {
    osd_close(file);
    // A folder opened read-write fails with EISDIR; read-only it opens and is
    // refused by the regular-file test. Either way the cause is IsFolder.
    std::int64_t size = 0;
    const int flags = access == OsdAccess::Read ? O_RDONLY : access == OsdAccess::Write ? O_WRONLY : O_RDWR;
    OsdError why = OsdError::None;
    int fd = open_regular_file(path, flags, why, size, file.leased);
    if (fd < 0) return osd_failed(cause, why);
    file.handle = fd;
    file.size = size;
    file.position = 0;
    return 0;
}

int osd_create(OsdFile& file, const std::string& path, OsdError* cause) {
    osd_close(file);
    if (path.empty()) return osd_failed(cause, OsdError::InvalidName);
    int fd = open_retrying(path, O_RDWR | O_CREAT | O_EXCL, 0666);
    if (fd < 0) {
        const int code = errno;
        // An existing folder reports EEXIST; name the real cause.
        struct stat st {};
        return osd_failed(cause, code == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)
                                     ? OsdError::IsFolder
                                     : error_from_errno(code));
    }
    file.handle = fd;
    return 0;
}

namespace {

// Where a chain of symbolic links starting at `path` ends (`path` itself
// when it is no link); empty past the system's limit of links.
std::string end_of_links(std::string path) {
    for (int hops = 0; hops <= 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length < 0 || static_cast<std::size_t>(length) >= target.size()) return {};
        target.resize(static_cast<std::size_t>(length));
        const std::size_t slash = path.rfind('/');
        path = target.starts_with('/') || slash == std::string::npos ? target : path.substr(0, slash + 1) + target;
    }
    return {};
}

}  // namespace

namespace {

// The folder a path's last name is in.
std::string folder_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// Unnamed files are named through /proc; without it they could not be.
bool unnamed_files_possible() {
#if defined(O_TMPFILE) && defined(__linux__)
    static const bool proc = ::access("/proc/self/fd", X_OK) == 0;
    return proc && osd_guards().unnamedFiles;
#else
    return false;
#endif
}

}  // namespace

int osd_create_unpublished(OsdFile& file, const std::string& path, OsdError* cause) {
    osd_close(file);
    // The name must be free now, or the work would be done for nothing;
    // osd_publish makes sure again, atomically.
    struct stat st {};
    if (!path.empty() && ::lstat(path.c_str(), &st) == 0)
        return osd_failed(cause, S_ISDIR(st.st_mode) ? OsdError::IsFolder : OsdError::AlreadyExists);
#if defined(O_TMPFILE)
    if (!path.empty() && unnamed_files_possible()) {
        const int fd = open_retrying(folder_of(path), O_TMPFILE | O_RDWR, 0666);
        if (fd >= 0) {
            file.handle = fd;
            file.unpublishedPath = path;
            file.unpublishedVisible = false;
            return 0;
        }
        // Refused only by file systems (or kernels) without unnamed files.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return osd_failed(cause, error_from_errno(errno));
    }
#endif
    if (osd_create(file, path, cause) != 0) return 1;
    file.unpublishedPath = path;
    file.unpublishedVisible = true;
    return 0;
}

namespace {

// Whether the name a new file was made under still reaches that very file.
bool name_reaches(const OsdFile& file) {
    struct stat mine {}, named {};
    return ::fstat(descriptor(file), &mine) == 0 && ::lstat(file.unpublishedPath.c_str(), &named) == 0 &&
           mine.st_dev == named.st_dev && mine.st_ino == named.st_ino;
}

// Removes a new file that was never published, where the file system gave
// it its name at once: only while that name still reaches it, so that a
// file renamed onto the name meanwhile is never removed.
void discard_unpublished(OsdFile& file) {
    if (file.unpublishedPath.empty()) return;
    if (file.unpublishedVisible && name_reaches(file)) (void)::unlink(file.unpublishedPath.c_str());
    file.unpublishedPath.clear();
}

}  // namespace

int osd_publish(OsdFile& file, OsdError* cause) {
    if (file.unpublishedPath.empty()) return 0;
    if (file.unpublishedVisible) {
        // Named from the start: another file may have taken the name since.
        if (!name_reaches(file)) return osd_failed(cause, OsdError::AlreadyExists);
    } else {
        const std::string self = "/proc/self/fd/" + std::to_string(descriptor(file));
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, file.unpublishedPath.c_str(), AT_SYMLINK_FOLLOW) != 0)
            return osd_failed(cause, error_from_errno(errno));
    }
    file.unpublishedPath.clear();
    return 0;
}

int osd_create_link_target(OsdFile& file, const std::string& path, std::string& created, OsdError* cause) {
    osd_close(file);
    struct stat st {};
    if (path.empty() || ::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return osd_failed(cause, OsdError::NotFound);
    const std::string target = end_of_links(path);
    if (target.empty()) return osd_failed(cause, OsdError::LinkLoop);
    created = target;
    return osd_create_unpublished(file, target, cause);
}

std::int64_t osd_length_of(const std::string& path, OsdError* cause) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        osd_failed(cause, path.empty() ? OsdError::InvalidName : error_from_errno(errno));
        return -1;
    }
    if (S_ISREG(st.st_mode)) return st.st_size;
    osd_failed(cause, S_ISDIR(st.st_mode) ? OsdError::IsFolder : OsdError::NotRegularFile);
#if defined(__linux__) && defined(BLKGETSIZE64)
    // Only a block device is opened: opening a tape or a terminal can act.
    if (!S_ISBLK(st.st_mode)) return -1;
    const int fd = open_retrying(path, O_RDONLY | O_NONBLOCK);
    if (fd < 0) {
        osd_failed(cause, error_from_errno(errno));
        return -1;
    }
    std::uint64_t bytes = 0;
    struct stat opened {};
    const bool sized = ::fstat(fd, &opened) == 0 && S_ISBLK(opened.st_mode) && ::ioctl(fd, BLKGETSIZE64, &bytes) == 0 &&
                       bytes <= static_cast<std::uint64_t>(INT64_MAX);
    ::close(fd);
    if (sized) return static_cast<std::int64_t>(bytes);
#endif
    return -1;
}

namespace {

std::int64_t bytes_free(const struct statvfs& fs) {
    const std::uint64_t blocks = fs.f_bavail;
    const std::uint64_t blockSize = fs.f_frsize > 0 ? fs.f_frsize : 1;
    constexpr std::uint64_t kMost = std::uint64_t{INT64_MAX};
    return blocks > kMost / blockSize ? INT64_MAX : static_cast<std::int64_t>(blocks * blockSize);
}

}  // namespace

std::int64_t osd_free_space(const std::string& path) {
    struct statvfs fs {};
    if (::statvfs(path.c_str(), &fs) != 0 && ::statvfs(folder_of(path).c_str(), &fs) != 0) return -1;
    return bytes_free(fs);
}

OsdGrowth osd_platform_growth(const OsdFile& file) {
    OsdGrowth growth;
    struct statvfs space {};
    if (::fstatvfs(descriptor(file), &space) == 0) growth.freeSpace = bytes_free(space);
#if defined(__linux__)
    constexpr unsigned long kExfat = 0x2011BAB0;
    constexpr unsigned long kFuse = 0x65735546;
    struct statfs fs {};
    if (::fstatfs(descriptor(file), &fs) != 0) return growth;
    switch (static_cast<unsigned long>(fs.f_type)) {
        case MSDOS_SUPER_MAGIC:
            growth.writesZeros = true;
            growth.largestFile = std::int64_t{0xFFFFFFFF};
            break;
        case kExfat: growth.writesZeros = true; break;
        case kFuse: growth.known = false; break;  // exFAT or NTFS through FUSE look alike
        default: break;
    }
#endif
    return growth;
}

std::int64_t osd_seek(OsdFile& file, std::int64_t distance, OsdOrigin origin, OsdError* cause) {
    int whence = origin == OsdOrigin::Begin ? SEEK_SET : origin == OsdOrigin::Current ? SEEK_CUR : SEEK_END;
    off_t offset = ::lseek(descriptor(file), distance, whence);
    if (offset < 0) {
        osd_failed(cause, errno == EINVAL ? OsdError::TooLarge : error_from_errno(errno));
        return -1;
    }
    file.position = offset;
    return offset;
}

std::int64_t osd_platform_read(OsdFile& file, void* buffer, std::int64_t count, std::int64_t offset,
                               OsdError* cause) {
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::int64_t done = 0;
    while (done < count) {
        const auto want = static_cast<size_t>(count - done);
        const ssize_t got = offset < 0 ? ::read(descriptor(file), bytes + done, want)
                                       : ::pread(descriptor(file), bytes + done, want, static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR) continue;
            osd_failed(cause, error_from_errno(errno));
            return -1;
        }
        if (got == 0) break;  // end of file
        done += got;
    }
    if (offset < 0) file.position += done;
    return done;
}

std::int64_t osd_write(OsdFile& file, const void* buffer, std::int64_t count, OsdError* cause) {
    ignore_file_size_signal();
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    std::int64_t done = 0;
    while (done < count) {
        ssize_t put = ::write(descriptor(file), bytes + done, static_cast<size_t>(count - done));
        if (put < 0) {
            if (errno == EINTR) continue;
            osd_failed(cause, errno == EFBIG ? too_large_cause(file.position + count) : error_from_errno(errno));
            break;
        }
        done += put;
    }
    file.position += done;
    return done;
}

int osd_seteof(OsdFile& file, OsdError* cause) {
    ignore_file_size_signal();
    off_t here = ::lseek(descriptor(file), 0, SEEK_CUR);
    if (here < 0) return osd_failed(cause, error_from_errno(errno));
    int rc;
    do {
        rc = ::ftruncate(descriptor(file), here);
    } while (rc != 0 && errno == EINTR);
    // EINVAL: past the largest length the file system takes.
    if (rc != 0)
        return osd_failed(cause, errno == EINVAL || errno == EFBIG ? too_large_cause(here) : error_from_errno(errno));
    return 0;
}

void osd_allow_holes(OsdFile&) {}

namespace {

std::int64_t page_size() {
    static const std::int64_t size = [] {
        const long value = ::sysconf(_SC_PAGESIZE);
        return value > 0 ? static_cast<std::int64_t>(value) : std::int64_t{4096};
    }();
    return size;
}

#if defined(__linux__)
// cachestat(2), Linux 6.5 and later; older C libraries do not declare it.
struct CachestatRange {
    std::uint64_t offset;
    std::uint64_t length;
};
struct Cachestat {
    std::uint64_t cached;
    std::uint64_t dirty;
    std::uint64_t writeback;
    std::uint64_t evicted;
    std::uint64_t recentlyEvicted;
};
constexpr long kCachestatCall = 451;

// Whether every page of [offset, offset + count) is cached: 1 yes, 0 no,
// -1 cannot tell.
int cached_by_cachestat(int descriptor, std::int64_t offset, std::int64_t count) {
    static std::atomic<bool> unavailable{false};
    if (unavailable.load(std::memory_order_relaxed)) return -1;
    const auto pageMask = static_cast<std::uint64_t>(page_size() - 1);
    const std::uint64_t first = static_cast<std::uint64_t>(offset) & ~pageMask;
    const std::uint64_t last = (static_cast<std::uint64_t>(offset + count) + pageMask) & ~pageMask;
    const CachestatRange range{first, last - first};
    Cachestat stat{};
    if (::syscall(kCachestatCall, descriptor, &range, &stat, 0) != 0) {
        if (errno == ENOSYS) unavailable.store(true, std::memory_order_relaxed);
        return -1;
    }
    return stat.cached * static_cast<std::uint64_t>(page_size()) >= last - first ? 1 : 0;
}
#endif

}  // namespace

bool osd_cached(const OsdFile& file, std::int64_t offset, std::int64_t count) {
    if (count <= 0) return true;
    if (file.handle == kOsdInvalidHandle || offset < 0) return false;
#if defined(__linux__)
    return cached_by_cachestat(static_cast<int>(file.handle), offset, count) == 1;
#else
    return false;
#endif
}

void osd_read_ahead(const OsdFile& file, std::int64_t offset, std::int64_t count) {
    if (file.handle == kOsdInvalidHandle || offset < 0 || count <= 0) return;
    // Advice only: a file system that takes none reads on demand instead.
    (void)::posix_fadvise(descriptor(file), static_cast<off_t>(offset), static_cast<off_t>(count), POSIX_FADV_WILLNEED);
}

int osd_duplicate(const OsdFile& file, OsdFile& copy, OsdError* cause) {
    osd_close(copy);
    if (file.handle == kOsdInvalidHandle) return osd_failed(cause, OsdError::Other);
    const int fd = ::fcntl(static_cast<int>(file.handle), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return osd_failed(cause, error_from_errno(errno));
    copy.handle = fd;
    copy.size = file.size;
    copy.position = 0;
    return 0;
}

namespace {

std::int64_t nanoseconds(const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

std::int64_t clock_now() {
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return nanoseconds(now);
}

void state_from_stat(const struct stat& st, OsdFileState& state) {
    state.volume = static_cast<std::uint64_t>(st.st_dev);
    state.fileId = static_cast<std::uint64_t>(st.st_ino);
    state.size = st.st_size;
    state.ioBlockSize = st.st_blksize;
    state.modified = nanoseconds(st.st_mtim);
    state.changed = nanoseconds(st.st_ctim);
}

}  // namespace

namespace {

// A lease keeps out the programs of this machine only. Where others may
// write the file too (FUSE, which may front a network; SMB), it does not
// vouch for the bytes, and the checks of the state still apply.
bool lease_covers_every_writer(int fd) {
#if defined(__linux__)
    constexpr unsigned long kFuse = 0x65735546;
    constexpr unsigned long kSmb2 = 0xfe534d42;
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0) return false;
    const auto type = static_cast<unsigned long>(fs.f_type);
    return type != kFuse && type != kSmb2 && type != static_cast<unsigned long>(CIFS_SUPER_MAGIC) &&
           type != static_cast<unsigned long>(NFS_SUPER_MAGIC) && type != static_cast<unsigned long>(SMB_SUPER_MAGIC);
#else
    (void)fd;
    return false;
#endif
}

}  // namespace

int osd_state(const OsdFile& file, OsdFileState& state, OsdError* cause) {
    state.takenAt = clock_now();
    struct stat st {};
    if (::fstat(descriptor(file), &st) != 0) return osd_failed(cause, error_from_errno(errno));
    state_from_stat(st, state);
    state.exclusive = file.leased && !osd_exclusive_lost(file) && lease_covers_every_writer(descriptor(file));
    return 0;
}

bool osd_exclusive_lost(const OsdFile& file) {
#if defined(__linux__)
    // A pending break reads as the lease it is broken down to.
    return file.leased && ::fcntl(descriptor(file), F_GETLEASE) != F_WRLCK;
#else
    (void)file;
    return false;
#endif
}

void osd_release_exclusive(OsdFile& file) {
#if defined(__linux__)
    if (file.leased) (void)::fcntl(descriptor(file), F_SETLEASE, F_UNLCK);
#endif
    file.leased = false;
}

int osd_path_state(const std::string& path, OsdFileState& state, OsdError* cause) {
    state.takenAt = clock_now();
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return osd_failed(cause, path.empty() ? OsdError::InvalidName : error_from_errno(errno));
    state_from_stat(st, state);
    return 0;
}

int osd_close(OsdFile& file, OsdError* cause) {
    if (file.handle == kOsdInvalidHandle) return 0;
    discard_unpublished(file);
    file.leased = false;
    // The descriptor is gone even when close fails: never retried.
    const int rc = ::close(descriptor(file));
    file.handle = kOsdInvalidHandle;
    return rc == 0 ? 0 : osd_failed(cause, errno == EINTR ? OsdError::Other : error_from_errno(errno));
}

int osd_exists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::lstat(path.c_str(), &st) == 0 ? 1 : 0;
}

int osd_remove(const std::string& path, OsdError* cause) {
    if (::unlink(path.c_str()) == 0) return 0;
    return osd_failed(cause, errno == EISDIR || errno == EPERM ? OsdError::IsFolder : error_from_errno(errno));
}

std::int64_t osd_platform_first_data(OsdFile& file, std::int64_t from, std::int64_t limit) {
#if defined(SEEK_DATA) && defined(SEEK_HOLE)
    const off_t data = ::lseek(descriptor(file), from, SEEK_DATA);
    if (data >= 0) return data < limit ? data : limit;
    return errno == ENXIO ? limit : -1;  // ENXIO: only a hole past `from`
#else
    (void)file, (void)limit;
    return from;
#endif
}

int osd_platform_runs(OsdFile& file, std::int64_t from, std::int64_t end, std::vector<OsdRange>& runs) {
#if defined(SEEK_DATA) && defined(SEEK_HOLE)
    const int fd = descriptor(file);
    std::int64_t offset = from;
    while (offset < end) {
        const off_t data = ::lseek(fd, offset, SEEK_DATA);
        if (data < 0) return errno == ENXIO ? 0 : 1;
        if (data >= end) return 0;
        const off_t hole = ::lseek(fd, data, SEEK_HOLE);
        if (hole < 0) return 1;
        runs.push_back({data, hole < end ? hole : end});
        offset = hole;
    }
    return 0;
#else
    (void)file;
    runs.push_back({from, end});
    return 0;
#endif
}

std::int64_t osd_platform_current_size(OsdFile& file) {
    struct stat st {};
    return ::fstat(descriptor(file), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : -1;
}

std::int64_t osd_allocated_bytes(OsdFile& file) {
    struct stat st {};
    if (::fstat(descriptor(file), &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_blocks) * 512;
}

int osd_guard_standard_streams() {
    for (const int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(stream, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free number: this one, the lower ones being open.
        if (::open("/dev/null", stream == STDIN_FILENO ? O_WRONLY : O_RDONLY) != stream) return 1;
    }
    return 0;
}
