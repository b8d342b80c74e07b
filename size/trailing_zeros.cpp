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

constexpr std::int64_t kZeroBlockSize = 4096;
alignas(64) constexpr unsigned char kZeroBlock[kZeroBlockSize] = {};

// Index of the last byte in [0, count) that is not zero, or -1. Whole blocks
// are compared with memcmp, which runs on the C library's widest vector code
// for this processor; only the block that ends the run of zeros (or a part
// shorter than a block) is searched a word, then a byte, at a time.
std::int64_t last_nonzero(const unsigned char* bytes, std::int64_t count) {
    std::int64_t end = count;
    while (end >= kZeroBlockSize &&
           std::memcmp(bytes + end - kZeroBlockSize, kZeroBlock, kZeroBlockSize) == 0)
        end -= kZeroBlockSize;
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

    const auto bufferSize = static_cast<std::size_t>(size < ScanChunkSize ? size : ScanChunkSize);
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
            const std::int64_t offset = position - chunk;
            if (!source.readAt(offset, buffer.get(), chunk)) {
                result.status = Status::ReadError;
                result.failedAt = offset;
                return result;
            }
            const std::int64_t index = last_nonzero(buffer.get(), chunk);
            if (index >= 0) {
                result.zeros = size - (offset + index + 1);
                return result;
            }
            position = offset;
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
