// The bytes a fill writes: a byte repeated or a repeatable pseudo-random
// stream, made in chunks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "util/aligned_buffer.h"

struct Fill {
    enum class Kind {
        Zero,    // zero bytes, sparse where the file system allows
        Byte,    // `byte` repeated, written
        Random,  // pseudo-random bytes from `seed`, written
    };
    Kind kind = Kind::Zero;
    std::uint8_t byte = 0;
    std::uint64_t seed = 0;
};

// The bytes a fill writes, as one stream: the same Fill always gives the
// same bytes, however the stream is cut into pieces of whole 8-byte words.
// Random bytes come from eight xoshiro256** generators taken in turn, so that
// a vector unit runs them side by side: the generators are seeded from one
// splitmix64 sequence started at the seed (generator 0 takes its first four
// outputs as s[0..3], generator 1 the next four, and so on), and word 8k + j
// of the stream is generator j's k-th output, stored little-endian. Word 0 is
// the first output of a single xoshiro256** seeded the same way. A seed thus
// gives the same file on every platform.
class FillStream {
public:
    static constexpr int kLanes = 8;

    explicit FillStream(const Fill& fillRule);
    // Writes the next `count` bytes of the stream to `out`. Every call but
    // the last must ask for a multiple of 8.
    void next(unsigned char* out, std::size_t count);

private:
    Fill fill_;
    // state_[i][j]: word i of generator j, as the vector unit loads them.
    alignas(32) std::uint64_t state_[4][kLanes] = {};
    // The words of the last round not handed out yet.
    unsigned char spare_[8 * kLanes] = {};
    std::size_t spareFrom_ = sizeof spare_;
};

// A fill stream cut into chunks, each made when asked for; a repeated byte
// is made once.
class FillChunks {
public:
    // `chunkSize`: a multiple of 8, or all of the fill.
    FillChunks(const Fill& fillRule, std::size_t chunkSize);

    // False when the buffer could not be had.
    bool ok() const { return buffer_ != nullptr; }
    // The next `count` bytes of the stream, `count` at most the chunk size
    // and less only for the last chunk; valid until the next call.
    const unsigned char* next(std::size_t count);

private:
    FillStream stream_;
    AlignedBuffer buffer_;
    bool repeated_;  // a byte repeated: made once
};
