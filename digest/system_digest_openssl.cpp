// MD5, SHA-1 and SHA-256 through OpenSSL's EVP interface, which picks the
// processor's SHA or AVX code paths itself.
#include <openssl/err.h>
#include <openssl/evp.h>

#include "digest/system_digest.h"

namespace {

// The library's most recent cause, as it words it.
std::string openssl_cause(const char* step) {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) return step;
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return std::string(step) + ": " + text;
}

const char* openssl_name(DigestAlgorithm algorithm) {
    switch (algorithm) {
        case DigestAlgorithm::Md5: return "MD5";
        case DigestAlgorithm::Sha1: return "SHA1";
        default: return "SHA256";
    }
}

class OpensslDigest final : public Digest {
public:
    OpensslDigest(EVP_MD* md, EVP_MD_CTX* context) : md_(md), context_(context) {}
    ~OpensslDigest() override {
        EVP_MD_CTX_free(context_);
        EVP_MD_free(md_);
    }
    OpensslDigest(const OpensslDigest&) = delete;
    OpensslDigest& operator=(const OpensslDigest&) = delete;

    void add(const unsigned char* bytes, std::size_t count) override {
        if (failure_.empty() && EVP_DigestUpdate(context_, bytes, count) != 1)
            failure_ = openssl_cause("EVP_DigestUpdate");
    }
    DigestValue finish() override {
        if (!failure_.empty()) return {{}, failure_};
        unsigned char value[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (EVP_DigestFinal_ex(context_, value, &length) != 1) return {{}, openssl_cause("EVP_DigestFinal_ex")};
        return {hex_text(value, length), {}};
    }

private:
    EVP_MD* md_;
    EVP_MD_CTX* context_;
    std::string failure_;
};

}  // namespace

StartedDigest start_system_digest(DigestAlgorithm algorithm) {
    // Fetched explicitly, so that a provider that refuses the algorithm (MD5
    // under a FIPS configuration) says so here, with its cause.
    EVP_MD* md = EVP_MD_fetch(nullptr, openssl_name(algorithm), nullptr);
    if (md == nullptr) return {nullptr, openssl_cause("EVP_MD_fetch")};
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    auto digest = std::make_unique<OpensslDigest>(md, context);
    if (context == nullptr) return {nullptr, "out of memory"};
    if (EVP_DigestInit_ex(context, md, nullptr) != 1) return {nullptr, openssl_cause("EVP_DigestInit_ex")};
    return {std::move(digest), {}};
}
