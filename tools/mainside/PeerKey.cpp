#include "PeerKey.h"

#include "LinkCipher.h"
#include "SecureUtil.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/ec.h>
#include <openssl/evp.h>

#include <array>

void PeerKey::Free::operator()(EVP_PKEY* key) const
{
    EVP_PKEY_free(key);
}

PeerKey::PeerKey() : pair(EVP_EC_gen("P-256")) {}

PeerKey::~PeerKey() = default;

std::string PeerKey::publicKeyText() const
{
    if (!pair) {
        return {};
    }
    std::array<unsigned char, 65> octets{};
    size_t length = 0;
    if (EVP_PKEY_get_octet_string_param(pair.get(), OSSL_PKEY_PARAM_ENCODED_PUBLIC_KEY, octets.data(), octets.size(),
                                        &length) != 1) {
        return {};
    }
    return SecureUtil::base64Encode(octets.data(), length);
}

bool PeerKey::agreeWith(const std::string& clientKeyText, LinkCipher& cipher)
{
    std::optional<std::array<unsigned char, 32>> secret = SecureUtil::deriveSharedSecret(pair.get(), clientKeyText);
    if (!secret) {
        return false;
    }
    cipher.setLinkKeyFromSecret(*secret);
    OPENSSL_cleanse(secret->data(), secret->size());
    // One exchange, one key pair: the private key goes as soon as it has been used.
    pair.reset();
    return true;
}
