// File access layer: free functions over one open file, 64-bit sizes and
// offsets, failure reported by return value only. Never throws. A call that
// fails gives its cause (from errno or GetLastError) through its own
// `cause` argument, when the caller passes one: never through state that a
// later call could overwrite.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <memory>
#include <string>
#include <vector>

// The platform's handle as an integer: a POSIX descriptor or a Win32 HANDLE.
// Both platforms use -1 as the invalid value.
using OsdHandle = std::intptr_t;
inline constexpr OsdHandle kOsdInvalidHandle = -1;

// Write alone where nothing is read (setting a length, writing a fill), so
// that a file one may write but not read can still be set.
enum class OsdAccess { Read, Write, ReadWrite };
enum class OsdOrigin { Begin, Current, End };

// Why an operation failed.
enum class OsdError {
    None,
    NotFound,        // no such file or folder on the way
    IsFolder,
    NotRegularFile,  // a device, FIFO, socket
    AccessDenied,
    AlreadyExists,
    NoSpace,
    TooLarge,        // past the file system's largest file
    FileSizeLimit,   // past the process's file-size limit (ulimit -f)
    ReadOnlyFileSystem,
    LinkLoop,        // too many symbolic links on the way
    NameTooLong,     // the whole path or one of its names
    InputOutput,     // the device failed to read or write (EIO, a bad sector)
    Shrank,          // the file ended before bytes it had when measured
    InvalidName,     // empty, not encodable, or refused by the file system
    InUse,           // another program has it open (or mapped) while it is to change
    Locked,          // another program holds a lock on it
    Other,
};

// A short English cause for messages meant for people ("is a folder").
const char* osd_error_text(OsdError error);

// The cause a system error code names: an errno value on POSIX, a
// GetLastError value on Windows.
OsdError osd_error_from_system(long code);

// One open file. The destructor closes a handle still open, so no early
// return can leak it; osd_close may still be called explicitly.
struct OsdFile {
    OsdHandle handle = kOsdInvalidHandle;
    std::int64_t position = 0;
    std::int64_t size = 0;  // length taken once by osd_open
    // This handle holds the system's guard of exclusive access (a write
    // lease on Linux): another program that opens the file is noticed by
    // osd_exclusive_lost, and waits until the guard is given back.
    bool leased = false;
    // A file osd_create_unpublished made whose name is still to be given
    // (osd_publish): the name, and whether the file system made it visible
    // at once because it cannot make unnamed files.
    std::string unpublishedPath;
    bool unpublishedVisible = false;

    OsdFile() = default;
    OsdFile(const OsdFile&) = delete;
    OsdFile& operator=(const OsdFile&) = delete;
    ~OsdFile();
};

// Opens an existing regular file (not a folder, device or FIFO). Stores its
// length in `size`. 0 on success, 1 on failure (`cause` says why).
//
// Opened to be written (Write, ReadWrite), the file is also this process's
// alone until the handle closes, as far as the system can make it so: a lock
// another program holds on it refuses the open (Locked), and so does another
// program that has it open or mapped (InUse). Linux: flock and fcntl locks
// are tested and a write lease taken (`leased`); where the kernel grants no
// lease (NFS, FUSE, another user's file without CAP_LEASE) the open still
// succeeds, unguarded, and callers fall back on comparing the file's state.
// Windows: no other handle may write or delete it (share modes), and a
// LockFileEx lock refuses it.
[[nodiscard]] int osd_open(OsdFile& file, const std::string& path, OsdAccess access, OsdError* cause = nullptr);

// True once another program has opened the file since this handle took its
// lease: the change under way must stop and be undone before the guard is
// given back. False without a lease.
bool osd_exclusive_lost(const OsdFile& file);

// Gives the lease back once the change is done, so that a program waiting
// to open the file goes on at once; closing the handle does the same.
void osd_release_exclusive(OsdFile& file);

// Creates a new file for reading and writing. Never truncates: when the path
// already exists it fails with AlreadyExists, so a file that appeared since
// the caller's existence test keeps its bytes. 0 on success, 1 on failure.
[[nodiscard]] int osd_create(OsdFile& file, const std::string& path, OsdError* cause = nullptr);

// Creates a new file that is to be named `path` only once it is complete
// (osd_publish), so that no program sees it half made and an abandoned one
// leaves nothing behind: closing the handle before osd_publish discards it.
// Linux makes it unnamed in the target folder (O_TMPFILE). Where the file
// system cannot, the name appears at once (as osd_create) and the discard
// removes only what that name still reaches: this very file. Windows marks
// the new file for deletion until osd_publish. Fails with AlreadyExists
// when the name is taken. 0 on success, 1 on failure.
[[nodiscard]] int osd_create_unpublished(OsdFile& file, const std::string& path, OsdError* cause = nullptr);

// Gives a file osd_create_unpublished made its name; AlreadyExists when
// another file took the name meanwhile (the new one is then discarded at
// close). 0 on success or when there is nothing to publish, 1 on failure.
[[nodiscard]] int osd_publish(OsdFile& file, OsdError* cause = nullptr);

// Creates, as osd_create_unpublished does, the file that the dangling
// symbolic link at `path` points to (through any chain of links), and names
// it in `created`. Fails when `path` is no such link. 0 on success, 1 on
// failure.
[[nodiscard]] int osd_create_link_target(OsdFile& file, const std::string& path, std::string& created,
                                         OsdError* cause = nullptr);

// The length a path names: a regular file's, or a block device's (a disk,
// a partition, a loop device). Anything else has none to give (a folder is
// IsFolder; a FIFO, socket or character device NotRegularFile). -1 on
// failure.
[[nodiscard]] std::int64_t osd_length_of(const std::string& path, OsdError* cause = nullptr);

// Bytes free to this process on the file system that holds `path` (or
// would hold it: its folder for a new file); -1 when unknown.
std::int64_t osd_free_space(const std::string& path);

// How the file system that holds an open file takes a growth.
struct OsdGrowth {
    // Whether its type tells if it keeps holes; where it does not (FUSE),
    // the allocation a growth takes has to.
    bool known = true;
    // Every added zero is written (FAT, exFAT): a growth takes as long as
    // writing its bytes, and their room on the disk.
    bool writesZeros = false;
    std::int64_t largestFile = std::numeric_limits<std::int64_t>::max();  // FAT: 4 GiB - 1
    std::int64_t freeSpace = -1;  // bytes free to this process; -1 unknown
};
OsdGrowth osd_growth(const OsdFile& file);

// For tests of what depends on the file system: osd_growth gives `answer`
// instead of asking the system; nullopt asks the system again.
void osd_set_growth_answer(std::optional<OsdGrowth> answer);

// Moves the file pointer; stores and returns the resulting offset, or returns
// -1 (and leaves `position`) when the move fails.
std::int64_t osd_seek(OsdFile& file, std::int64_t distance, OsdOrigin origin, OsdError* cause = nullptr);

// Reads up to `count` bytes at the file pointer, completing short reads until
// the count is met or the file ends. Returns the bytes read, 0 on failure.
[[nodiscard]] std::int64_t osd_read(OsdFile& file, void* buffer, std::int64_t count, OsdError* cause = nullptr);

// Reads up to `count` bytes at `offset`, like osd_seek then osd_read but in
// one call per piece. Where the file pointer ends up is the system's affair
// (Windows moves it, POSIX does not); `position` follows it. Returns the
// bytes read, 0 on failure.
[[nodiscard]] std::int64_t osd_read_at(OsdFile& file, std::int64_t offset, void* buffer, std::int64_t count,
                                      OsdError* cause = nullptr);

// Writes all `count` bytes at the file pointer. Returns the bytes written;
// fewer on failure.
[[nodiscard]] std::int64_t osd_write(OsdFile& file, const void* buffer, std::int64_t count,
                                    OsdError* cause = nullptr);

// Makes the current file pointer the end of the file (cuts, or extends with
// zero bytes). 0 on success, nonzero on failure.
[[nodiscard]] int osd_seteof(OsdFile& file, OsdError* cause = nullptr);

// Lets the bytes a coming extension adds stay unallocated holes. Needed on
// NTFS, where only a file marked sparse gets holes; nothing to do on POSIX
// file systems. Failure is harmless (the extension is then allocated).
void osd_allow_holes(OsdFile& file);

// Which file an open handle reaches, and its state: enough to tell later
// whether a size measured on it still belongs to it. POSIX: st_dev, st_ino,
// st_size, st_mtim, st_ctim. Windows: the volume serial number and file
// index, the length and the last-write time (`changed` stays 0).
struct OsdFileState {
    std::uint64_t volume = 0;
    std::uint64_t fileId = 0;
    std::int64_t size = 0;
    std::int64_t ioBlockSize = 0;  // the file system's preferred I/O size
    std::int64_t modified = 0;  // nanoseconds since 1970
    std::int64_t changed = 0;
    // Nanoseconds since 1970 by the system clock, read just before the state
    // was taken: how recent a change the time stamps could have missed.
    std::int64_t takenAt = 0;
    // Taken through a handle that held its lease unbroken, on a file system
    // only this machine writes: no other program could write the file while
    // that lease lasts.
    bool exclusive = false;

    bool sameFile(const OsdFileState& other) const { return volume == other.volume && fileId == other.fileId; }
    // Same file, same length, same time stamps.
    bool unchangedSince(const OsdFileState& earlier) const {
        return sameFile(earlier) && size == earlier.size && modified == earlier.modified && changed == earlier.changed;
    }
    // Whether a write made after the state was taken could have left the
    // time stamps as they were. File systems stamp from a coarse clock (a few
    // milliseconds on Linux, 2 seconds on FAT, rounded either way), so a
    // change within kStampMarginNs before takenAt, or after it, can share a
    // tick with a later write.
    bool stampsMayMissWrites() const;
    static constexpr std::int64_t kStampMarginNs = std::int64_t{3'000'000'000};
};

// Takes the state of the file open in `file`. 0 on success, 1 on failure.
[[nodiscard]] int osd_state(const OsdFile& file, OsdFileState& state, OsdError* cause = nullptr);

// The state of the file a path names now (following links), without
// opening it. 0 on success, 1 on failure.
[[nodiscard]] int osd_path_state(const std::string& path, OsdFileState& state, OsdError* cause = nullptr);

// Closes the handle; harmless on a record that holds the invalid handle.
// A failed close (a write the system could not finish) keeps its own cause.
int osd_close(OsdFile& file, OsdError* cause = nullptr);

// A second handle on the same open file, for a second thread's positioned
// reads. 0 on success, 1 on failure.
[[nodiscard]] int osd_duplicate(const OsdFile& file, OsdFile& copy, OsdError* cause = nullptr);

// Whether every byte of [offset, offset + count) is in the system's cache,
// so that reading it waits for no disk. False when the system cannot tell
// (before Linux 6.5, elsewhere, or for a file it will not say of).
bool osd_cached(const OsdFile& file, std::int64_t offset, std::int64_t count);

// Asks the system to bring [offset, offset + count) into its cache while the
// caller works on other bytes; returns at once. Nothing where the system
// has no such request (Windows reads ahead only forwards, by itself).
void osd_read_ahead(const OsdFile& file, std::int64_t offset, std::int64_t count);

// 1 if the path names an entry (file or folder), 0 if not.
[[nodiscard]] int osd_exists(const std::string& path);

// Removes a file (never a folder). 0 on success, 1 on failure.
[[nodiscard]] int osd_remove(const std::string& path, OsdError* cause = nullptr);

// Writes the trace line "osd_filesize name-> <path>" to the trace sink and
// returns the file's length, or -1 when it cannot be opened.
[[nodiscard]] std::int64_t osd_filesize(const std::string& path, OsdError* cause = nullptr);

// Where osd_filesize's trace line goes: standard output unless a test or a
// front end redirects it. Null silences it.
using OsdTraceSink = void (*)(const std::string& line);
void osd_set_trace_sink(OsdTraceSink sink);
void osd_trace_to_stdout(const std::string& line);

// A run of bytes [begin, end) that holds data.
struct OsdRange {
    std::int64_t begin = 0;
    std::int64_t end = 0;
};


// The data runs of [from, end), in order and clipped to it; the rest of
// [from, end) lies in holes. The call picks `from` by looking backwards from
// `end`, over holes in growing strides, so that a scan from the end pays only
// for the runs it reaches, however many lie further down: it starts with
// `stride` bytes below `end`, and stops a little below the highest data it
// finds. `from` is 0 when no data lies below it. Bytes that the file no
// longer has (it shrank) are reported as data, so that reading them fails
// rather than passing for a hole. Moves the file pointer.
struct OsdRangesBelow {
    std::int64_t from = 0;
    std::vector<OsdRange> ranges;
};
OsdRangesBelow osd_data_ranges_below(OsdFile& file, std::int64_t end, std::int64_t stride = std::int64_t{1} << 20);

// How many runs of data the first `size` bytes hold, however many there are
// (1 when the file system cannot tell, 0 for none). Moves the file pointer.
std::int64_t osd_count_data_runs(OsdFile& file, std::int64_t size);

// Bytes the file system has allocated to the file; -1 when unknown.
std::int64_t osd_allocated_bytes(OsdFile& file);

// The system's guards, for tests of what applies where a file system lacks
// them: write leases and unnamed new files. Both on by default, where the
// system has them.
struct OsdGuards {
    bool leases = true;
    bool unnamedFiles = true;
};
void osd_set_guards(OsdGuards guards);

// Opens each closed standard stream (descriptors 0 to 2; on Windows, a
// standard handle that is not valid) on the null device, so that no file
// opened later takes its number and receives the program's output. Each
// opens in the direction it is not used (input for writing, output for
// reading): output sent there still fails, as to a closed stream. Called
// first in main, before any file is opened. 0 on success, 1 when one could
// not be opened.
[[nodiscard]] int osd_guard_standard_streams();
