// MD5, SHA-1 and SHA-256 from Windows' own CNG (bcrypt.dll), present on
// every Windows since Vista: nothing to ship, and the system's code uses the
// processor's SHA instructions where it has them.
#include <windows.h>
// bcrypt.h needs windows.h's types first.
#include <bcrypt.h>

#include <algorithm>
#include <cstdio>

#include "digest/system_digest.h"

namespace {

std::string cng_cause(const char* step, NTSTATUS status) {
    char text[64];
    std::snprintf(text, sizeof text, "%s: NTSTATUS 0x%08lx", step, static_cast<unsigned long>(status));
    return text;
}

const wchar_t* cng_name(DigestAlgorithm algorithm) {
    switch (algorithm) {
        case DigestAlgorithm::Md5: return BCRYPT_MD5_ALGORITHM;
        case DigestAlgorithm::Sha1: return BCRYPT_SHA1_ALGORITHM;
        default: return BCRYPT_SHA256_ALGORITHM;
    }
}

ULONG digest_length(DigestAlgorithm algorithm) {
    switch (algorithm) {
        case DigestAlgorithm::Md5: return 16;
        case DigestAlgorithm::Sha1: return 20;
        default: return 32;
    }
}

class CngDigest final : public Digest {
public:
    CngDigest(DigestAlgorithm algorithm, BCRYPT_ALG_HANDLE provider)
        : length_(digest_length(algorithm)), provider_(provider) {}
    ~CngDigest() override {
        if (hash_ != nullptr) BCryptDestroyHash(hash_);
        BCryptCloseAlgorithmProvider(provider_, 0);
    }
    CngDigest(const CngDigest&) = delete;
    CngDigest& operator=(const CngDigest&) = delete;

    // Null object buffer: the system allocates the hash object (Windows 7 on).
    NTSTATUS create() { return BCryptCreateHash(provider_, &hash_, nullptr, 0, nullptr, 0, 0); }

    void add(const unsigned char* bytes, std::size_t count) override {
        // BCryptHashData counts in a ULONG: 32 bits on Windows.
        constexpr std::size_t kPiece = ULONG{0x80000000};
        for (std::size_t done = 0; done < count && failure_.empty();) {
            const std::size_t piece = std::min(count - done, kPiece);
            const NTSTATUS status =
                BCryptHashData(hash_, const_cast<PUCHAR>(bytes + done), static_cast<ULONG>(piece), 0);
            if (!BCRYPT_SUCCESS(status)) failure_ = cng_cause("BCryptHashData", status);
            done += piece;
        }
    }
    DigestValue finish() override {
        if (!failure_.empty()) return {{}, failure_};
        unsigned char value[32];
        const NTSTATUS status = BCryptFinishHash(hash_, value, length_, 0);
        if (!BCRYPT_SUCCESS(status)) return {{}, cng_cause("BCryptFinishHash", status)};
        return {hex_text(value, length_), {}};
    }

private:
    ULONG length_;
    BCRYPT_ALG_HANDLE provider_;
    BCRYPT_HASH_HANDLE hash_ = nullptr;
    std::string failure_;
};

}  // namespace

StartedDigest start_system_digest(DigestAlgorithm algorithm) {
    BCRYPT_ALG_HANDLE provider = nullptr;
    NTSTATUS status = BCryptOpenAlgorithmProvider(&provider, cng_name(algorithm), nullptr, 0);
    if (!BCRYPT_SUCCESS(status)) return {nullptr, cng_cause("BCryptOpenAlgorithmProvider", status)};
    auto digest = std::make_unique<CngDigest>(algorithm, provider);
    status = digest->create();
    if (!BCRYPT_SUCCESS(status)) return {nullptr, cng_cause("BCryptCreateHash", status)};
    return {std::move(digest), {}};
}
