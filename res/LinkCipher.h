#pragma once

// The secret state of one link: its key, its IV and the own key pair of an agreement under way.
// Each session makes its own, all zero and without a key pair, as a fresh process starts; the
// key and IV are wiped when it goes. GUI thread only.

#include "OpenSslPtr.h"

#include <openssl/evp.h>

#include <array>
#include <functional>
#include <string>

class LinkCipher
{
public:
    // Each line the cipher writes goes to standard output and then to the sink, without its line
    // end: a program that keeps a log (a GUI program on Windows has no console) passes one.
    using LineSink = std::function<void(const std::string& line)>;

    LinkCipher();
    explicit LinkCipher(LineSink sink);
    ~LinkCipher();
    LinkCipher(const LinkCipher&) = delete;
    LinkCipher& operator=(const LinkCipher&) = delete;

    // SEED-CBC under the link key and IV, as base64 text. Empty for an empty text, and (with a line)
    // for a text longer than SecureUtil::kMaxPlainText.
    std::string encryptMessage(const std::string& plainText) const;
    // The plain text up to its first NUL; empty when the text does not decode or decrypt, and (with a
    // line) when the plain text would be longer than SecureUtil::kMaxDecryptedText.
    std::string decryptMessage(const std::string& cipherText) const;

    // Makes a fresh P-256 key pair for the next agreement, replacing any earlier one.
    bool generateKeyPair();
    // Base64 of the own public point, uncompressed (65 bytes, 88 characters); empty without a key pair.
    std::string publicKeyText() const;
    // Agrees with the peer's public key (base64 of an uncompressed or compressed P-256 point) and sets
    // the link key and IV from the 32-byte shared secret. 0 on success; -1 when the peer key is
    // unusable, there is no own key pair or the agreement fails, and then the key material stays as
    // it was. The own key pair is released either way.
    int deriveLinkKey(const std::string& peerKeyText);

    std::array<unsigned char, 16> linkKey() const { return key; }
    std::array<unsigned char, 16> linkIv() const { return iv; }
    // Known material, for a peer that agreed on its own and for known-answer tests.
    void setLinkKeyMaterial(const unsigned char newKey[16], const unsigned char newIv[16]);
    // Key and IV from an ECDH secret, split as the link splits it.
    void setLinkKeyFromSecret(const std::array<unsigned char, 32>& secret);

private:
    void writeLine(const std::string& line) const;

    LineSink sink;
    std::array<unsigned char, 16> key{};
    std::array<unsigned char, 16> iv{};
    // Held from generateKeyPair to the end of deriveLinkKey.
    SecureUtil::OpenSslPtr<EVP_PKEY, EVP_PKEY_free> ownKeyPair;
};
