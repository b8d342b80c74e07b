// The digests of a file, or of the file as it was before its padding was
// cut: the file followed by a byte repeated up to a length. The file is read
// once, whatever the number of digests; the padding is made in memory, a
// chunk at a time, and never written.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "digest/digest.h"
#include "osd/osd.h"
#include "size/scan.h"

struct DigestPadding {
    std::int64_t length = 0;  // of the file and its padding together
    std::uint8_t byte = 0;
};

struct FileDigests {
    enum class Status {
        Ok,
        LongerThanPadding,  // the file is longer than DigestPadding::length
        ReadError,          // `error` says why
        Changed,            // the file changed while it was read
        NoBuffer,
        DigestFailed,       // `failure` is the library's cause
        Stopped,
    };
    Status status = Status::Ok;
    std::int64_t size = 0;         // the file's length
    std::vector<std::string> hex;  // one per algorithm, in the order asked
    OsdError error = OsdError::None;
    std::string failure;

    bool ok() const { return status == Status::Ok; }
};

// The bytes read, and the padding fed, at a time.
inline constexpr std::int64_t kDigestChunkSize = std::int64_t{1} << 20;

// Computes `algorithms` over the file open in `file`, then over the padding
// when there is one. The observer is told the bytes done before each chunk
// and may stop the work. The algorithms are shared between this thread and
// a helper thread, so that two cores hash while this one also reads. A file
// whose length or time stamps change while it is read fails (Changed):
// its digest would belong to no state the file was ever in.
FileDigests digest_file(OsdFile& file, const std::vector<DigestAlgorithm>& algorithms,
                        const std::optional<DigestPadding>& padding, ScanObserver& observer);
