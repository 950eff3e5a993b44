// Any text from the link as a wrapped message: the base64 decoder and decryptMessage must take it
// without a fault, and what they return must keep their promises.

#include "LinkCipher.h"
#include "SecureUtil.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// RFC 4196's first CBC key and IV, so that the committed seeds decipher.
const unsigned char kKey[16] = {0xed, 0x24, 0x01, 0xad, 0x22, 0xfa, 0x25, 0x59,
                                0x91, 0xba, 0xfd, 0xb0, 0x1f, 0xef, 0xd6, 0x97};
const unsigned char kIv[16] = {0x93, 0xeb, 0x14, 0x9f, 0x92, 0xc9, 0x90, 0x5b,
                               0xae, 0x5c, 0xd3, 0x4d, 0xa0, 0x6c, 0x3c, 0x8e};

void check(bool promise)
{
    if (!promise) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    LinkCipher cipher;
    cipher.setLinkKeyMaterial(kKey, kIv);
    const std::string text(reinterpret_cast<const char*>(data), size);

    if (const auto bytes = SecureUtil::base64Decode(text)) {
        // At most three bytes for four characters, and the bytes survive a round trip.
        check(bytes->size() * 4 <= size * 3);
        check(SecureUtil::base64Decode(SecureUtil::base64Encode(bytes->data(), bytes->size())) == bytes);
    }

    const std::string plain = cipher.decryptMessage(text);
    check(plain.size() <= SecureUtil::kMaxDecryptedText && plain.find('\0') == std::string::npos);

    // The same bytes as a plain text: they come back up to their first NUL.
    if (size <= SecureUtil::kMaxPlainText) {
        check(cipher.decryptMessage(cipher.encryptMessage(text)) == text.substr(0, text.find('\0')));
    }
    return 0;
}
