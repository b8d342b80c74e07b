// Checksums and message digests of a byte stream, by vetted implementations
// only: zlib's crc32 everywhere; MD5, SHA-1 and SHA-256 from OpenSSL's
// libcrypto on Linux and from the system's CNG (bcrypt) on Windows, both of
// which use the processor's hash instructions where it has them.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class DigestAlgorithm { Crc32, Md5, Sha1, Sha256 };

// "crc32", "md5", "sha1", "sha256": the names --algo takes and JSON keys.
std::string_view digest_name(DigestAlgorithm algorithm);

struct DigestList {
    std::vector<DigestAlgorithm> algorithms;  // in the order named, each once
    std::optional<std::string> unknown;       // the first name that is none
};

// A comma-separated list of names, as "sha1,sha256".
DigestList parse_digest_list(std::string_view text);

struct DigestValue {
    std::string hex;      // lower case; a CRC32 as 8 digits
    std::string failure;  // the library's cause, when it failed

    bool ok() const { return failure.empty(); }
};

// One digest being computed. An object is fed by one thread at a time;
// different objects may be fed on different threads at once.
class Digest {
public:
    virtual ~Digest() = default;
    virtual void add(const unsigned char* bytes, std::size_t count) = 0;
    // The digest of every byte added. Called once, last.
    virtual DigestValue finish() = 0;
};

struct StartedDigest {
    std::unique_ptr<Digest> digest;  // null when it could not be started
    std::string failure;
};

StartedDigest start_digest(DigestAlgorithm algorithm);

// Lower-case hexadecimal of `count` bytes.
std::string hex_text(const unsigned char* bytes, std::size_t count);
