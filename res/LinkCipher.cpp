#include "LinkCipher.h"

#include "KeyAgreement.h"
#include "SecureUtil.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace {

constexpr size_t kBlock = 16;
// Any longer ciphertext holds more than kMaxDecryptedText plain bytes, whatever its padding.
constexpr size_t kMaxCipherBytes = SecureUtil::kMaxDecryptedText + 1;

void freeOctets(unsigned char* p)
{
    OPENSSL_free(p);
}

struct SecretFree
{
    size_t size;
    void operator()(unsigned char* p) const { OPENSSL_clear_free(p, size); }
};

} // namespace

LinkCipher::LinkCipher() = default;

LinkCipher::LinkCipher(LineSink lineSink) : sink(std::move(lineSink)) {}

LinkCipher::~LinkCipher()
{
    OPENSSL_cleanse(key.data(), key.size());
    OPENSSL_cleanse(iv.data(), iv.size());
}

void LinkCipher::writeLine(const std::string& line) const
{
    SecureUtil::writeLine(line);
    if (sink) {
        sink(line);
    }
}

void LinkCipher::setLinkKeyMaterial(const unsigned char newKey[16], const unsigned char newIv[16])
{
    std::memcpy(key.data(), newKey, key.size());
    std::memcpy(iv.data(), newIv, iv.size());
}

void LinkCipher::setLinkKeyFromSecret(const std::array<unsigned char, 32>& secret)
{
    // Key and IV each take alternate quarters of the secret.
    std::memcpy(key.data(), secret.data(), 8);
    std::memcpy(iv.data(), secret.data() + 8, 8);
    std::memcpy(key.data() + 8, secret.data() + 16, 8);
    std::memcpy(iv.data() + 8, secret.data() + 24, 8);
}

std::string LinkCipher::encryptMessage(const std::string& plainText) const
{
    if (plainText.size() > SecureUtil::kMaxPlainText) {
        writeLine("encryptMessage: refused a plain text of " + std::to_string(plainText.size()) +
                  " bytes, the limit is " + std::to_string(SecureUtil::kMaxPlainText) + ".");
        return {};
    }
    std::vector<unsigned char> cipher(plainText.size() / kBlock * kBlock + kBlock);
    const int n =
        SecureUtil::seedCbcEncrypt(key.data(), iv.data(), reinterpret_cast<const unsigned char*>(plainText.data()),
                                   static_cast<int>(plainText.size()), cipher.data());
    return SecureUtil::base64Encode(cipher.data(), static_cast<size_t>(n));
}

std::string LinkCipher::decryptMessage(const std::string& cipherText) const
{
    const std::optional<std::vector<unsigned char>> cipher = SecureUtil::base64Decode(cipherText);
    if (!cipher || cipher->empty()) {
        return {};
    }
    if (cipher->size() > kMaxCipherBytes) {
        writeLine("decryptMessage: refused a ciphertext of " + std::to_string(cipher->size()) +
                  " bytes, the plain text limit is " + std::to_string(SecureUtil::kMaxDecryptedText) + ".");
        return {};
    }
    std::vector<unsigned char> plain(cipher->size());
    const int n = SecureUtil::seedCbcDecrypt(key.data(), iv.data(), cipher->data(), static_cast<int>(cipher->size()),
                                             plain.data());
    const auto end = std::find(plain.begin(), plain.begin() + n, '\0');
    std::string text(plain.begin(), end);
    OPENSSL_cleanse(plain.data(), plain.size());
    return text;
}

bool LinkCipher::generateKeyPair()
{
    // A failed attempt must not leave an older key pair to be used instead.
    ownKeyPair.reset();
    const SecureUtil::PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    if (!ctx || EVP_PKEY_keygen_init(ctx.get()) <= 0 ||
        EVP_PKEY_CTX_set_group_name(ctx.get(), SecureUtil::kCurve) <= 0) {
        writeLine("Failed to create lKey object.");
        return false;
    }
    EVP_PKEY* raw = nullptr;
    if (EVP_PKEY_generate(ctx.get(), &raw) <= 0) {
        writeLine("Failed to generate EC key.");
        return false;
    }
    ownKeyPair.reset(raw);
    return true;
}

std::string LinkCipher::publicKeyText() const
{
    if (!ownKeyPair) {
        return {};
    }
    // Exported in the key's own conversion form, uncompressed unless someone changed it.
    unsigned char* raw = nullptr;
    const size_t length = EVP_PKEY_get1_encoded_public_key(ownKeyPair.get(), &raw);
    const SecureUtil::OpenSslPtr<unsigned char, freeOctets> octets(raw);
    if (length == 0 || !octets) {
        return {};
    }
    return SecureUtil::base64Encode(octets.get(), length);
}

int LinkCipher::deriveLinkKey(const std::string& peerKeyText)
{
    // Freeing the key pair wipes the private key: it must not outlive this agreement, however it ends.
    const SecureUtil::PkeyPtr own = std::move(ownKeyPair);

    const SecureUtil::PkeyPtr peer = SecureUtil::loadPeerKey(peerKeyText);
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
    const int length = SecureUtil::derive(own.get(), peer.get(), secret.get(), size);
    writeLine("secret key len : " + std::to_string(length));
    if (length != SecureUtil::kSecretSize) {
        return -1;
    }
    std::array<unsigned char, SecureUtil::kSecretSize> bytes{};
    std::memcpy(bytes.data(), secret.get(), bytes.size());
    OPENSSL_cleanse(secret.get(), size);
    setLinkKeyFromSecret(bytes);
    OPENSSL_cleanse(bytes.data(), bytes.size());
    return 0;
}
