#pragma once

// The P-256 pieces that both agreements use: the one that keys a LinkCipher and the silent one
// for a peer that holds its own key object. Inside tavo_secure only.

#include "OpenSslPtr.h"

#include <openssl/evp.h>
#include <openssl/obj_mac.h>

#include <cstddef>
#include <string>

namespace SecureUtil {

// Curve 415 of libcrypto, NIST P-256.
constexpr const char* kCurve = SN_X9_62_prime256v1;
constexpr int kSecretSize = 32;

using PkeyPtr = OpenSslPtr<EVP_PKEY, EVP_PKEY_free>;
using PkeyCtxPtr = OpenSslPtr<EVP_PKEY_CTX, EVP_PKEY_CTX_free>;

// The peer's point from its base64 text, checked to be a point of the curve other than infinity;
// null otherwise.
PkeyPtr loadPeerKey(const std::string& text);

// Raw ECDH (the X coordinate, no KDF) into `out`; the length written, or -1.
int derive(EVP_PKEY* own, EVP_PKEY* peer, unsigned char* out, size_t size);

} // namespace SecureUtil
