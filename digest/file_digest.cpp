#include "digest/file_digest.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "util/aligned_buffer.h"
#include "util/helper_thread.h"

namespace {

// Rough time per byte of each algorithm, in units of a read from the page
// cache, on a processor with SHA instructions. Only their order and rough
// size matter: they decide which thread computes which digest.
int cost_of(DigestAlgorithm algorithm) {
    switch (algorithm) {
        case DigestAlgorithm::Crc32: return 9;
        case DigestAlgorithm::Md5: return 32;
        case DigestAlgorithm::Sha1: return 14;
        case DigestAlgorithm::Sha256: return 16;
    }
    return 1;
}
constexpr int kReadCost = 1;

using Status = FileDigests::Status;

// The digests of one file, fed chunk by chunk, each chunk to every digest.
// The costliest digest first, each goes to the thread with less work so
// far, the reading thread starting with the reads; so one digest alone is
// computed on the helper while this thread reads the next chunk.
class DigestRun {
public:
    // The digests, or the failure of the first that cannot start. Without
    // `twoThreads` this thread computes them all.
    std::string start(const std::vector<DigestAlgorithm>& algorithms, bool twoThreads) {
        std::vector<std::size_t> order(algorithms.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return cost_of(algorithms[a]) > cost_of(algorithms[b]); });
        int ownWork = kReadCost, helperWork = 0;
        algorithms_ = algorithms;
        digests_.resize(algorithms.size());
        for (const std::size_t i : order) {
            StartedDigest started = start_digest(algorithms[i]);
            if (!started.digest) return std::string(digest_name(algorithms[i])) + ": " + started.failure;
            digests_[i] = std::move(started.digest);
            const bool onHelper = twoThreads && helperWork < ownWork;
            (onHelper ? helperWork : ownWork) += cost_of(algorithms[i]);
            (onHelper ? helperShare_ : ownShare_).push_back(digests_[i].get());
        }
        if (!helperShare_.empty()) helper_ = std::make_unique<HelperThread>();
        return {};
    }

    // The buffers for a file of `size` bytes padded up to `total`: two to
    // read into in turns, and one of padding fed again and again.
    bool allocate(std::int64_t size, std::int64_t total, std::uint8_t padByte) {
        const auto chunk = [](std::int64_t bytes) { return static_cast<std::size_t>(std::min(bytes, kDigestChunkSize)); };
        for (AlignedBuffer& buffer : reads_) {
            if (size > 0 && !(buffer = make_aligned_buffer(chunk(size)))) return false;
        }
        if (total > size) {
            padding_ = make_aligned_buffer(chunk(total - size));
            if (!padding_) return false;
            std::memset(padding_.get(), padByte, chunk(total - size));
        }
        return true;
    }

    unsigned char* readBuffer(int turn) { return reads_[turn].get(); }
    const unsigned char* padding() const { return padding_.get(); }

    // Feeds `count` bytes to every digest. The helper's share may still be
    // at work on return: the bytes stay untouched until the next feed or
    // wait returns.
    void feed(const unsigned char* bytes, std::size_t count) {
        wait();
        if (!helperShare_.empty()) {
            auto helperJob = [this, bytes, count] { add(helperShare_, bytes, count); };
            if (!helper_->start(helperJob)) helperJob();
        }
        add(ownShare_, bytes, count);
    }

    void wait() {
        if (helper_) helper_->wait();
    }

    // Each digest's value in the order asked, or the first failure.
    std::string finish(std::vector<std::string>& hex) {
        wait();
        for (std::size_t i = 0; i < digests_.size(); ++i) {
            DigestValue value = digests_[i]->finish();
            if (!value.ok()) return std::string(digest_name(algorithms_[i])) + ": " + value.failure;
            hex.push_back(std::move(value.hex));
        }
        return {};
    }

private:
    static void add(const std::vector<Digest*>& share, const unsigned char* bytes, std::size_t count) {
        for (Digest* digest : share) digest->add(bytes, count);
    }

    std::vector<DigestAlgorithm> algorithms_;
    std::vector<std::unique_ptr<Digest>> digests_;
    std::vector<Digest*> ownShare_;
    std::vector<Digest*> helperShare_;
    AlignedBuffer reads_[2];
    AlignedBuffer padding_;
    std::unique_ptr<HelperThread> helper_;  // last: it ends before what its jobs use
};

// Waits for the helper's share however the feeding ends: it may still read
// a buffer.
class WaitForHelper {
public:
    explicit WaitForHelper(DigestRun& run) : run_(run) {}
    ~WaitForHelper() { run_.wait(); }
    WaitForHelper(const WaitForHelper&) = delete;
    WaitForHelper& operator=(const WaitForHelper&) = delete;

private:
    DigestRun& run_;
};

// Reads the file's `size` bytes once, then feeds padding up to `total`.
Status feed_all(OsdFile& file, std::int64_t size, std::int64_t total, DigestRun& run, ScanObserver& observer,
                OsdError& error) {
    const WaitForHelper waited(run);
    int turn = 0;
    for (std::int64_t done = 0; done < total;) {
        if (!observer.beforeBytes(done, total)) return Status::Stopped;
        const bool reading = done < size;
        const std::int64_t count = std::min(kDigestChunkSize, (reading ? size : total) - done);
        const unsigned char* bytes = run.padding();
        if (reading) {
            // The other buffer may still be with the helper.
            unsigned char* buffer = run.readBuffer(turn);
            turn ^= 1;
            OsdError cause = OsdError::None;
            if (osd_read_at(file, done, buffer, count, &cause) != count) {
                // No error from the system: the file ended early, it shrank.
                error = cause;
                return cause == OsdError::None ? Status::Changed : Status::ReadError;
            }
            bytes = buffer;
        }
        run.feed(bytes, static_cast<std::size_t>(count));
        done += count;
    }
    return Status::Ok;
}

FileDigests failed(FileDigests result, Status status) {
    result.status = status;
    return result;
}

}  // namespace

FileDigests digest_file(OsdFile& file, const std::vector<DigestAlgorithm>& algorithms,
                        const std::optional<DigestPadding>& padding, ScanObserver& observer) {
    FileDigests result;
    OsdFileState before;
    if (osd_state(file, before, &result.error) != 0) {
        return failed(result, Status::ReadError);
    }
    result.size = before.size;
    if (padding && result.size > padding->length) return failed(result, Status::LongerThanPadding);
    const std::int64_t total = padding ? padding->length : result.size;

    // A second thread for more than one chunk only: a file that fits in one
    // would wait for the thread longer than for its digests.
    DigestRun run;
    result.failure = run.start(algorithms, total > kDigestChunkSize && HelperThread::worthwhile());
    if (!result.failure.empty()) return failed(result, Status::DigestFailed);
    if (!run.allocate(result.size, total, padding ? padding->byte : 0)) return failed(result, Status::NoBuffer);
    const Status fed = feed_all(file, result.size, total, run, observer, result.error);
    if (fed != Status::Ok) return failed(result, fed);

    OsdFileState after;
    if (osd_state(file, after) != 0 || !after.unchangedSince(before)) return failed(result, Status::Changed);
    result.failure = run.finish(result.hex);
    if (!result.failure.empty()) return failed(result, Status::DigestFailed);
    return result;
}
