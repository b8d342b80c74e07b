// Win32 file access: wide-character API throughout, UTF-8 paths converted on
// the way in, 64-bit sizes and offsets from the *Ex calls.
#include "osd/osd.h"
#include "osd/osd_platform.h"

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "util/text_encoding.h"

namespace {

HANDLE native(const OsdFile& file) { return reinterpret_cast<HANDLE>(file.handle); }

bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Invalid UTF-8 is refused rather than replaced, so a mangled name can
// never open some other file.
std::optional<std::wstring> widen(const std::string& utf8) {
    if (utf8.empty()) return std::nullopt;
    std::optional<std::u16string> wide = path_to_utf16(utf8);
    if (!wide) return std::nullopt;
    return std::wstring(wide->begin(), wide->end());
}

OsdError error_from_code(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: case ERROR_INVALID_DRIVE: case ERROR_BAD_NETPATH:
            return OsdError::NotFound;
        case ERROR_ACCESS_DENIED: return OsdError::AccessDenied;
        case ERROR_SHARING_VIOLATION: case ERROR_USER_MAPPED_FILE: return OsdError::InUse;
        case ERROR_LOCK_VIOLATION: return OsdError::Locked;
        case ERROR_WRITE_PROTECT: return OsdError::ReadOnlyFileSystem;
        case ERROR_CANT_RESOLVE_FILENAME: return OsdError::LinkLoop;
        case ERROR_FILENAME_EXCED_RANGE: return OsdError::NameTooLong;
        case ERROR_FILE_EXISTS: case ERROR_ALREADY_EXISTS: return OsdError::AlreadyExists;
        case ERROR_DISK_FULL: case ERROR_HANDLE_DISK_FULL: return OsdError::NoSpace;
        case ERROR_FILE_TOO_LARGE: case ERROR_NEGATIVE_SEEK: return OsdError::TooLarge;
        case ERROR_INVALID_NAME: case ERROR_BAD_PATHNAME: return OsdError::InvalidName;
        case ERROR_DIRECTORY: return OsdError::IsFolder;
        case ERROR_CRC: case ERROR_IO_DEVICE: case ERROR_READ_FAULT: case ERROR_WRITE_FAULT:
        case ERROR_SECTOR_NOT_FOUND: case ERROR_GEN_FAILURE:
        case ERROR_NOT_READY:
            return OsdError::InputOutput;
        default: return OsdError::Other;
    }
}

}  // namespace

OsdError osd_error_from_system(long code) { return error_from_code(static_cast<DWORD>(code)); }

namespace {

// A failed open of a folder says "access denied"; name the real cause.
OsdError open_error(const std::wstring& path, DWORD code) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return OsdError::IsFolder;
    return error_from_code(code);
}

// Names of MAX_PATH characters and more only work with the "\\?\" prefix,
// which in turn needs an absolute, normalised path. Short names are
// passed unchanged: device names like NUL must keep their meaning.
std::wstring carry_long_path(std::wstring path) {
    if (path.starts_with(L"\\\\?\\") || path.starts_with(L"\\\\.\\")) return path;
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0 || needed <= MAX_PATH) return path;  // counts the terminator
    std::wstring full(needed, L'\0');
    const DWORD written = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (written == 0 || written >= needed) return path;
    full.resize(written);
    if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::optional<std::wstring> win_path(const std::string& utf8) {
    std::optional<std::wstring> wide = widen(utf8);
    if (!wide) return std::nullopt;
    return carry_long_path(std::move(*wide));
}

// A handle that changes the file lets others read only: no other handle
// may write, delete or rename it meanwhile (readers may stay).
HANDLE open_existing(const std::wstring& path, DWORD rights) {
    const DWORD share = (rights & GENERIC_WRITE) != 0 ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE;
    return CreateFileW(path.c_str(), rights, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Whether another process holds a LockFileEx lock on some of the file:
// taking one over every byte fails then. Ours is given back at once.
bool locked_by_another(HANDLE handle) {
    OVERLAPPED whole{};
    if (LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole)) {
        UnlockFileEx(handle, 0, MAXDWORD, MAXDWORD, &whole);
        return false;
    }
    return GetLastError() == ERROR_LOCK_VIOLATION;
}

// Why a file could not be opened to change it while others use it: a lock
// is named as such, though a locking program that also writes the file
// already refuses the share.
OsdError in_use_cause(const std::wstring& path) {
    HANDLE reader = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (reader == INVALID_HANDLE_VALUE) return OsdError::InUse;
    const bool locked = locked_by_another(reader);
    CloseHandle(reader);
    return locked ? OsdError::Locked : OsdError::InUse;
}

// A root ("C:\", "\", "\\?\C:\", "\\server\share\") is never found by a
// directory search, which looks for an entry inside a parent.
bool is_root(const std::wstring& trimmed) {
    if (trimmed.empty() || trimmed.back() == L':') return true;
    std::wstring rest;
    if (trimmed.starts_with(L"\\\\?\\UNC\\"))
        rest = trimmed.substr(8);
    else if (trimmed.starts_with(L"\\\\") && !trimmed.starts_with(L"\\\\?\\") && !trimmed.starts_with(L"\\\\.\\"))
        rest = trimmed.substr(2);
    else
        return false;
    return std::count_if(rest.begin(), rest.end(), is_separator) <= 1;  // server and share only
}

}  // namespace

int osd_open(OsdFile& file, const std::string& path, OsdAccess access, OsdError* cause) {
    osd_close(file);
    const std::optional<std::wstring> wide = win_path(path);
    if (!wide) return osd_failed(cause, OsdError::InvalidName);
    const DWORD rights = access == OsdAccess::Read    ? GENERIC_READ
                         : access == OsdAccess::Write ? GENERIC_WRITE
                                                      : GENERIC_READ | GENERIC_WRITE;
    // Without FILE_FLAG_BACKUP_SEMANTICS a folder does not open at all.
    HANDLE handle = open_existing(*wide, rights);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        return osd_failed(cause, code == ERROR_SHARING_VIOLATION ? in_use_cause(*wide) : open_error(*wide, code));
    }
    LARGE_INTEGER size{};
    // Devices, consoles and pipes have no length to set.
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileSizeEx(handle, &size)) {
        CloseHandle(handle);
        return osd_failed(cause, OsdError::NotRegularFile);
    }
    if ((rights & GENERIC_WRITE) != 0 && locked_by_another(handle)) {
        CloseHandle(handle);
        return osd_failed(cause, OsdError::Locked);
    }
    file.handle = reinterpret_cast<OsdHandle>(handle);
    file.size = size.QuadPart;
    file.position = 0;
    return 0;
}

int osd_create(OsdFile& file, const std::string& path, OsdError* cause) {
    osd_close(file);
    const std::optional<std::wstring> wide = win_path(path);
    if (!wide) return osd_failed(cause, OsdError::InvalidName);
    // CREATE_NEW: a file that appeared since the caller looked keeps its bytes.
    HANDLE handle = CreateFileW(wide->c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return osd_failed(cause, open_error(*wide, GetLastError()));
    file.handle = reinterpret_cast<OsdHandle>(handle);
    return 0;
}

namespace {

// Marks a new file for deletion when its last handle closes, or takes the
// mark away again.
bool mark_for_deletion(HANDLE handle, bool deleted) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = deleted ? TRUE : FALSE;
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

}  // namespace

int osd_create_unpublished(OsdFile& file, const std::string& path, OsdError* cause) {
    osd_close(file);
    const std::optional<std::wstring> wide = win_path(path);
    if (!wide) return osd_failed(cause, OsdError::InvalidName);
    // DELETE access for the mark; others may read it, nothing more.
    HANDLE handle = CreateFileW(wide->c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return osd_failed(cause, open_error(*wide, GetLastError()));
    // Until it is published, the file goes when its handle closes, however
    // the program ends; Windows holds the name for it meanwhile. Where the
    // mark does not take, the handle's close tries again.
    file.handle = reinterpret_cast<OsdHandle>(handle);
    file.unpublishedPath = path;
    file.unpublishedVisible = !mark_for_deletion(handle, true);
    return 0;
}

int osd_publish(OsdFile& file, OsdError* cause) {
    if (file.unpublishedPath.empty()) return 0;
    if (!file.unpublishedVisible && !mark_for_deletion(native(file), false))
        return osd_failed(cause, error_from_code(GetLastError()));
    file.unpublishedPath.clear();
    return 0;
}

bool osd_exclusive_lost(const OsdFile&) { return false; }

void osd_release_exclusive(OsdFile& file) { file.leased = false; }

// Windows programs meet symbolic links rarely, and CreateFileW follows one
// when it opens: a dangling link is reported, not followed.
int osd_create_link_target(OsdFile& file, const std::string&, std::string&, OsdError* cause) {
    osd_close(file);
    return osd_failed(cause, OsdError::NotFound);
}

std::int64_t osd_length_of(const std::string& path, OsdError* cause) {
    const std::optional<std::wstring> wide = win_path(path);
    if (!wide) {
        osd_failed(cause, OsdError::InvalidName);
        return -1;
    }
    // Attributes only, as osd_path_state: a folder opens too, to be named.
    HANDLE handle = CreateFileW(wide->c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        osd_failed(cause, open_error(*wide, GetLastError()));
        return -1;
    }
    std::int64_t length = -1;
    BY_HANDLE_FILE_INFORMATION info{};
    GET_LENGTH_INFORMATION disk{};
    DWORD returned = 0;
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        osd_failed(cause, OsdError::NotRegularFile);
    } else if (DeviceIoControl(handle, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &disk, sizeof disk, &returned,
                               nullptr)) {
        length = disk.Length.QuadPart;  // a disk or a partition
    } else if (!GetFileInformationByHandle(handle, &info)) {
        osd_failed(cause, error_from_code(GetLastError()));
    } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        osd_failed(cause, OsdError::IsFolder);
    } else {
        length = static_cast<std::int64_t>((std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow);
    }
    CloseHandle(handle);
    return length;
}

std::int64_t osd_free_space(const std::string& path) {
    const std::optional<std::wstring> wide = win_path(path);
    if (!wide) return -1;
    std::wstring folder = *wide;
    ULARGE_INTEGER available{};
    // A new file's folder: the path up to its last separator.
    while (!GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) {
        const std::size_t separator = folder.find_last_of(L"\\/");
        if (separator == std::wstring::npos || separator == 0) return -1;
        folder.resize(separator + 1);
        if (!GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) return -1;
        break;
    }
    return available.QuadPart > static_cast<ULONGLONG>(INT64_MAX) ? INT64_MAX
                                                                  : static_cast<std::int64_t>(available.QuadPart);
}

OsdGrowth osd_platform_growth(const OsdFile& file) {
    OsdGrowth growth;
    if (file.handle == kOsdInvalidHandle) return growth;
    // FAT and exFAT write every zero. Other file systems keep holes in a file
    // marked sparse where they can; whether they did, the allocation after a
    // first step tells (NTFS through a network, or under another system).
    std::wstring system(MAX_PATH + 1, L'\0');
    if (GetVolumeInformationByHandleW(native(file), nullptr, 0, nullptr, nullptr, nullptr, system.data(),
                                      static_cast<DWORD>(system.size())))
        system.resize(system.find(L'\0'));
    growth.writesZeros = system == L"FAT" || system == L"FAT32" || system == L"exFAT";
    growth.known = growth.writesZeros;
    if (system != L"exFAT" && growth.writesZeros) growth.largestFile = std::int64_t{0xFFFFFFFF};
    // The free space of the volume the handle is on, found by its path.
    std::wstring path(32768, L'\0');
    const DWORD length = GetFinalPathNameByHandleW(native(file), path.data(), static_cast<DWORD>(path.size()), 0);
    if (length == 0 || length >= path.size()) return growth;
    path.resize(length);
    const std::size_t separator = path.find_last_of(L'\\');
    if (separator != std::wstring::npos) path.resize(separator + 1);
    ULARGE_INTEGER available{};
    if (GetDiskFreeSpaceExW(path.c_str(), &available, nullptr, nullptr))
        growth.freeSpace = available.QuadPart > static_cast<ULONGLONG>(INT64_MAX)
                               ? INT64_MAX
                               : static_cast<std::int64_t>(available.QuadPart);
    return growth;
}

std::int64_t osd_seek(OsdFile& file, std::int64_t distance, OsdOrigin origin, OsdError* cause) {
    const DWORD method = origin == OsdOrigin::Begin ? FILE_BEGIN : origin == OsdOrigin::Current ? FILE_CURRENT : FILE_END;
    LARGE_INTEGER move{};
    move.QuadPart = distance;
    LARGE_INTEGER result{};
    if (file.handle == kOsdInvalidHandle || !SetFilePointerEx(native(file), move, &result, method)) {
        // A position the file system cannot hold is refused as invalid.
        const DWORD code = GetLastError();
        osd_failed(cause, code == ERROR_INVALID_PARAMETER && distance > 0 ? OsdError::TooLarge : error_from_code(code));
        return -1;
    }
    file.position = result.QuadPart;
    return result.QuadPart;
}

std::int64_t osd_platform_read(OsdFile& file, void* buffer, std::int64_t count, std::int64_t offset,
                               OsdError* cause) {
    // ReadFile takes a 32-bit count; stay well inside it.
    constexpr std::int64_t kChunk = std::int64_t{1} << 30;
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::int64_t done = 0;
    while (done < count) {
        const auto want = static_cast<DWORD>(std::min(count - done, kChunk));
        // On a handle opened for plain (not overlapped) use, the offset in
        // OVERLAPPED makes this one positioned read; the pointer moves past it.
        OVERLAPPED at{};
        const auto where = static_cast<std::uint64_t>(offset + done);
        at.Offset = static_cast<DWORD>(where);
        at.OffsetHigh = static_cast<DWORD>(where >> 32);
        DWORD got = 0;
        if (!ReadFile(native(file), bytes + done, want, &got, offset < 0 ? nullptr : &at)) {
            if (offset >= 0 && GetLastError() == ERROR_HANDLE_EOF) break;
            osd_failed(cause, error_from_code(GetLastError()));
            return -1;
        }
        if (got == 0) break;  // end of file
        done += got;
    }
    file.position = offset < 0 ? file.position + done : offset + done;
    return done;
}

std::int64_t osd_write(OsdFile& file, const void* buffer, std::int64_t count, OsdError* cause) {
    if (file.handle == kOsdInvalidHandle) return 0;
    constexpr std::int64_t kChunk = std::int64_t{1} << 30;
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    std::int64_t done = 0;
    while (done < count) {
        const auto want = static_cast<DWORD>(std::min(count - done, kChunk));
        DWORD put = 0;
        if (!WriteFile(native(file), bytes + done, want, &put, nullptr) || put == 0) {
            osd_failed(cause, error_from_code(GetLastError()));
            break;
        }
        done += put;
    }
    file.position += done;
    return done;
}

int osd_seteof(OsdFile& file, OsdError* cause) {
    if (file.handle == kOsdInvalidHandle) return osd_failed(cause, OsdError::Other);
    if (SetEndOfFile(native(file))) return 0;
    const DWORD code = GetLastError();
    // ERROR_USER_MAPPED_FILE: another program maps the file (InUse).
    return osd_failed(cause, code == ERROR_INVALID_PARAMETER ? OsdError::TooLarge : error_from_code(code));
}

int osd_remove(const std::string& path, OsdError* cause) {
    const std::optional<std::wstring> wide = win_path(path);
    if (wide && DeleteFileW(wide->c_str())) return 0;
    return osd_failed(cause, wide ? open_error(*wide, GetLastError()) : OsdError::InvalidName);
}

std::int64_t osd_allocated_bytes(OsdFile& file) {
    FILE_STANDARD_INFO info{};
    if (file.handle == kOsdInvalidHandle ||
        !GetFileInformationByHandleEx(native(file), FileStandardInfo, &info, sizeof info))
        return -1;
    return info.AllocationSize.QuadPart;
}

void osd_allow_holes(OsdFile& file) {
    if (file.handle == kOsdInvalidHandle) return;
    FILE_SET_SPARSE_BUFFER sparse{};
    sparse.SetSparse = TRUE;
    DWORD returned = 0;
    // Refused by file systems without sparse files (FAT); the extension is
    // then allocated, as it would have been.
    (void)DeviceIoControl(native(file), FSCTL_SET_SPARSE, &sparse, sizeof sparse, nullptr, 0, &returned, nullptr);
}

namespace {

// FILETIME counts 100 ns from 1601; the state counts nanoseconds from 1970.
constexpr std::int64_t kFiletimeAt1970 = 116444736000000000;

std::int64_t nanoseconds(const FILETIME& time) {
    const std::int64_t ticks =
        static_cast<std::int64_t>((std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime);
    return (ticks - kFiletimeAt1970) * 100;
}

std::int64_t clock_now() {
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    return nanoseconds(now);
}

int state_of_handle(HANDLE handle, OsdFileState& state) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) return 1;
    state.volume = info.dwVolumeSerialNumber;
    state.fileId = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    state.size = static_cast<std::int64_t>((std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow);
    // Windows names no preferred I/O size; NTFS's cluster is the common one.
    state.ioBlockSize = 4096;
    state.modified = nanoseconds(info.ftLastWriteTime);
    state.changed = 0;
    return 0;
}

}  // namespace

int osd_state(const OsdFile& file, OsdFileState& state, OsdError* cause) {
    state.takenAt = clock_now();
    if (file.handle == kOsdInvalidHandle) return osd_failed(cause, OsdError::Other);
    return state_of_handle(native(file), state) == 0 ? 0 : osd_failed(cause, error_from_code(GetLastError()));
}

int osd_path_state(const std::string& path, OsdFileState& state, OsdError* cause) {
    state.takenAt = clock_now();
    const std::optional<std::wstring> wide = win_path(path);
    if (!wide) return osd_failed(cause, OsdError::InvalidName);
    // Attributes only: opens whatever the name reaches, folders included,
    // and takes no share a writer could mind.
    HANDLE handle = CreateFileW(wide->c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return osd_failed(cause, open_error(*wide, GetLastError()));
    const int failed = state_of_handle(handle, state) == 0 ? 0 : osd_failed(cause, error_from_code(GetLastError()));
    CloseHandle(handle);
    return failed;
}

int osd_close(OsdFile& file, OsdError* cause) {
    if (file.handle == kOsdInvalidHandle) return 0;
    // An unpublished file carries its deletion mark and goes now. The mark
    // is set through this handle, so it can only reach this very file.
    if (!file.unpublishedPath.empty() && file.unpublishedVisible) (void)mark_for_deletion(native(file), true);
    file.unpublishedPath.clear();
    file.leased = false;
    const BOOL closed = CloseHandle(native(file));
    file.handle = kOsdInvalidHandle;
    return closed ? 0 : osd_failed(cause, error_from_code(GetLastError()));
}

int osd_duplicate(const OsdFile& file, OsdFile& copy, OsdError* cause) {
    osd_close(copy);
    HANDLE duplicate = INVALID_HANDLE_VALUE;
    if (file.handle == kOsdInvalidHandle) return osd_failed(cause, OsdError::Other);
    if (!DuplicateHandle(GetCurrentProcess(), native(file), GetCurrentProcess(), &duplicate, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
        return osd_failed(cause, error_from_code(GetLastError()));
    copy.handle = reinterpret_cast<OsdHandle>(duplicate);
    copy.size = file.size;
    copy.position = 0;
    return 0;
}

// Windows has no cheap way to ask whether a file's pages sit in its cache.
bool osd_cached(const OsdFile& file, std::int64_t offset, std::int64_t count) {
    (void)file, (void)offset, (void)count;
    return false;
}

void osd_read_ahead(const OsdFile& file, std::int64_t offset, std::int64_t count) {
    (void)file, (void)offset, (void)count;
}

int osd_exists(const std::string& path) {
    const std::optional<std::wstring> wide = widen(path);
    if (!wide) return 0;
    // A directory search misses a folder named with a trailing separator.
    std::wstring trimmed = *wide;
    while (!trimmed.empty() && is_separator(trimmed.back())) trimmed.pop_back();
    if (trimmed.size() != wide->size() && is_root(trimmed))
        return GetFileAttributesW(carry_long_path(*wide).c_str()) != INVALID_FILE_ATTRIBUTES ? 1 : 0;
    if (trimmed.empty()) return 0;

    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(carry_long_path(std::move(trimmed)).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    FindClose(search);
    return 1;
}

namespace {

// Only a file marked sparse can have holes.
bool is_sparse(OsdFile& file) {
    BY_HANDLE_FILE_INFORMATION info{};
    return file.handle != kOsdInvalidHandle && GetFileInformationByHandle(native(file), &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_SPARSE_FILE);
}

}  // namespace

std::int64_t osd_platform_first_data(OsdFile& file, std::int64_t from, std::int64_t limit) {
    if (from >= limit || !is_sparse(file)) return from < limit ? from : limit;
    FILE_ALLOCATED_RANGE_BUFFER query{};
    query.FileOffset.QuadPart = from;
    query.Length.QuadPart = limit - from;
    FILE_ALLOCATED_RANGE_BUFFER first{};
    DWORD returned = 0;
    const BOOL complete = DeviceIoControl(native(file), FSCTL_QUERY_ALLOCATED_RANGES, &query, sizeof query, &first,
                                          sizeof first, &returned, nullptr);
    if (!complete && GetLastError() != ERROR_MORE_DATA) return -1;
    if (returned < sizeof first) return limit;
    const std::int64_t begin = std::max<std::int64_t>(first.FileOffset.QuadPart, from);
    return begin < limit ? begin : limit;
}

int osd_platform_runs(OsdFile& file, std::int64_t from, std::int64_t end, std::vector<OsdRange>& runs) {
    if (from >= end) return 0;
    if (!is_sparse(file)) {
        runs.push_back({from, end});
        return 0;
    }
    FILE_ALLOCATED_RANGE_BUFFER query{};
    query.FileOffset.QuadPart = from;
    query.Length.QuadPart = end - from;
    std::vector<FILE_ALLOCATED_RANGE_BUFFER> batch(256);
    for (;;) {
        DWORD returned = 0;
        const BOOL complete =
            DeviceIoControl(native(file), FSCTL_QUERY_ALLOCATED_RANGES, &query, sizeof query, batch.data(),
                            static_cast<DWORD>(batch.size() * sizeof batch[0]), &returned, nullptr);
        if (!complete && GetLastError() != ERROR_MORE_DATA) return 1;
        const std::size_t count = returned / sizeof batch[0];
        std::int64_t reached = query.FileOffset.QuadPart;
        for (std::size_t i = 0; i < count; ++i) {
            const std::int64_t begin = std::max<std::int64_t>(batch[i].FileOffset.QuadPart, from);
            const std::int64_t stop = std::min(batch[i].FileOffset.QuadPart + batch[i].Length.QuadPart, end);
            if (begin < stop) runs.push_back({begin, stop});
            reached = std::max(reached, stop);
        }
        if (complete || reached >= end) return 0;
        if (count == 0 || reached <= query.FileOffset.QuadPart) return 1;  // no progress
        query.FileOffset.QuadPart = reached;
        query.Length.QuadPart = end - reached;
    }
}

std::int64_t osd_platform_current_size(OsdFile& file) {
    LARGE_INTEGER size{};
    if (file.handle == kOsdInvalidHandle || !GetFileSizeEx(native(file), &size)) return -1;
    return size.QuadPart;
}

int osd_guard_standard_streams() {
    for (const DWORD stream : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        const HANDLE handle = GetStdHandle(stream);
        // A handle value the parent passed but this process does not hold
        // would be given to the next file opened.
        SetLastError(NO_ERROR);
        const bool held = handle != nullptr && handle != INVALID_HANDLE_VALUE &&
                          (GetFileType(handle) != FILE_TYPE_UNKNOWN || GetLastError() == NO_ERROR);
        if (held) continue;
        const HANDLE null = CreateFileW(L"NUL", stream == STD_INPUT_HANDLE ? GENERIC_WRITE : GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (null == INVALID_HANDLE_VALUE || !SetStdHandle(stream, null)) return 1;
    }
    return 0;
}
