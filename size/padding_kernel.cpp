#include "size/padding_kernel.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

constexpr std::int64_t kBlockSize = 1024;
// Long runs of padding are tested a stretch at a time, front to back.
constexpr std::int64_t kStretchSize = 256 * 1024;

// Each byte is compared with both pad bytes, so one byte and two cost the
// same; the test is bound by how fast it can load. Four accumulators keep
// the loads independent. `ALL_PAD_LANES` is true when every lane of `acc`
// matched. Built twice: for AVX2 and for the baseline processor.
typedef unsigned char ByteVector __attribute__((vector_size(32)));
typedef signed char MaskVector __attribute__((vector_size(32)));

#define TAVRIX_ACCUMULATE_GROUP(at)                                                    \
    {                                                                                  \
        ByteVector w, x, y, z;                                                         \
        std::memcpy(&w, (at), sizeof w);                                               \
        std::memcpy(&x, (at) + 32, sizeof x);                                          \
        std::memcpy(&y, (at) + 64, sizeof y);                                          \
        std::memcpy(&z, (at) + 96, sizeof z);                                          \
        a &= (w == first) | (w == second);                                             \
        b &= (x == first) | (x == second);                                             \
        c &= (y == first) | (y == second);                                             \
        d &= (z == first) | (z == second);                                             \
    }

// Whether every lane of the four accumulators matched.
#define TAVRIX_ALL_MATCHED(result)                                                       \
    {                                                                                    \
        const MaskVector all = a & b & c & d;                                            \
        std::uint64_t words[4];                                                          \
        std::memcpy(words, &all, sizeof words);                                          \
        result = (words[0] & words[1] & words[2] & words[3]) == ~std::uint64_t{0};       \
    }

#define TAVRIX_KERNELS(suffix, attributes)                                                              \
    /* Whether a whole stretch (a multiple of 128 bytes) is padding. */                                \
    attributes bool all_pad_##suffix(const unsigned char* bytes, std::int64_t count, PadBytes pad) {    \
        const ByteVector first = ByteVector{} + pad.first, second = ByteVector{} + pad.second;         \
        MaskVector a = MaskVector{} - 1, b = a, c = a, d = a;                                          \
        for (std::int64_t i = 0; i < count; i += 128) TAVRIX_ACCUMULATE_GROUP(bytes + i)               \
        bool matched;                                                                                  \
        TAVRIX_ALL_MATCHED(matched)                                                                    \
        return matched;                                                                                \
    }                                                                                                  \
    /* Length of the run of whole pad blocks that ends at `end`. */                                    \
    attributes std::int64_t pad_blocks_##suffix(const unsigned char* bytes, std::int64_t end, PadBytes pad) { \
        const ByteVector first = ByteVector{} + pad.first, second = ByteVector{} + pad.second;         \
        std::int64_t at = end;                                                                         \
        for (; at >= kBlockSize; at -= kBlockSize) {                                                   \
            MaskVector a = MaskVector{} - 1, b = a, c = a, d = a;                                      \
            for (std::int64_t i = at - kBlockSize; i < at; i += 128) TAVRIX_ACCUMULATE_GROUP(bytes + i) \
            bool matched;                                                                              \
            TAVRIX_ALL_MATCHED(matched)                                                                \
            if (!matched) break;                                                                       \
        }                                                                                              \
        return end - at;                                                                               \
    }

TAVRIX_KERNELS(baseline, )
#if defined(__x86_64__)
TAVRIX_KERNELS(avx2, __attribute__((target("avx2"))))

// A long stretch with streaming loads (VMOVNTDQA), which on some processors
// pull it out of memory a good third faster than plain loads do. They need
// aligned addresses: the bytes before the first aligned vector and after
// the last whole group are tested with plain loads, overlapping.
__attribute__((target("avx2"))) bool all_pad_streaming_avx2(const unsigned char* bytes, std::int64_t count,
                                                            PadBytes pad) {
    constexpr std::int64_t kGroup = 128;
    const auto misalignment = static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(bytes) & 31);
    const std::int64_t head = misalignment == 0 ? 0 : 32 - misalignment;
    const std::int64_t body = (count - head) / kGroup * kGroup;
    if (body < kGroup) return all_pad_avx2(bytes, count, pad);
    if (head > 0 && !all_pad_avx2(bytes, kGroup, pad)) return false;
    if (head + body < count && !all_pad_avx2(bytes + count - kGroup, kGroup, pad)) return false;
    const __m256i first = _mm256_set1_epi8(static_cast<char>(pad.first));
    const __m256i second = _mm256_set1_epi8(static_cast<char>(pad.second));
    // The intrinsic takes a pointer to non-const; it only reads.
#define TAVRIX_MATCHES(at)                                                                                     \
    _mm256_or_si256(                                                                                           \
        _mm256_cmpeq_epi8(_mm256_stream_load_si256(reinterpret_cast<__m256i*>(const_cast<unsigned char*>(at))), \
                          first),                                                                              \
        _mm256_cmpeq_epi8(_mm256_stream_load_si256(reinterpret_cast<__m256i*>(const_cast<unsigned char*>(at))), \
                          second))
    __m256i a = _mm256_set1_epi8(-1), b = a, c = a, d = a;
    for (const unsigned char *at = bytes + head, *end = at + body; at < end; at += kGroup) {
        a = _mm256_and_si256(a, TAVRIX_MATCHES(at));
        b = _mm256_and_si256(b, TAVRIX_MATCHES(at + 32));
        c = _mm256_and_si256(c, TAVRIX_MATCHES(at + 64));
        d = _mm256_and_si256(d, TAVRIX_MATCHES(at + 96));
    }
#undef TAVRIX_MATCHES
    a = _mm256_and_si256(_mm256_and_si256(a, b), _mm256_and_si256(c, d));
    return _mm256_movemask_epi8(a) == -1;
}
#endif

struct Kernel {
    std::int64_t (*blocks)(const unsigned char*, std::int64_t, PadBytes);
    bool (*allPad)(const unsigned char*, std::int64_t, PadBytes);
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
    if (kernel == PadKernel::Avx2 && has_avx2()) return {pad_blocks_avx2, all_pad_streaming_avx2};
#endif
    (void)kernel;
    return {pad_blocks_baseline, all_pad_baseline};
}

// Chosen once, when the program loads.
const Kernel best_kernel = kernel_for(PadKernel::Avx2);

// Mostly all of it is padding: one pass front to back, the way memory
// streams fastest. Otherwise whole stretches of padding are skipped from
// the end, the stretch that holds the last other byte is searched block by
// block from its end, and only the rest a byte at a time.
std::int64_t last_non_pad_using(const Kernel& kernel, const unsigned char* bytes, std::int64_t count,
                                PadBytes pad) {
    std::int64_t end = count;
    const std::int64_t whole = count / 128 * 128;
    if (whole >= kStretchSize && kernel.allPad(bytes + count - whole, whole, pad)) {
        end = count - whole;
    } else {
        while (end >= kStretchSize && kernel.allPad(bytes + end - kStretchSize, kStretchSize, pad))
            end -= kStretchSize;
    }
    end -= kernel.blocks(bytes, end, pad);
    while (end > 0 && pad.includes(bytes[end - 1])) --end;
    return end - 1;
}

}  // namespace

std::int64_t last_non_pad(const unsigned char* bytes, std::int64_t count, PadBytes pad) {
    return last_non_pad_using(best_kernel, bytes, count, pad);
}

std::int64_t last_non_pad_with(PadKernel kernel, const unsigned char* bytes, std::int64_t count, PadBytes pad) {
    return last_non_pad_using(kernel_for(kernel), bytes, count, pad);
}

bool pad_kernel_available(PadKernel kernel) { return kernel == PadKernel::Baseline || has_avx2(); }
