#pragma once

#include <openssl/types.h>

#include <memory>
#include <string>

// The main program's half of the key agreement: a fresh P-256 key pair per exchange, held
// here rather than in the client's module state, so tavo_peer prints nothing of its own
// between the lines of its transcript.
class PeerKey
{
public:
    PeerKey();
    ~PeerKey();
    PeerKey(const PeerKey&) = delete;
    PeerKey& operator=(const PeerKey&) = delete;

    bool valid() const { return pair != nullptr; }

    // Base64 of the uncompressed point, 88 characters.
    std::string publicKeyText() const;

    // Agrees with the client's key text and sets the link key and IV from the secret, split
    // the way the client splits it. False when the client's key is no point of the curve.
    bool agreeWith(const std::string& clientKeyText);

private:
    struct Free
    {
        void operator()(EVP_PKEY* key) const;
    };
    std::unique_ptr<EVP_PKEY, Free> pair;
};
