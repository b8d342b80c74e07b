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

FillResult fill_to_length(const std::string& path, const LengthRule& rule, const SetLengthOptions& options,
                          const FillSpec& fill, ScanObserver& observer) {
    // Zeros: exactly the window's Execute.
    if (fill.kind == FillSpec::Kind::Zero) {
        SetLengthOptions setOptions = options;
        setOptions.confirmCut = nullptr;
        const SetLengthResult set = set_file_length(path, rule, setOptions);
        FillResult result;
        result.created = set.created;
        result.oldSize = set.oldSize;
        result.newSize = set.newSize;
        result.error = set.error;
        switch (set.status) {
            case SetLengthResult::Status::Ok: result.status = Status::Ok; break;
            case SetLengthResult::Status::InvalidSize: result.status = Status::InvalidSize; break;
            case SetLengthResult::Status::TooLarge: result.status = Status::TooLarge; break;
            case SetLengthResult::Status::CannotOpen: result.status = Status::CannotOpen; break;
            case SetLengthResult::Status::CannotCreate: result.status = Status::CannotCreate; break;
            case SetLengthResult::Status::LengthNotKept: result.status = Status::LengthNotKept; break;
            case SetLengthResult::Status::CannotSetEnd:
            case SetLengthResult::Status::Declined: result.status = Status::CannotSetEnd; break;
        }
        return result;
    }

    OsdFile file;
    FillResult result;
    std::string createdPath;
    const SetLengthResult::Status opened = open_for_length(file, path, options.open, createdPath);
    result.created = !createdPath.empty();
    switch (opened) {
        case SetLengthResult::Status::Ok: break;
        case SetLengthResult::Status::CannotCreate: return failed(Status::CannotCreate, file.error);
        default: return failed(Status::CannotOpen, file.error);
    }
    if (options.afterOpen) options.afterOpen();
    auto give_up = [&](Status status) {
        result.status = status;
        result.error = file.error;
        osd_close(file);
        if (result.created) (void)osd_remove(createdPath);
        return result;
    };

    OsdFileState state;
    if (!result.created && osd_state(file, state) != 0) return give_up(Status::CannotOpen);
    const std::int64_t oldSize = result.created ? 0 : state.size;
    if (!result.created) result.oldSize = oldSize;
    const AppliedSize target = rule(oldSize);
    if (!target.ok())
        return give_up(target.status == AppliedSize::Status::BelowZero ? Status::InvalidSize : Status::TooLarge);

    if (target.length <= oldSize) {
        switch (move_end(file, target.length, false, result.newSize)) {
            case SetLengthResult::Status::Ok: break;
            case SetLengthResult::Status::LengthNotKept: return give_up(Status::LengthNotKept);
            default: return give_up(Status::CannotSetEnd);
        }
    } else {
        const std::int64_t free = osd_free_space(result.created ? createdPath : path);
        if (free >= 0 && target.length - oldSize > free) {
            result.needed = target.length - oldSize;
            result.available = free;
            return give_up(Status::NotEnoughSpace);
        }
        result.status = write_fill(file, oldSize, target.length, fill, observer);
        if (result.ok()) {
            // A written file's length is what was written; read it back all
            // the same, as for a cut.
            OsdFileState after;
            if (osd_state(file, after) == 0 && after.size != target.length) {
                result.status = Status::LengthNotKept;
                result.newSize = after.size;
            } else {
                result.newSize = target.length;
            }
        }
        if (!result.ok()) {
            result.error = result.status == Status::Stopped ? OsdError::None : file.error;
            result.undoFailed = !undo(file, createdPath, result);
            return result;
        }
    }
    if (osd_close(file) != 0) {
        result.status = Status::CannotWrite;
        result.error = OsdError::WriteFailed;
        if (result.created) result.undoFailed = osd_remove(createdPath) != 0;
    }
    return result;
}
