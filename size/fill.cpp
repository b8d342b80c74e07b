#include "size/fill.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>

#include "util/helper_thread.h"

namespace {

using Step = Failure::Step;
// What ended a written fill early; nullopt while nothing has.
using FillStop = std::optional<Failure>;

// Puts the file back as it was before the fill; true when that worked. A
// created file has no name yet and goes with its handle. An extended one is
// cut back only while its length is the one the fill gave it, so that bytes
// another program added are never cut.
bool undo(OsdFile& file, const LengthPlan& plan) {
    bool cut = true;
    if (!plan.change.created) {
        OsdFileState now;
        cut = osd_state(file, now) == 0 && now.size == file.position &&
              osd_seek(file, plan.current, OsdOrigin::Begin) == plan.current && osd_seteof(file) == 0;
    }
    return osd_close(file) == 0 && cut;
}

// Why the next chunk must not be written, if it must not: the observer
// stopped the fill, or another program may have written the file since it
// began (it opened the file against the lease, or, where there is none, the
// length is no longer the one written so far).
FillStop before_chunk(OsdFile& file, ScanObserver* observer, std::int64_t done, std::int64_t total) {
    if (observer != nullptr && !observer->beforeBytes(done, total)) return failed_at(Step::Stopped);
    OsdFileState now;
    const bool othersCame = file.leased ? osd_exclusive_lost(file)
                                        : osd_state(file, now) != 0 || now.size != file.position;
    if (othersCame) return failed_at(Step::Lock, OsdError::InUse);
    return std::nullopt;
}

FillStop write_chunk(OsdFile& file, const unsigned char* bytes, std::int64_t count) {
    OsdError cause = OsdError::None;
    if (osd_write(file, bytes, count, &cause) == count) return std::nullopt;
    Failure failure = failed_at(Step::Write, cause);
    failure.offset = file.position;
    return failure;
}

// Random bytes on two cores taking turns: each makes a chunk and writes it
// itself, so that the bytes go out from its own cache, while the other makes
// the next one. The stream is made in order and written in order; the
// observer hears of every other chunk, from this thread. False when there
// is no second core or no buffer for it: nothing was written then.
bool write_random_in_turns(OsdFile& file, std::int64_t total, const Fill& fill, ScanObserver& observer,
                           FillStop& outcome) {
    AlignedBuffer buffers[2] = {make_aligned_buffer(kFillChunkSize), make_aligned_buffer(kFillChunkSize)};
    HelperThread helper;
    if (!buffers[0] || !buffers[1]) return false;
    FillStream stream(fill);
    const std::int64_t chunks = (total + kFillChunkSize - 1) / kFillChunkSize;
    std::mutex mutex;
    std::condition_variable turnOver;
    std::int64_t made = 0, written = 0;  // chunks done of each step
    auto awaitTurn = [&](const std::int64_t& done, std::int64_t chunk) {
        std::unique_lock<std::mutex> lock(mutex);
        turnOver.wait(lock, [&] { return done == chunk || outcome; });
        return !outcome;
    };
    auto endTurn = [&](std::int64_t& done, FillStop stop) {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            if (!outcome) outcome = stop;
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
            endTurn(made, std::nullopt);
            if (!awaitTurn(written, chunk)) return;
            FillStop stop = before_chunk(file, side == 0 ? &observer : nullptr, chunk * kFillChunkSize, total);
            if (!stop) stop = write_chunk(file, buffer, count);
            endTurn(written, stop);
        }
    };
    if (!helper.start([&] { takeTurns(1); })) return false;
    takeTurns(0);
    helper.wait();
    return true;
}

// Writes [from, to) from the stream, chunk by chunk; random bytes on two
// cores where there are two.
FillStop write_fill(OsdFile& file, std::int64_t from, std::int64_t to, const Fill& fill, ScanObserver& observer) {
    const std::int64_t total = to - from;
    OsdError cause = OsdError::None;
    if (osd_seek(file, from, OsdOrigin::Begin, &cause) != from) return failed_at(Step::Write, cause);
    FillStop outcome;
    if (fill.kind == Fill::Kind::Random && total > kFillChunkSize && HelperThread::worthwhile() &&
        write_random_in_turns(file, total, fill, observer, outcome))
        return outcome;
    FillChunks chunks(fill, static_cast<std::size_t>(std::min(total, kFillChunkSize)));
    if (!chunks.ok()) return failed_at(Step::Memory);
    for (std::int64_t done = 0; done < total && !outcome;) {
        const std::int64_t chunk = std::min(total - done, kFillChunkSize);
        outcome = before_chunk(file, &observer, done, total);
        if (!outcome) outcome = write_chunk(file, chunks.next(static_cast<std::size_t>(chunk)), chunk);
        done += chunk;
    }
    return outcome;
}

// Writes the fill above the old end and reads the length back; a fill that
// fails or is stopped is undone.
Change write_and_check(OsdFile& file, const LengthPlan& plan, const Fill& fill, ScanObserver& observer,
                       const SetLengthOptions& options) {
    FillStop stop = write_fill(file, plan.current, plan.target, fill, observer);
    // A written file's length is what was written; read it back all the
    // same, as for a cut.
    OsdFileState after;
    if (!stop && osd_state(file, after) == 0 && after.size != plan.target) {
        stop = failed_at(Step::ReadBack);
        stop->keptLength = after.size;
    }
    if (!stop) return finish_length(file, plan, options);
    Change change = plan.change;
    change.failure = stop;
    change.failure->undoFailed = !undo(file, plan);
    return change;
}

}  // namespace

Change fill_to_length(const std::string& path, const LengthRule& rule, const SetLengthOptions& options,
                      const Fill& fill, ScanObserver& observer) {
    SetLengthOptions planOptions = options;
    planOptions.confirmCut = nullptr;
    // Zeros: exactly the window's Execute, with progress where they are
    // written.
    if (fill.kind == Fill::Kind::Zero) {
        planOptions.progress = &observer;
        return set_file_length(path, rule, planOptions);
    }

    OsdFile file;
    const LengthPlan plan = plan_length(file, path, rule, planOptions);
    if (!plan.change.ok()) return plan.change;
    if (plan.target <= plan.current) {
        if (options.dryRun) return finish_length(file, plan, options);
        if (const std::optional<Failure> failure = move_end(file, plan.target, plan.current))
            return abandon_length(file, plan, *failure);
        return finish_length(file, plan, options);
    }
    const std::int64_t free = osd_free_space(plan.createdPath.empty() ? path : plan.createdPath);
    if (free >= 0 && plan.target - plan.current > free) {
        Failure noRoom = failed_at(Step::Space);
        noRoom.needed = plan.target - plan.current;
        noRoom.available = free;
        return abandon_length(file, plan, noRoom);
    }
    if (options.dryRun) return finish_length(file, plan, options);
    return write_and_check(file, plan, fill, observer, options);
}
