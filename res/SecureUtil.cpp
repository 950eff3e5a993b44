// The link key material, the message cipher built on SEED-CBC and base64, and the password digest.

#include "SecureUtil.h"

#include "OpenSslPtr.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace SecureUtil {
namespace {

constexpr size_t kBlock = 16;
// Any longer ciphertext holds more than kMaxDecryptedText plain bytes, whatever its padding.
constexpr size_t kMaxCipherBytes = kMaxDecryptedText + 1;

// All zero until the first agreement.
unsigned char gLinkKey[16] = {};
unsigned char gLinkIv[16] = {};
SecureUtil::LineSink gLineSink = nullptr;

} // namespace

std::array<unsigned char, 16> linkKey()
{
    std::array<unsigned char, 16> copy;
    std::memcpy(copy.data(), gLinkKey, copy.size());
    return copy;
}

std::array<unsigned char, 16> linkIv()
{
    std::array<unsigned char, 16> copy;
    std::memcpy(copy.data(), gLinkIv, copy.size());
    return copy;
}

void setLinkKeyMaterial(const unsigned char key[16], const unsigned char iv[16])
{
    std::memcpy(gLinkKey, key, sizeof gLinkKey);
    std::memcpy(gLinkIv, iv, sizeof gLinkIv);
}

void clearLinkKeyMaterial()
{
    OPENSSL_cleanse(gLinkKey, sizeof gLinkKey);
    OPENSSL_cleanse(gLinkIv, sizeof gLinkIv);
}

void setLineSink(LineSink sink)
{
    gLineSink = sink;
}

void writeLine(const std::string& line)
{
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    if (gLineSink) {
        gLineSink(line);
    }
}

bool initCrypto()
{
    // Only the first initialisation decides whether a configuration is loaded; later implicit
    // ones find this one done.
    if (OPENSSL_init_crypto(OPENSSL_INIT_NO_LOAD_CONFIG, nullptr) != 1) {
        writeLine("initCrypto: libcrypto could not be initialised.");
        return false;
    }
    return true;
}

std::string encryptMessage(const std::string& plainText)
{
    if (plainText.size() > kMaxPlainText) {
        writeLine("encryptMessage: refused a plain text of " + std::to_string(plainText.size()) +
                  " bytes, the limit is " + std::to_string(kMaxPlainText) + ".");
        return {};
    }
    std::vector<unsigned char> cipher(plainText.size() / kBlock * kBlock + kBlock);
    const int n = seedCbcEncrypt(gLinkKey, gLinkIv, reinterpret_cast<const unsigned char*>(plainText.data()),
                                 static_cast<int>(plainText.size()), cipher.data());
    return base64Encode(cipher.data(), static_cast<size_t>(n));
}

std::string decryptMessage(const std::string& cipherText)
{
    const std::optional<std::vector<unsigned char>> cipher = base64Decode(cipherText);
    if (!cipher || cipher->empty()) {
        return {};
    }
    if (cipher->size() > kMaxCipherBytes) {
        writeLine("decryptMessage: refused a ciphertext of " + std::to_string(cipher->size()) +
                  " bytes, the plain text limit is " + std::to_string(kMaxDecryptedText) + ".");
        return {};
    }
    std::vector<unsigned char> plain(cipher->size());
    const int n = seedCbcDecrypt(gLinkKey, gLinkIv, cipher->data(), static_cast<int>(cipher->size()), plain.data());
    const auto end = std::find(plain.begin(), plain.begin() + n, '\0');
    std::string text(plain.begin(), end);
    OPENSSL_cleanse(plain.data(), plain.size());
    return text;
}

std::string sha512Hex(const std::string& text)
{
    const size_t length = std::min(text.find('\0'), text.size());
    const OpenSslPtr<EVP_MD, EVP_MD_free> md(EVP_MD_fetch(nullptr, "SHA512", nullptr));
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    if (!md || EVP_Digest(text.data(), length, digest, &digestLength, md.get(), nullptr) != 1 || digestLength != 64) {
        return {};
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * digestLength);
    for (unsigned int i = 0; i < digestLength; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 0x0f];
    }
    return hex;
}

} // namespace SecureUtil
