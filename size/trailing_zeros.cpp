#include "size/trailing_zeros.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "app/view.h"
#include "osd/osd.h"
#include "size/output_size.h"
#include "util/format_grouped.h"

namespace {

// The kernel copies file data into a page-aligned buffer several times faster
// than into one that starts mid cache line.
constexpr std::size_t kBufferAlignment = 4096;

// A chunk is read in pieces that fit a core's cache, each tested right after
// its read, so the test does not go back out to slower memory.
constexpr std::int64_t kPieceSize = 256 * 1024;

struct AlignedDelete {
    void operator()(unsigned char* bytes) const {
        ::operator delete[](bytes, std::align_val_t{kBufferAlignment});
    }
};

std::uint64_t load_word(const unsigned char* p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

constexpr std::int64_t kZeroBlockSize = 1024;

// The zero test is bound by how fast it can load: AVX2 where the processor has
// it (chosen when the program loads), plain 16-byte vectors elsewhere.
#if defined(__x86_64__) && defined(__linux__)
#define TAVRIX_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define TAVRIX_VECTOR_CLONES
#endif

// Length of the run of zero blocks that ends at `end`. Four accumulators keep
// the loads independent of each other.
TAVRIX_VECTOR_CLONES std::int64_t zero_blocks_before(const unsigned char* bytes, std::int64_t end) {
    typedef std::uint64_t Vector __attribute__((vector_size(32)));
    std::int64_t at = end;
    while (at >= kZeroBlockSize) {
        const unsigned char* block = bytes + at - kZeroBlockSize;
        Vector a{}, b{}, c{}, d{};
        for (std::int64_t i = 0; i < kZeroBlockSize; i += 4 * sizeof(Vector)) {
            Vector w, x, y, z;
            std::memcpy(&w, block + i, sizeof w);
            std::memcpy(&x, block + i + 32, sizeof x);
            std::memcpy(&y, block + i + 64, sizeof y);
            std::memcpy(&z, block + i + 96, sizeof z);
            a |= w;
            b |= x;
            c |= y;
            d |= z;
        }
        a |= b | c | d;
        if ((a[0] | a[1] | a[2] | a[3]) != 0) break;
        at -= kZeroBlockSize;
    }
    return end - at;
}

// Index of the last byte in [0, count) that is not zero, or -1. Only the
// block that ends the run of zeros (or a part shorter than a block) is
// searched a word, then a byte, at a time.
std::int64_t last_nonzero(const unsigned char* bytes, std::int64_t count) {
    std::int64_t end = count - zero_blocks_before(bytes, count);
    while (end >= 8 && load_word(bytes + end - 8) == 0) end -= 8;
    while (end > 0 && bytes[end - 1] == 0) --end;
    return end - 1;
}

class FileSource final : public ScanSource {
public:
    explicit FileSource(OsdFile& file) : file_(file) {}
    std::vector<OsdRange> dataRanges() override { return osd_data_ranges(file_, file_.size); }
    bool readAt(std::int64_t offset, void* buffer, std::int64_t count) override {
        return osd_seek(file_, offset, OsdOrigin::Begin) == offset &&
               osd_read(file_, buffer, count) == count;
    }

private:
    OsdFile& file_;
};

// Shows progress and lets the window breathe between chunks; a close
// request stops the scan.
class WindowObserver final : public ScanObserver {
public:
    explicit WindowObserver(View& form) : form_(form) {}
    bool beforeChunk(int progressPercent) override {
        form_.setProgress(progressPercent);
        form_.processPendingEvents();
        return !form_.closeRequested();
    }

private:
    View& form_;
};

// Turns Button1 and E1 off for the length of a scan, back on however it ends.
class CommandsDisabled {
public:
    explicit CommandsDisabled(View& form) : form_(form) { form_.setCommandsEnabled(false); }
    ~CommandsDisabled() { form_.setCommandsEnabled(true); }
    CommandsDisabled(const CommandsDisabled&) = delete;
    CommandsDisabled& operator=(const CommandsDisabled&) = delete;

private:
    View& form_;
};

}  // namespace

ScanResult scan_trailing_zeros(ScanSource& source, std::int64_t size, ScanObserver& observer) {
    using Status = ScanResult::Status;
    ScanResult result;
    result.size = size;
    if (size <= 0) return result;

    const auto bufferSize = static_cast<std::size_t>(size < kPieceSize ? size : kPieceSize);
    std::unique_ptr<unsigned char[], AlignedDelete> buffer(static_cast<unsigned char*>(
        ::operator new[](bufferSize, std::align_val_t{kBufferAlignment}, std::nothrow)));
    if (!buffer) {
        result.status = Status::NoBuffer;
        return result;
    }

    const std::vector<OsdRange> ranges = source.dataRanges();
    std::int64_t position = size;  // everything from here to the end is zero
    bool first = true;
    for (auto range = ranges.rbegin(); range != ranges.rend(); ++range) {
        const std::int64_t begin = range->begin < 0 ? 0 : range->begin;
        // A hole reads as zeros: it joins the count without being read.
        if (range->end < position) position = range->end;
        while (position > begin) {
            // The share of the file still unread; the bar starts full.
            const int percent = first ? 100
                                      : static_cast<int>(static_cast<std::uint64_t>(position) * 100 /
                                                         static_cast<std::uint64_t>(size));
            first = false;
            if (!observer.beforeChunk(percent)) {
                result.status = Status::Stopped;
                return result;
            }
            const std::int64_t chunk = position - begin < ScanChunkSize ? position - begin : ScanChunkSize;
            const std::int64_t chunkStart = position - chunk;
            while (position > chunkStart) {
                const std::int64_t piece = position - chunkStart < kPieceSize ? position - chunkStart : kPieceSize;
                const std::int64_t offset = position - piece;
                if (!source.readAt(offset, buffer.get(), piece)) {
                    result.status = Status::ReadError;
                    result.failedAt = chunkStart;
                    return result;
                }
                const std::int64_t index = last_nonzero(buffer.get(), piece);
                if (index >= 0) {
                    result.zeros = size - (offset + index + 1);
                    return result;
                }
                position = offset;
            }
        }
    }
    result.zeros = size;  // nothing but zero bytes and holes
    return result;
}

ScanResult count_trailing_zeros(View& form, const std::string& path) {
    OsdFile file;
    if (osd_open(file, path, OsdAccess::Read) != 0) {
        form.setStatusText(path + "を開けません");
        ScanResult failed;
        failed.status = ScanResult::Status::CannotOpen;
        return failed;
    }
    FileSource source(file);
    WindowObserver observer(form);
    ScanResult result = scan_trailing_zeros(source, file.size, observer);
    osd_close(file);

    if (result.status == ScanResult::Status::NoBuffer) {
        form.setStatusText("バッファを確保できません");
    } else if (result.status == ScanResult::Status::ReadError) {
        char message[64];
        std::snprintf(message, sizeof message, "リードエラー 0x%" PRIx64,
                      static_cast<std::uint64_t>(result.failedAt));
        form.setStatusText(message);
    }
    return result;
}

void Button1Click(View& form) {
    ScanResult result;
    {
        CommandsDisabled guard(form);
        result = count_trailing_zeros(form, form.editText(EditId::Edit1));
    }
    form.setProgress(0);
    // A failed or stopped scan leaves the last known size in place.
    if (result.status != ScanResult::Status::Ok) return;
    OutputSize = result.size - result.zeros;
    form.setLabelCaption(LabelId::Label4, format_grouped(*OutputSize));
    form.setLabelCaption(LabelId::Label9, format_grouped(result.zeros));
}
