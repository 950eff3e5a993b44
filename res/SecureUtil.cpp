// Start-up of libcrypto, the lines written to standard output and the password digest.

#include "SecureUtil.h"

#include "OpenSslPtr.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace SecureUtil {

void writeLine(const std::string& line)
{
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
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
