#pragma once

// The stateless pieces of the local link's secure channel: SEED-CBC, the base64 text form, the
// SHA-512 digest of passwords and the raw P-256 agreement. The link's key lives in a LinkCipher.

#include <openssl/types.h>

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace SecureUtil {

// Starts libcrypto without reading any configuration file. Call it before any other OpenSSL
// call: a configuration can name a module to load, and the file libcrypto would look for may lie
// in a folder another user can write. False (with a line on stdout) when libcrypto cannot start.
bool initCrypto();

// Longest plain text LinkCipher::encryptMessage takes: its base64 ciphertext is then at most 4096 characters.
constexpr size_t kMaxPlainText = 3071;
// Longest text LinkCipher::decryptMessage gives back.
constexpr size_t kMaxDecryptedText = 4095;

// SEED-CBC with PKCS#7 padding. `out` needs (n / 16) * 16 + 16 bytes. Returns the bytes written;
// 0 when key or iv is null or n < 1 (an empty input gives no padding block either).
// `out` may be `in` itself, but must not overlap it otherwise.
int seedCbcEncrypt(const unsigned char* key, const unsigned char* iv, const unsigned char* in, int n,
                   unsigned char* out);
// `out` needs n bytes. Returns the plain length; 0 when key or iv is null, n is not a positive multiple
// of 16 or the padding is bad, and then `out` is left untouched. Same aliasing rule as encryption.
int seedCbcDecrypt(const unsigned char* key, const unsigned char* iv, const unsigned char* in, int n,
                   unsigned char* out);

// Standard alphabet, "=" padding, no line breaks.
std::string base64Encode(const unsigned char* bytes, size_t n);
// Reads up to the first NUL; a space counts as "+", other characters outside the alphabet are skipped,
// the first "=" ends the text. Fails when it ended at "=" after 4k or 4k + 1 characters; otherwise the
// bits that do not complete a byte are dropped.
std::optional<std::vector<unsigned char>> base64Decode(const std::string& text);

// 128 lower-case hex digits of SHA-512 over the bytes before the first NUL; empty if libcrypto fails.
std::string sha512Hex(const std::string& text);

// For a peer that holds its own key object (the stand-in main program, tests): the raw 32-byte ECDH
// secret with `peerKeyText`, silently. The caller wipes the result (OPENSSL_cleanse) after use.
std::optional<std::array<unsigned char, 32>> deriveSharedSecret(EVP_PKEY* own, const std::string& peerKeyText);

// Writes one line to standard output and flushes it.
void writeLine(const std::string& line);

} // namespace SecureUtil
