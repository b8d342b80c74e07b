// The cryptographic digests, from the platform's library: OpenSSL's
// libcrypto (system_digest_openssl.cpp) or Windows CNG
// (system_digest_cng.cpp).
#pragma once

#include "digest/digest.h"

// MD5, SHA-1 or SHA-256; never Crc32.
StartedDigest start_system_digest(DigestAlgorithm algorithm);
