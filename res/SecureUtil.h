#pragma once

// The secure channel of the local link: SEED-CBC, the base64 text form, the SHA-512 digest of
// passwords and the P-256 key agreement that sets the link key. Module-level state, GUI thread only.

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

// Longest plain text encryptMessage takes: its base64 ciphertext is then at most 4096 characters.
constexpr size_t kMaxPlainText = 3071;
// Longest text decryptMessage gives back.
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

// SEED-CBC under the link key and IV, as base64 text. Empty for an empty text, and (with a line on
// stdout) for a text longer than kMaxPlainText.
std::string encryptMessage(const std::string& plainText);
// The plain text up to its first NUL; empty when the text does not decode or decrypt, and (with a line
// on stdout) when the plain text would be longer than kMaxDecryptedText.
std::string decryptMessage(const std::string& cipherText);

// Makes a fresh P-256 key pair for the next agreement, replacing any earlier one.
bool generateKeyPair();
// Base64 of the own public point, uncompressed (65 bytes, 88 characters); empty without a key pair.
std::string publicKeyText();
// Agrees with the peer's public key (base64 of an uncompressed or compressed P-256 point) and sets the
// link key and IV from the 32-byte shared secret. 0 on success; -1 when the peer key is unusable, there
// is no own key pair or the agreement fails, and then the key material stays as it was. The own key
// pair is released either way.
int deriveLinkKey(const std::string& peerKeyText);

// For a peer that holds its own key object (the stand-in main program, tests): the raw 32-byte ECDH
// secret with `peerKeyText`, silently. The caller wipes the result (OPENSSL_cleanse) after use.
std::optional<std::array<unsigned char, 32>> deriveSharedSecret(EVP_PKEY* own, const std::string& peerKeyText);

// The module writes its few lines to standard output. A program that keeps a log (a GUI program
// on Windows has no console to show standard output) passes a sink that also gets each line,
// without its line end. Null for none.
using LineSink = void (*)(const std::string& line);
void setLineSink(LineSink sink);
// Writes one line to standard output and hands it to the sink.
void writeLine(const std::string& line);

std::array<unsigned char, 16> linkKey();
std::array<unsigned char, 16> linkIv();
void setLinkKeyMaterial(const unsigned char key[16], const unsigned char iv[16]);
// Back to the all-zero state of a fresh process.
void clearLinkKeyMaterial();

} // namespace SecureUtil
