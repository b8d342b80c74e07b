#include "size/fill_stream.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

std::uint64_t splitmix64(std::uint64_t& x) {
    std::uint64_t z = (x += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

void store_le(unsigned char* out, std::uint64_t word, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<unsigned char>(word >> (8 * i));
}

using Lanes = std::uint64_t __attribute__((vector_size(32)));  // four generators side by side

// `rounds` steps of all eight generators, each step's eight words stored in
// turn at `out`. Inlined into each of the builds below.
[[gnu::always_inline]] inline void make_rounds(std::uint64_t (&state)[4][FillStream::kLanes], unsigned char* out,
                                               std::size_t rounds) {
    Lanes s[4][2];
    for (int word = 0; word < 4; ++word)
        for (int half = 0; half < 2; ++half) std::memcpy(&s[word][half], &state[word][4 * half], sizeof(Lanes));
    for (std::size_t round = 0; round < rounds; ++round, out += 8 * FillStream::kLanes) {
        for (int half = 0; half < 2; ++half) {
            Lanes& s0 = s[0][half];
            Lanes& s1 = s[1][half];
            Lanes& s2 = s[2][half];
            Lanes& s3 = s[3][half];
            // rotl(s1 * 5, 7) * 9, the products as shifts and adds: vector
            // units lack a 64-bit multiply.
            Lanes word = (s1 << 2) + s1;
            word = (word << 7) | (word >> 57);
            word = (word << 3) + word;
            const Lanes t = s1 << 17;
            s2 ^= s0;
            s3 ^= s1;
            s1 ^= s2;
            s0 ^= s3;
            s2 ^= t;
            s3 = (s3 << 45) | (s3 >> 19);
            std::memcpy(out + sizeof(Lanes) * half, &word, sizeof(Lanes));
        }
        if constexpr (std::endian::native == std::endian::big) {
            for (int lane = 0; lane < FillStream::kLanes; ++lane) {
                std::uint64_t word = 0;
                std::memcpy(&word, out + 8 * lane, 8);
                store_le(out + 8 * lane, word, 8);
            }
        }
    }
    for (int word = 0; word < 4; ++word)
        for (int half = 0; half < 2; ++half) std::memcpy(&state[word][4 * half], &s[word][half], sizeof(Lanes));
}

void make_rounds_baseline(std::uint64_t (&state)[4][FillStream::kLanes], unsigned char* out, std::size_t rounds) {
    make_rounds(state, out, rounds);
}

// The same bytes twice as fast where the processor has AVX2. Not on
// Windows, where the compiler cannot align 32-byte values on the stack.
#if defined(__x86_64__) && !defined(_WIN32)
[[gnu::target("avx2")]] void make_rounds_avx2(std::uint64_t (&state)[4][FillStream::kLanes], unsigned char* out,
                                              std::size_t rounds) {
    make_rounds(state, out, rounds);
}

void make_rounds_here(std::uint64_t (&state)[4][FillStream::kLanes], unsigned char* out, std::size_t rounds) {
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) {
        make_rounds_avx2(state, out, rounds);
    } else {
        make_rounds_baseline(state, out, rounds);
    }
}
#else
void make_rounds_here(std::uint64_t (&state)[4][FillStream::kLanes], unsigned char* out, std::size_t rounds) {
    make_rounds_baseline(state, out, rounds);
}
#endif

}  // namespace

FillStream::FillStream(const Fill& fillRule) : fill_(fillRule) {
    std::uint64_t seed = fillRule.seed;
    for (int lane = 0; lane < kLanes; ++lane)
        for (auto& word : state_) word[lane] = splitmix64(seed);
}

void FillStream::next(unsigned char* out, std::size_t count) {
    if (fill_.kind != Fill::Kind::Random) {
        std::memset(out, fill_.kind == Fill::Kind::Byte ? fill_.byte : 0, count);
        return;
    }
    const std::size_t fromSpare = std::min(count, sizeof spare_ - spareFrom_);
    std::memcpy(out, spare_ + spareFrom_, fromSpare);
    spareFrom_ += fromSpare;
    out += fromSpare;
    count -= fromSpare;

    const std::size_t rounds = count / sizeof spare_;
    make_rounds_here(state_, out, rounds);
    out += rounds * sizeof spare_;
    count -= rounds * sizeof spare_;
    if (count > 0) {
        make_rounds_here(state_, spare_, 1);
        std::memcpy(out, spare_, count);
        spareFrom_ = count;
    }
}

FillChunks::FillChunks(const Fill& fillRule, std::size_t chunkSize)
    : stream_(fillRule), buffer_(make_aligned_buffer(chunkSize)), repeated_(fillRule.kind != Fill::Kind::Random) {
    if (buffer_ && repeated_) stream_.next(buffer_.get(), chunkSize);
}

const unsigned char* FillChunks::next(std::size_t count) {
    if (!repeated_) stream_.next(buffer_.get(), count);
    return buffer_.get();
}

