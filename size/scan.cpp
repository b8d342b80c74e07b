#include "size/scan.h"

#include <memory>
#include <new>

#include "size/pad_test.h"
#include "util/wide_int.h"

namespace {

// The kernel copies file data into a page-aligned buffer several times faster
// than into one that starts mid cache line.
constexpr std::size_t kBufferAlignment = 4096;

// A chunk is read in pieces that fit a core's cache, each tested right after
// its read, so the test does not go back out to slower memory.
constexpr std::int64_t kPieceSize = 256 * 1024;

struct AlignedDelete {
    void operator()(unsigned char* bytes) const { ::operator delete[](bytes, std::align_val_t{kBufferAlignment}); }
};

}  // namespace

int percent_before(std::int64_t position, std::int64_t size) {
    if (size <= 0 || position <= 0) return 0;
    if (position >= size) return 100;
    return static_cast<int>(static_cast<WideUint>(position) * 100 / static_cast<WideUint>(size));
}

ScanResult scan_trailing(ScanSource& source, std::int64_t size, ScanObserver& observer, std::uint8_t pad) {
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
    std::int64_t position = size;  // everything from here to the end is padding
    bool first = true;
    for (auto range = ranges.rbegin(); range != ranges.rend(); ++range) {
        const std::int64_t begin = range->begin < 0 ? 0 : range->begin;
        if (range->end < position) {
            // A hole reads as zeros: padding only when zero is the pad byte.
            if (pad != 0) {
                result.trailing = size - position;
                return result;
            }
            position = range->end;
        }
        while (position > begin) {
            // The share of the file still unread; the bar starts full.
            const int percent = first ? 100 : percent_before(position, size);
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
                    result.error = source.lastError();
                    return result;
                }
                const std::int64_t index = last_non_pad(buffer.get(), piece, pad);
                if (index >= 0) {
                    result.trailing = size - (offset + index + 1);
                    return result;
                }
                position = offset;
            }
        }
    }
    // Nothing but padding, or with a pad other than zero, a hole at the start.
    result.trailing = pad == 0 || position == 0 ? size : size - position;
    return result;
}
