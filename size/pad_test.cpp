#include "size/pad_test.h"

#include <cstring>

namespace {

constexpr std::int64_t kBlockSize = 1024;

std::uint64_t load_word(const unsigned char* p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// The test is bound by how fast it can load: AVX2 where the processor has it
// (chosen when the program loads), plain 16-byte vectors elsewhere.
#if defined(__x86_64__) && defined(__linux__)
#define TAVRIX_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define TAVRIX_VECTOR_CLONES
#endif

// Length of the run of whole pad blocks that ends at `end`. Four
// accumulators keep the loads independent of each other.
TAVRIX_VECTOR_CLONES std::int64_t pad_blocks_before(const unsigned char* bytes, std::int64_t end,
                                                     std::uint64_t padWord) {
    typedef std::uint64_t Vector __attribute__((vector_size(32)));
    const Vector padVector{padWord, padWord, padWord, padWord};
    std::int64_t at = end;
    while (at >= kBlockSize) {
        const unsigned char* block = bytes + at - kBlockSize;
        Vector a{}, b{}, c{}, d{};
        for (std::int64_t i = 0; i < kBlockSize; i += 4 * sizeof(Vector)) {
            Vector w, x, y, z;
            std::memcpy(&w, block + i, sizeof w);
            std::memcpy(&x, block + i + 32, sizeof x);
            std::memcpy(&y, block + i + 64, sizeof y);
            std::memcpy(&z, block + i + 96, sizeof z);
            a |= w ^ padVector;
            b |= x ^ padVector;
            c |= y ^ padVector;
            d |= z ^ padVector;
        }
        a |= b | c | d;
        if ((a[0] | a[1] | a[2] | a[3]) != 0) break;
        at -= kBlockSize;
    }
    return end - at;
}

}  // namespace

// Only the block that ends the run of padding (or a part shorter than a
// block) is searched a word, then a byte, at a time.
std::int64_t last_non_pad(const unsigned char* bytes, std::int64_t count, std::uint8_t pad) {
    const std::uint64_t padWord = 0x0101010101010101ULL * pad;
    std::int64_t end = count - pad_blocks_before(bytes, count, padWord);
    while (end >= 8 && load_word(bytes + end - 8) == padWord) end -= 8;
    while (end > 0 && bytes[end - 1] == pad) --end;
    return end - 1;
}
