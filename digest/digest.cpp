#include "digest/digest.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <limits>

#include "digest/system_digest.h"

namespace {

constexpr DigestAlgorithm kAlgorithms[] = {DigestAlgorithm::Crc32, DigestAlgorithm::Md5, DigestAlgorithm::Sha1,
                                           DigestAlgorithm::Sha256};

// zlib's CRC-32 (the one of zip, gzip and PNG), printed as a number the way
// checksum lists show it.
class Crc32Digest final : public Digest {
public:
    void add(const unsigned char* bytes, std::size_t count) override {
        // crc32_z takes any size_t, but z_size_t is narrower on some
        // systems: feed in pieces that fit every one of them.
        constexpr std::size_t kPiece = std::numeric_limits<unsigned>::max();
        for (std::size_t done = 0; done < count;) {
            const std::size_t piece = std::min(count - done, kPiece);
            crc_ = crc32_z(crc_, bytes + done, static_cast<z_size_t>(piece));
            done += piece;
        }
    }
    DigestValue finish() override {
        char text[9];
        std::snprintf(text, sizeof text, "%08lx", static_cast<unsigned long>(crc_ & 0xffffffffUL));
        return {text, {}};
    }

private:
    uLong crc_ = crc32_z(0, nullptr, 0);
};

}  // namespace

std::string_view digest_name(DigestAlgorithm algorithm) {
    switch (algorithm) {
        case DigestAlgorithm::Crc32: return "crc32";
        case DigestAlgorithm::Md5: return "md5";
        case DigestAlgorithm::Sha1: return "sha1";
        case DigestAlgorithm::Sha256: return "sha256";
    }
    return "";
}

DigestList parse_digest_list(std::string_view text) {
    DigestList list;
    for (std::size_t from = 0;;) {
        const std::size_t comma = text.find(',', from);
        const std::string_view name = text.substr(from, comma == std::string_view::npos ? comma : comma - from);
        const auto* found = std::find_if(std::begin(kAlgorithms), std::end(kAlgorithms),
                                         [name](DigestAlgorithm a) { return digest_name(a) == name; });
        if (found == std::end(kAlgorithms)) {
            list.unknown = std::string(name);
            return list;
        }
        if (std::find(list.algorithms.begin(), list.algorithms.end(), *found) == list.algorithms.end())
            list.algorithms.push_back(*found);
        if (comma == std::string_view::npos) return list;
        from = comma + 1;
    }
}

StartedDigest start_digest(DigestAlgorithm algorithm) {
    if (algorithm == DigestAlgorithm::Crc32) return {std::make_unique<Crc32Digest>(), {}};
    return start_system_digest(algorithm);
}

std::string hex_text(const unsigned char* bytes, std::size_t count) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        text.push_back(digits[bytes[i] >> 4]);
        text.push_back(digits[bytes[i] & 15]);
    }
    return text;
}
