// P-256 ECDH agreement that sets the link key and IV.

#include "SecureUtil.h"

#include "OpenSslPtr.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/obj_mac.h>
#include <openssl/params.h>

#include <cstdio>
#include <cstring>
#include <memory>

namespace SecureUtil {
namespace {

// Curve 415 of libcrypto, NIST P-256.
constexpr const char* kCurve = SN_X9_62_prime256v1;
constexpr int kSecretSize = 32;

void freeOctets(unsigned char* p)
{
    OPENSSL_free(p);
}
struct SecretFree
{
    size_t size;
    void operator()(unsigned char* p) const { OPENSSL_clear_free(p, size); }
};
using PkeyPtr = OpenSslPtr<EVP_PKEY, EVP_PKEY_free>;
using PkeyCtxPtr = OpenSslPtr<EVP_PKEY_CTX, EVP_PKEY_CTX_free>;

// Held from generateKeyPair to the end of deriveLinkKey.
PkeyPtr& ownKeyPair()
{
    // libcrypto is set up first, so this key is freed before libcrypto's own clean-up at exit.
    [[maybe_unused]] static const int cryptoReady = OPENSSL_init_crypto(0, nullptr);
    static PkeyPtr pair;
    return pair;
}

// The peer's point from its base64 text, checked to be a point of the curve other than infinity.
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

// Raw ECDH (the X coordinate, no KDF) into `out`; the length written, or -1.
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

} // namespace

bool generateKeyPair()
{
    // A failed attempt must not leave an older key pair to be used instead.
    ownKeyPair().reset();
    const PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    if (!ctx || EVP_PKEY_keygen_init(ctx.get()) <= 0 || EVP_PKEY_CTX_set_group_name(ctx.get(), kCurve) <= 0) {
        writeLine("Failed to create lKey object.");
        return false;
    }
    EVP_PKEY* raw = nullptr;
    if (EVP_PKEY_generate(ctx.get(), &raw) <= 0) {
        writeLine("Failed to generate EC key.");
        return false;
    }
    ownKeyPair().reset(raw);
    return true;
}

std::string publicKeyText()
{
    if (!ownKeyPair()) {
        return {};
    }
    // Exported in the key's own conversion form, uncompressed unless someone changed it.
    unsigned char* raw = nullptr;
    const size_t length = EVP_PKEY_get1_encoded_public_key(ownKeyPair().get(), &raw);
    const OpenSslPtr<unsigned char, freeOctets> octets(raw);
    if (length == 0 || !octets) {
        return {};
    }
    return base64Encode(octets.get(), length);
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

int deriveLinkKey(const std::string& peerKeyText)
{
    // Freeing the key pair wipes the private key: it must not outlive this agreement, however it ends.
    const PkeyPtr own = std::move(ownKeyPair());

    const PkeyPtr peer = loadPeerKey(peerKeyText);
    if (!peer) {
        writeLine("Failed EC_KEY_oct2key.");
        return -1;
    }
    const int bits = own ? EVP_PKEY_get_bits(own.get()) : 0;
    if (bits <= 0) {
        writeLine("No key pair to agree with.");
        return -1;
    }
    const size_t size = (static_cast<size_t>(bits) + 7) / 8;
    const std::unique_ptr<unsigned char, SecretFree> secret(static_cast<unsigned char*>(OPENSSL_zalloc(size)),
                                                            SecretFree{size});
    if (!secret) {
        writeLine("Failed to allocate memory for secret.");
        return -1;
    }
    const int length = derive(own.get(), peer.get(), secret.get(), size);
    writeLine("secret key len : " + std::to_string(length));
    if (length != kSecretSize) {
        return -1;
    }
    // Key and IV each take alternate quarters of the secret.
    const unsigned char* s = secret.get();
    unsigned char key[16];
    unsigned char iv[16];
    std::memcpy(key, s, 8);
    std::memcpy(iv, s + 8, 8);
    std::memcpy(key + 8, s + 16, 8);
    std::memcpy(iv + 8, s + 24, 8);
    OPENSSL_cleanse(secret.get(), size);
    setLinkKeyMaterial(key, iv);
    OPENSSL_cleanse(key, sizeof key);
    OPENSSL_cleanse(iv, sizeof iv);
    return 0;
}

} // namespace SecureUtil
