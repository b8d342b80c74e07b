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

// Small enough to stay in a core's cache between its read and its test.
constexpr std::int64_t kPieceSize = 128 * 1024;

std::uint64_t load_word(const unsigned char* p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// Index of the last byte in [0, count) that is not zero, or -1. Tests 64
// bytes at a time, so runs of zeros cost a few instructions per block.
std::int64_t last_nonzero(const unsigned char* bytes, std::int64_t count) {
    constexpr std::int64_t kBlock = 64;
    std::int64_t end = count;
    for (; end % kBlock != 0; --end)
        if (bytes[end - 1] != 0) return end - 1;
    for (; end > 0; end -= kBlock) {
        const unsigned char* block = bytes + end - kBlock;
        std::uint64_t any = 0;
        for (int w = 0; w < kBlock; w += 8) any |= load_word(block + w);
        if (any == 0) continue;
        for (std::int64_t i = end - 1; i >= end - kBlock; --i)
            if (bytes[i] != 0) return i;
    }
    return -1;
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

    std::unique_ptr<unsigned char[]> buffer(
        new (std::nothrow) unsigned char[static_cast<std::size_t>(size < kPieceSize ? size : kPieceSize)]);
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
            // The chunk is read in cache-sized pieces from its end, each tested
            // while it is still in the cache: a second pass over a whole chunk
            // would cost as much again as the read itself.
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
