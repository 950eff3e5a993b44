#pragma once

// The main program's half of the key agreement, written straight against OpenSSL so the
// client's derivation is checked against one it did not make.
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>

#include <QByteArray>

#include <array>
#include <memory>
#include <optional>
#include <string>

class IndependentEcdh
{
public:
    IndependentEcdh() : key(EVP_EC_gen("P-256"), EVP_PKEY_free) {}

    bool valid() const { return key != nullptr; }

    std::string publicKeyText(bool compressed = false) const
    {
        EVP_PKEY_set_utf8_string_param(key.get(), OSSL_PKEY_PARAM_EC_POINT_CONVERSION_FORMAT,
                                       compressed ? "compressed" : "uncompressed");
        unsigned char octets[65];
        size_t length = 0;
        if (EVP_PKEY_get_octet_string_param(key.get(), OSSL_PKEY_PARAM_ENCODED_PUBLIC_KEY, octets, sizeof octets,
                                            &length) != 1) {
            return {};
        }
        return QByteArray(reinterpret_cast<const char*>(octets), static_cast<int>(length)).toBase64().toStdString();
    }

    std::optional<std::array<unsigned char, 32>> secretWith(const std::string& peerText) const
    {
        const QByteArray octets = QByteArray::fromBase64(QByteArray::fromStdString(peerText));
        std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> peer(EVP_PKEY_new(), EVP_PKEY_free);
        if (!peer || EVP_PKEY_copy_parameters(peer.get(), key.get()) != 1 ||
            EVP_PKEY_set1_encoded_public_key(peer.get(), reinterpret_cast<const unsigned char*>(octets.constData()),
                                             static_cast<size_t>(octets.size())) != 1) {
            return std::nullopt;
        }
        std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new(key.get(), nullptr),
                                                                        EVP_PKEY_CTX_free);
        std::array<unsigned char, 32> secret{};
        size_t length = secret.size();
        if (!ctx || EVP_PKEY_derive_init(ctx.get()) != 1 || EVP_PKEY_derive_set_peer(ctx.get(), peer.get()) != 1 ||
            EVP_PKEY_derive(ctx.get(), secret.data(), &length) != 1 || length != secret.size()) {
            return std::nullopt;
        }
        return secret;
    }

    // The split the link uses: key from quarters 0 and 2, IV from quarters 1 and 3.
    static std::array<unsigned char, 16> keyOf(const std::array<unsigned char, 32>& s)
    {
        std::array<unsigned char, 16> out{};
        std::copy(s.begin(), s.begin() + 8, out.begin());
        std::copy(s.begin() + 16, s.begin() + 24, out.begin() + 8);
        return out;
    }
    static std::array<unsigned char, 16> ivOf(const std::array<unsigned char, 32>& s)
    {
        std::array<unsigned char, 16> out{};
        std::copy(s.begin() + 8, s.begin() + 16, out.begin());
        std::copy(s.begin() + 24, s.begin() + 32, out.begin() + 8);
        return out;
    }

private:
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key;
};
