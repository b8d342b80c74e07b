#include "size/fill.h"

#include <algorithm>
#include <bit>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "size/set_length.h"
#include "util/helper_thread.h"

namespace {

using Status = FillResult::Status;


std::uint64_t splitmix64(std::uint64_t& x) {
    std::uint64_t z = (x += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

void store_le(unsigned char* out, std::uint64_t word, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<unsigned char>(word >> (8 * i));
}

// Puts the file back as it was before the fill; true when that worked. A
// created file has no name yet and goes with its handle. An extended one is
// cut back only while its length is the one the fill gave it, so that bytes
// another program added are never cut.
bool undo(OsdFile& file, const FillResult& result) {
    bool cut = true;
    if (!result.created) {
        OsdFileState now;
        cut = osd_state(file, now) == 0 && now.size == file.position &&
              osd_seek(file, result.oldSize, OsdOrigin::Begin) == result.oldSize && osd_seteof(file) == 0;
    }
    return osd_close(file) == 0 && cut;
}

// Whether another program may have written the file since the fill began:
// it opened the file against the lease, or, where there is none, the
// length is no longer the one written so far.
bool others_came(OsdFile& file) {
    if (file.leased) return osd_exclusive_lost(file);
    OsdFileState now;
    return osd_state(file, now) != 0 || now.size != file.position;
}

FillResult failed(Status status, OsdError error) {
    FillResult result;
    result.status = status;
    result.error = error;
    return result;
}

// Random bytes on two cores taking turns: each makes a chunk and writes it
// itself, so that the bytes go out from its own cache, while the other makes
// the next one. The stream is made in order and written in order; the
// observer hears of every other chunk, from this thread.
Status write_random_in_turns(OsdFile& file, std::int64_t total, const Fill& fill, ScanObserver& observer,
                             HelperThread& helper) {
    AlignedBuffer buffers[2] = {make_aligned_buffer(kFillChunkSize), make_aligned_buffer(kFillChunkSize)};
    if (!buffers[0] || !buffers[1]) return Status::NoBuffer;
    FillStream stream(fill);
    const std::int64_t chunks = (total + kFillChunkSize - 1) / kFillChunkSize;
    std::mutex mutex;
    std::condition_variable turnOver;
    std::int64_t made = 0, written = 0;  // chunks done of each step
    Status outcome = Status::Ok;
    auto awaitTurn = [&](const std::int64_t& done, std::int64_t chunk) {
        std::unique_lock<std::mutex> lock(mutex);
        turnOver.wait(lock, [&] { return done == chunk || outcome != Status::Ok; });
        return outcome == Status::Ok;
    };
    auto endTurn = [&](std::int64_t& done, Status status) {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            if (outcome == Status::Ok) outcome = status;
            ++done;
        }
        turnOver.notify_all();
    };
    auto takeTurns = [&](int side) {
        unsigned char* buffer = buffers[side].get();
        for (std::int64_t chunk = side; chunk < chunks; chunk += 2) {
            const std::int64_t count = std::min(kFillChunkSize, total - chunk * kFillChunkSize);
            if (!awaitTurn(made, chunk)) return;
            stream.next(buffer, static_cast<std::size_t>(count));
            endTurn(made, Status::Ok);
            if (!awaitTurn(written, chunk)) return;
            Status status = Status::Ok;
            if (side == 0 && !observer.beforeBytes(chunk * kFillChunkSize, total)) {
                status = Status::Stopped;
            } else if (others_came(file)) {
                status = Status::InUse;
            } else if (osd_write(file, buffer, count) != count) {
                status = Status::CannotWrite;
            }
            endTurn(written, status);
        }
    };
    if (!helper.start([&] { takeTurns(1); })) return Status::NoBuffer;
    takeTurns(0);
    helper.wait();
    if (outcome == Status::CannotWrite && file.error == OsdError::None) file.error = OsdError::WriteFailed;
    return outcome;
}

// Writes [from, to) from the stream, chunk by chunk; random bytes on two
// cores where there are two.
Status write_fill(OsdFile& file, std::int64_t from, std::int64_t to, const Fill& fill, ScanObserver& observer) {
    const std::int64_t total = to - from;
    if (osd_seek(file, from, OsdOrigin::Begin) != from) return Status::CannotWrite;
    if (fill.kind == Fill::Kind::Random && total > kFillChunkSize && HelperThread::worthwhile()) {
        HelperThread helper;
        const Status status = write_random_in_turns(file, total, fill, observer, helper);
        if (status != Status::NoBuffer) return status;
    }
    const auto chunkSize = static_cast<std::size_t>(total < kFillChunkSize ? total : kFillChunkSize);
    FillChunks chunks(fill, chunkSize);
    if (!chunks.ok()) return Status::NoBuffer;
    for (std::int64_t done = 0; done < total;) {
        if (!observer.beforeBytes(done, total)) return Status::Stopped;
        if (others_came(file)) return Status::InUse;
        const std::int64_t chunk = total - done < kFillChunkSize ? total - done : kFillChunkSize;
        if (osd_write(file, chunks.next(static_cast<std::size_t>(chunk)), chunk) != chunk) {
            if (file.error == OsdError::None) file.error = OsdError::WriteFailed;
            return Status::CannotWrite;
        }
        done += chunk;
    }
    return Status::Ok;
}

using Lanes = std::uint64_t __attribute__((vector_size(32)));  // four generators side by side

// `rounds` steps of all eight generators, each step's eight words stored in
// turn at `out`. Inlined into each of the builds below.
[[gnu::always_inline]] inline void make_rounds(std::uint64_t (&state)[4][FillStream::kLanes], unsigned char* out,
                                               std::size_t rounds) {
    Lanes s[4][2];
    for (int word = 0; word < 4; ++word)
        for (int half = 0; half < 2; ++half) std::memcpy(&s[word][half], &state[word][4 * half], sizeof(Lanes));
    for (std::size_t round = 0; round < rounds; ++round, out += 8 * FillStream::kLanes) {
        for (int half = 0; half < 2; ++half) {
            Lanes& s0 = s[0][half];
            Lanes& s1 = s[1][half];
            Lanes& s2 = s[2][half];
            Lanes& s3 = s[3][half];
            // rotl(s1 * 5, 7) * 9, the products as shifts and adds: vector
            // units lack a 64-bit multiply.
            Lanes word = (s1 << 2) + s1;
            word = (word << 7) | (word >> 57);
            word = (word << 3) + word;
            const Lanes t = s1 << 17;
            s2 ^= s0;
            s3 ^= s1;
            s1 ^= s2;
            s0 ^= s3;
            s2 ^= t;
            s3 = (s3 << 45) | (s3 >> 19);
            std::memcpy(out + sizeof(Lanes) * half, &word, sizeof(Lanes));
        }
        if constexpr (std::endian::native == std::endian::big) {
            for (int lane = 0; lane < FillStream::kLanes; ++lane) {
                std::uint64_t word = 0;
                std::memcpy(&word, out + 8 * lane, 8);
                store_le(out + 8 * lane, word, 8);
            }
        }
    }
    for (int word = 0; word < 4; ++word)
        for (int half = 0; half < 2; ++half) std::memcpy(&state[word][4 * half], &s[word][half], sizeof(Lanes));
}

void make_rounds_baseline(std::uint64_t (&state)[4][FillStream::kLanes], unsigned char* out, std::size_t rounds) {
    make_rounds(state, out, rounds);
}

// The same bytes twice as fast where the processor has AVX2. Not on
// Windows, where the compiler cannot align 32-byte values on the stack.
#if defined(__x86_64__) && !defined(_WIN32)
[[gnu::target("avx2")]] void make_rounds_avx2(std::uint64_t (&state)[4][FillStream::kLanes], unsigned char* out,
                                              std::size_t rounds) {
    make_rounds(state, out, rounds);
}

void make_rounds_here(std::uint64_t (&state)[4][FillStream::kLanes], unsigned char* out, std::size_t rounds) {
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) {
        make_rounds_avx2(state, out, rounds);
    } else {
        make_rounds_baseline(state, out, rounds);
    }
}
#else
void make_rounds_here(std::uint64_t (&state)[4][FillStream::kLanes], unsigned char* out, std::size_t rounds) {
    make_rounds_baseline(state, out, rounds);
}
#endif

}  // namespace

FillStream::FillStream(const Fill& fillRule) : fill_(fillRule) {
    std::uint64_t seed = fillRule.seed;
    for (int lane = 0; lane < kLanes; ++lane)
        for (auto& word : state_) word[lane] = splitmix64(seed);
}

void FillStream::next(unsigned char* out, std::size_t count) {
    if (fill_.kind != Fill::Kind::Random) {
        std::memset(out, fill_.kind == Fill::Kind::Byte ? fill_.byte : 0, count);
        return;
    }
    const std::size_t fromSpare = std::min(count, sizeof spare_ - spareFrom_);
    std::memcpy(out, spare_ + spareFrom_, fromSpare);
    spareFrom_ += fromSpare;
    out += fromSpare;
    count -= fromSpare;

    const std::size_t rounds = count / sizeof spare_;
    make_rounds_here(state_, out, rounds);
    out += rounds * sizeof spare_;
    count -= rounds * sizeof spare_;
    if (count > 0) {
        make_rounds_here(state_, spare_, 1);
        std::memcpy(out, spare_, count);
        spareFrom_ = count;
    }
}

FillChunks::FillChunks(const Fill& fillRule, std::size_t chunkSize)
    : stream_(fillRule), buffer_(make_aligned_buffer(chunkSize)), repeated_(fillRule.kind != Fill::Kind::Random) {
    if (buffer_ && repeated_) stream_.next(buffer_.get(), chunkSize);
}

const unsigned char* FillChunks::next(std::size_t count) {
    if (!repeated_) stream_.next(buffer_.get(), count);
    return buffer_.get();
}

namespace {

// The zero fill is exactly the window's Execute.
FillResult set_zero_fill(const std::string& path, const LengthRule& rule, const SetLengthOptions& options) {
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

// Writes the fill above the old end and reads the length back; a fill
// that fails or is stopped is undone.
void write_and_check(OsdFile& file, const LengthPlan& plan, const Fill& fill, ScanObserver& observer,
                     FillResult& result) {
    result.status = write_fill(file, plan.current, plan.target, fill, observer);
    if (result.ok()) {
        // A written file's length is what was written; read it back all
        // the same, as for a cut.
        OsdFileState after;
        if (osd_state(file, after) == 0 && after.size != plan.target) {
            result.status = Status::LengthNotKept;
            result.newSize = after.size;
        } else {
            result.newSize = plan.target;
        }
    }
    if (result.ok()) return;
    result.error = result.status == Status::Stopped ? OsdError::None
                   : result.status == Status::InUse ? OsdError::InUse
                                                    : file.error;
    result.undoFailed = !undo(file, result);
}

}  // namespace

FillResult fill_to_length(const std::string& path, const LengthRule& rule, const SetLengthOptions& options,
                          const Fill& fill, ScanObserver& observer) {
    if (fill.kind == Fill::Kind::Zero) return set_zero_fill(path, rule, options);

    OsdFile file;
    SetLengthOptions planOptions = options;
    planOptions.confirmCut = nullptr;
    LengthPlan plan = plan_length(file, path, rule, planOptions);
    FillResult result;
    result.created = plan.result.created;
    result.oldSize = plan.result.oldSize;
    switch (plan.result.status) {
        case SetLengthResult::Status::Ok: break;
        case SetLengthResult::Status::CannotCreate: return failed(Status::CannotCreate, plan.result.error);
        case SetLengthResult::Status::InvalidSize: return failed(Status::InvalidSize, plan.result.error);
        case SetLengthResult::Status::TooLarge: return failed(Status::TooLarge, plan.result.error);
        default: return failed(Status::CannotOpen, plan.result.error);
    }
    auto give_up = [&](Status status) {
        result.status = status;
        result.error = file.error;
        (void)abandon_length(file, plan, SetLengthResult::Status::CannotSetEnd);
        return result;
    };

    if (plan.target <= plan.current) {
        if (!options.dryRun) {
            switch (move_end(file, plan.target, false, result.newSize)) {
                case SetLengthResult::Status::Ok: break;
                case SetLengthResult::Status::LengthNotKept: return give_up(Status::LengthNotKept);
                case SetLengthResult::Status::CannotOpen: return give_up(Status::InUse);
                default: return give_up(Status::CannotSetEnd);
            }
        }
    } else {
        const std::int64_t free = osd_free_space(plan.createdPath.empty() ? path : plan.createdPath);
        if (free >= 0 && plan.target - plan.current > free) {
            result.needed = plan.target - plan.current;
            result.available = free;
            return give_up(Status::NotEnoughSpace);
        }
        if (!options.dryRun) {
            write_and_check(file, plan, fill, observer, result);
            if (!result.ok()) return result;
        }
    }
    if (options.dryRun) result.newSize = plan.target;
    finish_length(file, options, plan.result);
    if (!plan.result.ok()) {
        result.status = plan.result.status == SetLengthResult::Status::CannotCreate ? Status::CannotCreate
                                                                                     : Status::CannotWrite;
        result.error = plan.result.error;
    }
    return result;
}
