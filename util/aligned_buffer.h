// Page-aligned byte buffers: the kernel copies file data to and from a
// page-aligned buffer several times faster than one that starts mid cache
// line.
#pragma once

#include <cstddef>
#include <memory>
#include <new>

inline constexpr std::size_t kBufferAlignment = 4096;

struct AlignedDelete {
    void operator()(unsigned char* bytes) const { ::operator delete[](bytes, std::align_val_t{kBufferAlignment}); }
};
using AlignedBuffer = std::unique_ptr<unsigned char[], AlignedDelete>;

// `size` bytes, or null when the memory cannot be had.
inline AlignedBuffer make_aligned_buffer(std::size_t size) {
    return AlignedBuffer(
        static_cast<unsigned char*>(::operator new[](size, std::align_val_t{kBufferAlignment}, std::nothrow)));
}
