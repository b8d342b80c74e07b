#include "size/fill.h"

#include <bit>
#include <cstring>
#include <memory>
#include <new>

#include "size/set_length.h"

namespace {

using Status = FillResult::Status;

constexpr std::size_t kBufferAlignment = 4096;

struct AlignedDelete {
    void operator()(unsigned char* bytes) const { ::operator delete[](bytes, std::align_val_t{kBufferAlignment}); }
};

std::uint64_t splitmix64(std::uint64_t& x) {
    std::uint64_t z = (x += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

void store_le(unsigned char* out, std::uint64_t word, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<unsigned char>(word >> (8 * i));
}

Status open_target(OsdFile& file, const std::string& path, FillOpen open, bool& created) {
    switch (open) {
        case FillOpen::CreateNew:
            if (osd_create(file, path) != 0) return Status::CannotCreate;
            created = true;
            return Status::Ok;
        case FillOpen::OpenOrCreate:
            if (!osd_exists(path)) {
                if (osd_create(file, path) == 0) {
                    created = true;
                    return Status::Ok;
                }
                // One that appeared meanwhile is opened, never truncated.
                if (file.error != OsdError::AlreadyExists) return Status::CannotCreate;
            }
            [[fallthrough]];
        case FillOpen::OpenExisting:
            return osd_open(file, path, OsdAccess::ReadWrite) == 0 ? Status::Ok : Status::CannotOpen;
    }
    return Status::CannotOpen;
}

// Puts the file back as it was before the fill; true when that worked.
bool undo(OsdFile& file, const std::string& path, const FillResult& result) {
    if (result.created) {
        osd_close(file);
        return osd_remove(path) == 0;
    }
    const bool cut = osd_seek(file, result.oldSize, OsdOrigin::Begin) == result.oldSize && osd_seteof(file) == 0;
    return osd_close(file) == 0 && cut;
}

FillResult failed(Status status, OsdError error) {
    FillResult result;
    result.status = status;
    result.error = error;
    return result;
}

// Writes [from, to) from the stream, chunk by chunk.
Status write_fill(OsdFile& file, std::int64_t from, std::int64_t to, const FillSpec& fill, ScanObserver& observer) {
    const std::int64_t total = to - from;
    const auto bufferSize = static_cast<std::size_t>(total < kFillChunkSize ? total : kFillChunkSize);
    std::unique_ptr<unsigned char[], AlignedDelete> buffer(static_cast<unsigned char*>(
        ::operator new[](bufferSize, std::align_val_t{kBufferAlignment}, std::nothrow)));
    if (!buffer) return Status::NoBuffer;

    FillStream stream(fill);
    // A repeated byte is the same in every chunk: made once.
    if (fill.kind != FillSpec::Kind::Random) stream.next(buffer.get(), bufferSize);
    if (osd_seek(file, from, OsdOrigin::Begin) != from) return Status::CannotWrite;
    for (std::int64_t done = 0; done < total;) {
        if (!observer.beforeChunk(percent_before(done, total))) return Status::Stopped;
        const std::int64_t chunk = total - done < kFillChunkSize ? total - done : kFillChunkSize;
        if (fill.kind == FillSpec::Kind::Random) stream.next(buffer.get(), static_cast<std::size_t>(chunk));
        if (osd_write(file, buffer.get(), chunk) != chunk) {
            if (file.error == OsdError::None) file.error = OsdError::WriteFailed;
            return Status::CannotWrite;
        }
        done += chunk;
    }
    return Status::Ok;
}

}  // namespace

FillStream::FillStream(const FillSpec& fillRule) : spec_(fillRule) {
    std::uint64_t seed = fillRule.seed;
    for (std::uint64_t& word : state_) word = splitmix64(seed);
}

void FillStream::next(unsigned char* out, std::size_t count) {
    if (spec_.kind != FillSpec::Kind::Random) {
        std::memset(out, spec_.kind == FillSpec::Kind::Byte ? spec_.byte : 0, count);
        return;
    }
    std::uint64_t s0 = state_[0], s1 = state_[1], s2 = state_[2], s3 = state_[3];
    for (std::size_t at = 0; at < count; at += 8) {
        const std::uint64_t word = rotl(s1 * 5, 7) * 9;
        const std::uint64_t t = s1 << 17;
        s2 ^= s0;
        s3 ^= s1;
        s1 ^= s2;
        s0 ^= s3;
        s2 ^= t;
        s3 = rotl(s3, 45);
        if (count - at >= 8) {
            std::memcpy(out + at, &word, 8);
            if constexpr (std::endian::native == std::endian::big) store_le(out + at, word, 8);
        } else {
            store_le(out + at, word, count - at);
        }
    }
    state_[0] = s0, state_[1] = s1, state_[2] = s2, state_[3] = s3;
}

FillResult fill_to_length(const std::string& path, std::int64_t target, FillOpen open, const FillSpec& fill,
                          ScanObserver& observer) {
    // Zeros on an existing or missing file: exactly the window's Execute.
    if (fill.kind == FillSpec::Kind::Zero && open != FillOpen::CreateNew) {
        SetLengthOptions options;
        options.allowCreate = open == FillOpen::OpenOrCreate;
        const SetLengthResult set = set_file_length(path, target, options);
        FillResult result;
        result.created = set.created;
        result.oldSize = set.oldSize;
        result.error = set.error;
        switch (set.status) {
            case SetLengthResult::Status::Ok: result.status = Status::Ok; break;
            case SetLengthResult::Status::InvalidSize: result.status = Status::InvalidSize; break;
            case SetLengthResult::Status::CannotOpen: result.status = Status::CannotOpen; break;
            case SetLengthResult::Status::CannotCreate: result.status = Status::CannotCreate; break;
            case SetLengthResult::Status::CannotSetEnd:
            case SetLengthResult::Status::SizeChanged: result.status = Status::CannotSetEnd; break;
        }
        return result;
    }

    if (target < 0) return failed(Status::InvalidSize, OsdError::None);
    OsdFile file;
    FillResult result;
    result.status = open_target(file, path, open, result.created);
    if (!result.ok()) {
        result.error = file.error;
        return result;
    }
    const std::int64_t oldSize = result.created ? 0 : file.size;
    if (!result.created) result.oldSize = file.size;

    if (fill.kind == FillSpec::Kind::Zero || target <= oldSize) {
        if (target > oldSize) osd_allow_holes(file);
        if (osd_seek(file, target, OsdOrigin::Begin) != target || osd_seteof(file) != 0) {
            result.status = Status::CannotSetEnd;
            result.error = file.error;
            osd_close(file);
            if (result.created) (void)osd_remove(path);
            return result;
        }
    } else {
        result.status = write_fill(file, oldSize, target, fill, observer);
        if (!result.ok()) {
            result.error = result.status == Status::Stopped ? OsdError::None : file.error;
            result.undoFailed = !undo(file, path, result);
            return result;
        }
    }
    if (osd_close(file) != 0) {
        result.status = Status::CannotWrite;
        result.error = OsdError::WriteFailed;
        if (result.created) result.undoFailed = osd_remove(path) != 0;
    }
    return result;
}
