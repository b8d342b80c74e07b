#include "size/pad_test.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

constexpr std::int64_t kBlockSize = 1024;

std::uint64_t load_word(const unsigned char* p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// Length of the run of whole pad blocks that ends at `end`. Four
// accumulators keep the loads independent of each other. The test is bound
// by how fast it can load, so it is built twice: for AVX2 and for the
// baseline processor (16-byte vectors).
#define TAVRIX_PAD_BLOCKS_BEFORE(name, attributes)                                                  \
    attributes std::int64_t name(const unsigned char* bytes, std::int64_t end, std::uint64_t padWord) { \
        typedef std::uint64_t Vector __attribute__((vector_size(32)));                              \
        const Vector padVector{padWord, padWord, padWord, padWord};                                 \
        std::int64_t at = end;                                                                      \
        while (at >= kBlockSize) {                                                                  \
            const unsigned char* block = bytes + at - kBlockSize;                                   \
            Vector a{}, b{}, c{}, d{};                                                              \
            for (std::int64_t i = 0; i < kBlockSize; i += 4 * sizeof(Vector)) {                     \
                Vector w, x, y, z;                                                                  \
                std::memcpy(&w, block + i, sizeof w);                                               \
                std::memcpy(&x, block + i + 32, sizeof x);                                          \
                std::memcpy(&y, block + i + 64, sizeof y);                                          \
                std::memcpy(&z, block + i + 96, sizeof z);                                          \
                a |= w ^ padVector;                                                                 \
                b |= x ^ padVector;                                                                 \
                c |= y ^ padVector;                                                                 \
                d |= z ^ padVector;                                                                 \
            }                                                                                       \
            a |= b | c | d;                                                                         \
            if ((a[0] | a[1] | a[2] | a[3]) != 0) break;                                            \
            at -= kBlockSize;                                                                       \
        }                                                                                           \
        return end - at;                                                                            \
    }

// Whether a whole stretch (a multiple of 128 bytes) is padding, tested front
// to back: memory streams fastest forwards, and a stretch far larger than a
// block keeps the prefetchers streaming. On bytes read from the cache's own
// pages, not from a buffer in a core's cache, this halves the test's time.
#define TAVRIX_ALL_PAD(name, attributes)                                                               \
    attributes bool name(const unsigned char* bytes, std::int64_t count, std::uint64_t padWord) {     \
        typedef std::uint64_t Vector __attribute__((vector_size(32)));                              \
        const Vector padVector{padWord, padWord, padWord, padWord};                                 \
        Vector a{}, b{}, c{}, d{};                                                                  \
        for (std::int64_t i = 0; i < count; i += 4 * sizeof(Vector)) {                              \
            Vector w, x, y, z;                                                                      \
            std::memcpy(&w, bytes + i, sizeof w);                                                   \
            std::memcpy(&x, bytes + i + 32, sizeof x);                                              \
            std::memcpy(&y, bytes + i + 64, sizeof y);                                              \
            std::memcpy(&z, bytes + i + 96, sizeof z);                                              \
            a |= w ^ padVector;                                                                     \
            b |= x ^ padVector;                                                                     \
            c |= y ^ padVector;                                                                     \
            d |= z ^ padVector;                                                                     \
        }                                                                                           \
        a |= b | c | d;                                                                             \
        return (a[0] | a[1] | a[2] | a[3]) == 0;                                                    \
    }

constexpr std::int64_t kStretchSize = 256 * 1024;

TAVRIX_PAD_BLOCKS_BEFORE(pad_blocks_baseline, )
TAVRIX_ALL_PAD(all_pad_baseline, )
#if defined(__x86_64__)
TAVRIX_PAD_BLOCKS_BEFORE(pad_blocks_avx2, __attribute__((target("avx2"))))
TAVRIX_ALL_PAD(all_pad_unaligned_avx2, __attribute__((target("avx2"))))

// The same with streaming loads (VMOVNTDQA), which on some processors pull
// a long stretch out of memory a good third faster than plain loads do.
// They need aligned addresses: the bytes before the first aligned vector and
// after the last whole group are tested with plain loads, overlapping.
__attribute__((target("avx2"))) bool all_pad_avx2(const unsigned char* bytes, std::int64_t count,
                                                  std::uint64_t padWord) {
    constexpr std::int64_t kGroup = 128;
    const auto misalignment = static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(bytes) & 31);
    const std::int64_t head = misalignment == 0 ? 0 : 32 - misalignment;
    const std::int64_t body = (count - head) / kGroup * kGroup;
    if (body < kGroup) return all_pad_unaligned_avx2(bytes, count, padWord);
    if (head > 0 && !all_pad_unaligned_avx2(bytes, kGroup, padWord)) return false;
    if (head + body < count && !all_pad_unaligned_avx2(bytes + count - kGroup, kGroup, padWord)) return false;
    const __m256i pad = _mm256_set1_epi64x(static_cast<long long>(padWord));
    __m256i a = _mm256_setzero_si256(), b = a, c = a, d = a;
    for (const unsigned char *at = bytes + head, *end = at + body; at < end; at += kGroup) {
        // The intrinsic takes a pointer to non-const; it only reads.
        auto* group = reinterpret_cast<__m256i*>(const_cast<unsigned char*>(at));
        a = _mm256_or_si256(a, _mm256_xor_si256(_mm256_stream_load_si256(group), pad));
        b = _mm256_or_si256(b, _mm256_xor_si256(_mm256_stream_load_si256(group + 1), pad));
        c = _mm256_or_si256(c, _mm256_xor_si256(_mm256_stream_load_si256(group + 2), pad));
        d = _mm256_or_si256(d, _mm256_xor_si256(_mm256_stream_load_si256(group + 3), pad));
    }
    a = _mm256_or_si256(_mm256_or_si256(a, b), _mm256_or_si256(c, d));
    return _mm256_testz_si256(a, a) != 0;
}
#endif

using BlocksFunction = std::int64_t (*)(const unsigned char*, std::int64_t, std::uint64_t);
using AllPadFunction = bool (*)(const unsigned char*, std::int64_t, std::uint64_t);

struct Kernel {
    BlocksFunction blocks;
    AllPadFunction allPad;
};

bool has_avx2() {
#if defined(__x86_64__)
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

Kernel kernel_for(PadKernel kernel) {
#if defined(__x86_64__)
    if (kernel == PadKernel::Avx2 && has_avx2()) return {pad_blocks_avx2, all_pad_avx2};
#endif
    (void)kernel;
    return {pad_blocks_baseline, all_pad_baseline};
}

// Chosen once, when the program loads.
const Kernel best_kernel = kernel_for(PadKernel::Avx2);

// Whole stretches of padding are skipped from the end; the stretch that
// holds the last other byte is searched block by block from its end, and
// only the block that ends the run of padding (or a part shorter than a
// block) a word, then a byte, at a time.
std::int64_t last_non_pad_using(const Kernel& kernel, const unsigned char* bytes, std::int64_t count,
                                std::uint8_t pad) {
    const std::uint64_t padWord = 0x0101010101010101ULL * pad;
    std::int64_t end = count;
    // Mostly all of it is padding: one pass front to back, the way memory
    // streams fastest. Otherwise stretch by stretch from the end, to find
    // where the padding stops.
    const std::int64_t whole = count / 128 * 128;
    if (whole >= kStretchSize && kernel.allPad(bytes + count - whole, whole, padWord)) {
        end = count - whole;
    } else {
        while (end >= kStretchSize && kernel.allPad(bytes + end - kStretchSize, kStretchSize, padWord))
            end -= kStretchSize;
    }
    end -= kernel.blocks(bytes, end, padWord);
    while (end >= 8 && load_word(bytes + end - 8) == padWord) end -= 8;
    while (end > 0 && bytes[end - 1] == pad) --end;
    return end - 1;
}

}  // namespace

std::int64_t last_non_pad(const unsigned char* bytes, std::int64_t count, std::uint8_t pad) {
    return last_non_pad_using(best_kernel, bytes, count, pad);
}

std::int64_t last_non_pad_with(PadKernel kernel, const unsigned char* bytes, std::int64_t count, std::uint8_t pad) {
    return last_non_pad_using(kernel_for(kernel), bytes, count, pad);
}

bool pad_kernel_available(PadKernel kernel) { return kernel == PadKernel::Baseline || has_avx2(); }
