#pragma once

#include <openssl/types.h>

#include <memory>
#include <string>

class LinkCipher;

// The main program's half of the key agreement: a fresh P-256 key pair per exchange, agreed
// silently rather than through a LinkCipher's own agreement, so tavo_peer prints nothing of
// its own between the lines of its transcript.
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

    // Agrees with the client's key text and sets the peer's own key and IV in `cipher` from the
    // secret, split the way the client splits it. False, with `cipher` unchanged, when the
    // client's key is no point of the curve.
    bool agreeWith(const std::string& clientKeyText, LinkCipher& cipher);

private:
    struct Free
    {
        void operator()(EVP_PKEY* key) const;
    };
    std::unique_ptr<EVP_PKEY, Free> pair;
};
