// The P-256 ECDH pieces: the peer's point, the raw secret, and the silent agreement of a peer.

#include "KeyAgreement.h"

#include "SecureUtil.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/params.h>

namespace SecureUtil {

PkeyPtr loadPeerKey(const std::string& text)
{
    std::optional<std::vector<unsigned char>> octets = base64Decode(text);
    if (!octets || octets->empty()) {
        return {};
    }
    const PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, const_cast<char*>(kCurve), 0),
                           OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, octets->data(), octets->size()),
                           OSSL_PARAM_construct_end()};
    EVP_PKEY* raw = nullptr;
    if (!ctx || EVP_PKEY_fromdata_init(ctx.get()) <= 0 ||
        EVP_PKEY_fromdata(ctx.get(), &raw, EVP_PKEY_PUBLIC_KEY, params) <= 0) {
        ERR_clear_error();
        return {};
    }
    PkeyPtr peer(raw);
    const PkeyCtxPtr check(EVP_PKEY_CTX_new_from_pkey(nullptr, peer.get(), nullptr));
    if (!check || EVP_PKEY_public_check(check.get()) != 1) {
        ERR_clear_error();
        return {};
    }
    return peer;
}

int derive(EVP_PKEY* own, EVP_PKEY* peer, unsigned char* out, size_t size)
{
    const PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, own, nullptr));
    size_t length = size;
    if (!ctx || EVP_PKEY_derive_init(ctx.get()) <= 0 || EVP_PKEY_derive_set_peer(ctx.get(), peer) <= 0 ||
        EVP_PKEY_derive(ctx.get(), out, &length) <= 0) {
        ERR_clear_error();
        return -1;
    }
    return static_cast<int>(length);
}

std::optional<std::array<unsigned char, 32>> deriveSharedSecret(EVP_PKEY* own, const std::string& peerKeyText)
{
    if (!own) {
        return std::nullopt;
    }
    const PkeyPtr peer = loadPeerKey(peerKeyText);
    if (!peer) {
        return std::nullopt;
    }
    std::array<unsigned char, kSecretSize> secret{};
    if (derive(own, peer.get(), secret.data(), secret.size()) != kSecretSize) {
        OPENSSL_cleanse(secret.data(), secret.size());
        return std::nullopt;
    }
    return secret;
}

} // namespace SecureUtil
