// Giving a file a length with the added bytes written: a byte repeated or a
// repeatable pseudo-random stream. A fill that is stopped or fails is
// undone, so the file is left as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "osd/osd.h"
#include "size/scan.h"
#include "size/set_length.h"

struct FillSpec {
    enum class Kind {
        Zero,    // zero bytes, sparse where the file system allows
        Byte,    // `byte` repeated, written
        Random,  // pseudo-random bytes from `seed`, written
    };
    Kind kind = Kind::Zero;
    std::uint8_t byte = 0;
    std::uint64_t seed = 0;
};

// The bytes a fill writes, as one stream: the same FillSpec always gives the
// same bytes, however the stream is cut into pieces of whole 8-byte words.
// Random bytes come from xoshiro256**, seeded through splitmix64, each word
// stored little-endian, so a seed gives the same file on every platform.
class FillStream {
public:
    explicit FillStream(const FillSpec& fillRule);
    // Writes the next `count` bytes of the stream to `out`. Every call but
    // the last must ask for a multiple of 8.
    void next(unsigned char* out, std::size_t count);

private:
    FillSpec spec_;
    std::uint64_t state_[4] = {};
};

struct FillResult {
    enum class Status {
        Ok,
        InvalidSize,
        TooLarge,
        CannotOpen,
        CannotCreate,
        CannotSetEnd,
        LengthNotKept,
        CannotWrite,
        NoBuffer,
        NotEnoughSpace,  // refused before a byte was written: `needed`, `available`
        Stopped,
    };
    Status status = Status::Ok;
    bool created = false;
    std::int64_t oldSize = -1;  // -1 when the file was created
    std::int64_t newSize = -1;
    std::int64_t needed = 0;
    std::int64_t available = -1;
    OsdError error = OsdError::None;
    // A failed or stopped fill whose file could not be put back.
    bool undoFailed = false;

    bool ok() const { return status == Status::Ok; }
};

// The bytes written per chunk; the observer is asked before each one.
inline constexpr std::int64_t kFillChunkSize = std::int64_t{1} << 20;

// Gives the file at `path` the length `rule` gives its present one, as
// set_file_length does (options.confirmCut aside): the bytes below the old
// end never change, and a file this call created is removed again when it
// cannot get its length. The bytes added above the old end come from
// `fill`; for a written fill, `observer` is told the share done (0..100)
// before each chunk and may stop it. A stopped or failed written fill is
// undone: a created file is removed, an extended one cut back to its old
// length. A written fill the file system has no room for is refused before
// a byte is written.
FillResult fill_to_length(const std::string& path, const LengthRule& rule, const SetLengthOptions& options,
                          const FillSpec& fill, ScanObserver& observer);
