// The parts of the file layer that are the same on every platform.
#include <atomic>
#include <cstdio>
#include <utility>

#include "osd/osd.h"

namespace {
std::atomic<OsdTraceSink> trace_sink{&osd_trace_to_stdout};
}

OsdFile::~OsdFile() { osd_close(*this); }

OsdMappedView::OsdMappedView(OsdMappedView&& other) noexcept { *this = std::move(other); }

OsdMappedView& OsdMappedView::operator=(OsdMappedView&& other) noexcept {
    if (this != &other) {
        reset();
        base_ = std::exchange(other.base_, nullptr);
        length_ = std::exchange(other.length_, 0);
        data_ = std::exchange(other.data_, nullptr);
        offset_ = std::exchange(other.offset_, 0);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

const char* osd_error_text(OsdError error) {
    switch (error) {
        case OsdError::None: return "no error";
        case OsdError::NotFound: return "not found";
        case OsdError::IsFolder: return "is a folder";
        case OsdError::NotRegularFile: return "not a regular file";
        case OsdError::AccessDenied: return "permission denied";
        case OsdError::AlreadyExists: return "already exists";
        case OsdError::NoSpace: return "no space left";
        case OsdError::TooLarge: return "too large for the file system";
        case OsdError::ReadFailed: return "read error";
        case OsdError::WriteFailed: return "write error";
        case OsdError::InvalidName: return "invalid name";
        case OsdError::Other: return "failed";
    }
    return "failed";
}

void osd_trace_to_stdout(const std::string& line) {
    std::fputs(line.c_str(), stdout);
}

void osd_set_trace_sink(OsdTraceSink sink) { trace_sink.store(sink); }

std::int64_t osd_filesize(const std::string& path, OsdError* error) {
    if (OsdTraceSink sink = trace_sink.load()) sink("osd_filesize name-> " + path + "\n");
    OsdFile file;
    const int failed = osd_open(file, path, OsdAccess::Read);
    if (error != nullptr) *error = file.error;
    return failed ? -1 : file.size;
}
