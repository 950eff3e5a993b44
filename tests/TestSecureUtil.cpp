// SEED-CBC, base64, SHA-512 and the key agreement, against answers from outside this project.

#include "LinkCipher.h"
#include "OpenSslPtr.h"
#include "SecureUtil.h"

#include <QRandomGenerator>
#include <QTemporaryFile>
#include <QtTest>

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

using Bytes = QByteArray;

const uchar* u(const Bytes& b)
{
    return reinterpret_cast<const uchar*>(b.constData());
}

// RFC 4196, CBC-1: key and IV also used for the padded vectors and the message tests.
const Bytes kKey = Bytes::fromHex("ed2401ad22fa255991bafdb01fefd697");
const Bytes kIv = Bytes::fromHex("93eb149f92c9905bae5cd34da06c3c8e");

Bytes encrypt(const Bytes& key, const Bytes& iv, const Bytes& plain)
{
    Bytes out(plain.size() / 16 * 16 + 16, '\0');
    out.resize(SecureUtil::seedCbcEncrypt(u(key), u(iv), u(plain), plain.size(), reinterpret_cast<uchar*>(out.data())));
    return out;
}

Bytes fromArray(const std::array<unsigned char, 16>& a)
{
    return Bytes(reinterpret_cast<const char*>(a.data()), 16);
}

// What the library writes to stdout between construction and take().
class StdoutCapture
{
public:
    StdoutCapture()
    {
        file.open();
        std::fflush(stdout);
        saved = dup(STDOUT_FILENO);
        dup2(file.handle(), STDOUT_FILENO);
    }
    ~StdoutCapture() { restore(); }
    Bytes take()
    {
        restore();
        file.seek(0);
        return file.readAll();
    }

private:
    void restore()
    {
        if (saved >= 0) {
            std::fflush(stdout);
            dup2(saved, STDOUT_FILENO);
            close(saved);
            saved = -1;
        }
    }

    QTemporaryFile file;
    int saved = -1;
};

using PkeyPtr = SecureUtil::OpenSslPtr<EVP_PKEY, EVP_PKEY_free>;
using PkeyCtxPtr = SecureUtil::OpenSslPtr<EVP_PKEY_CTX, EVP_PKEY_CTX_free>;

Bytes encodedPoint(EVP_PKEY* key)
{
    unsigned char* raw = nullptr;
    const size_t n = EVP_PKEY_get1_encoded_public_key(key, &raw);
    Bytes point(reinterpret_cast<const char*>(raw), int(n));
    OPENSSL_free(raw);
    return point;
}

// The test's own ECDH, independent of the module: its private key with our public point.
Bytes independentSecret(EVP_PKEY* priv, const Bytes& ourKeyText)
{
    const Bytes point = Bytes::fromBase64(ourKeyText);
    OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, const_cast<char*>("P-256"), 0),
                           OSSL_PARAM_construct_octet_string(
                               OSSL_PKEY_PARAM_PUB_KEY, const_cast<char*>(point.constData()), size_t(point.size())),
                           OSSL_PARAM_construct_end()};
    const PkeyCtxPtr fromCtx(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    EVP_PKEY* raw = nullptr;
    if (EVP_PKEY_fromdata_init(fromCtx.get()) <= 0 ||
        EVP_PKEY_fromdata(fromCtx.get(), &raw, EVP_PKEY_PUBLIC_KEY, params) <= 0) {
        return {};
    }
    PkeyPtr ours(raw);
    const PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, priv, nullptr));
    Bytes secret(64, '\0');
    size_t n = size_t(secret.size());
    if (EVP_PKEY_derive_init(ctx.get()) <= 0 || EVP_PKEY_derive_set_peer(ctx.get(), ours.get()) <= 0 ||
        EVP_PKEY_derive(ctx.get(), reinterpret_cast<uchar*>(secret.data()), &n) <= 0) {
        return {};
    }
    secret.resize(int(n));
    return secret;
}

} // namespace

class TestSecureUtil : public QObject
{
    Q_OBJECT

    // OpenSSL's own SEED-CBC as a second opinion, kept out of the default library context.
    SecureUtil::OpenSslPtr<OSSL_LIB_CTX, OSSL_LIB_CTX_free> libctx{OSSL_LIB_CTX_new()};
    SecureUtil::OpenSslPtr<OSSL_PROVIDER, OSSL_PROVIDER_unload> legacy{OSSL_PROVIDER_load(libctx.get(), "legacy")};
    SecureUtil::OpenSslPtr<OSSL_PROVIDER, OSSL_PROVIDER_unload> deflt{OSSL_PROVIDER_load(libctx.get(), "default")};
    SecureUtil::OpenSslPtr<EVP_CIPHER, EVP_CIPHER_free> seedCbc{EVP_CIPHER_fetch(libctx.get(), "SEED-CBC", nullptr)};

    Bytes openssl(bool enc, const Bytes& key, const Bytes& iv, const Bytes& in)
    {
        const SecureUtil::OpenSslPtr<EVP_CIPHER_CTX, EVP_CIPHER_CTX_free> ctx(EVP_CIPHER_CTX_new());
        Bytes out(in.size() + 16, '\0');
        int n = 0, fin = 0;
        auto* o = reinterpret_cast<uchar*>(out.data());
        if (!ctx || EVP_CipherInit_ex2(ctx.get(), seedCbc.get(), u(key), u(iv), enc ? 1 : 0, nullptr) != 1 ||
            EVP_CipherUpdate(ctx.get(), o, &n, u(in), in.size()) != 1 ||
            EVP_CipherFinal_ex(ctx.get(), o + n, &fin) != 1) {
            return "openssl failed";
        }
        out.resize(n + fin);
        return out;
    }

private slots:
    void initTestCase() { QVERIFY(libctx && legacy && deflt && seedCbc); }

    void seedEncrypt_data()
    {
        QTest::addColumn<Bytes>("key");
        QTest::addColumn<Bytes>("iv");
        QTest::addColumn<Bytes>("plain");
        QTest::addColumn<Bytes>("cipher"); // expected output, or its start for vectors without padding
        const Bytes zero(16, '\0');
        // RFC 4269, Appendix B: single blocks; with a zero IV the first CBC block is the bare cipher.
        QTest::newRow("B.1") << zero << zero << Bytes::fromHex("000102030405060708090A0B0C0D0E0F")
                             << Bytes::fromHex("5EBAC6E0054E166819AFF1CC6D346CDB");
        QTest::newRow("B.2") << Bytes::fromHex("000102030405060708090A0B0C0D0E0F") << zero << zero
                             << Bytes::fromHex("C11F22F20140505084483597E4370F43");
        QTest::newRow("B.3") << Bytes::fromHex("4706480851E61BE85D74BFB3FD956185") << zero
                             << Bytes::fromHex("83A2F8A288641FB9A4E9A5CC2F131C7D")
                             << Bytes::fromHex("EE54D13EBCAE706D226BC3142CD40D4A");
        QTest::newRow("B.4") << Bytes::fromHex("28DBC3BC49FFD87DCFA509B11D422BE7") << zero
                             << Bytes::fromHex("B41E6BE2EBA84A148E2EED84593C5EC7")
                             << Bytes::fromHex("9B9B7BFCD1813CB95D0B3618F40F5122");
        // RFC 4196: SEED-CBC without padding.
        const Bytes pt1 = Bytes::fromHex("b40d7003d9b6904b35622750c91a24575bb9a632364aa26e3ac0cf3a9c9d0dcb");
        const Bytes ct1 = Bytes::fromHex("f072c5b1a0588c105af8301adcd91dd067f6822155304bf3aad75ceb44341c25");
        QTest::newRow("CBC-1") << kKey << kIv << pt1 << ct1;
        QTest::newRow("CBC-2") << Bytes::fromHex("88e34f8f081779f1e9f394370ad40589")
                               << Bytes::fromHex("268d66a735a81a816fbad9fa36162501")
                               << Bytes::fromHex("d76d0d18327ec562b15e6bc365ac0c0f8d41e0bb938568aeebfd92ed1affa096394d2"
                                                 "0fc5277ddfc4de8b0fce1eb2b93d4ae40ef4768c613b50b8942f7d4b9b3")
                               << Bytes::fromHex("a293eae9d9aebfac37ba714bd774e427e8b706d7e7d9a097228639e0b62b3b34ced11"
                                                 "609cef2abaaec2edf979308f379c31527a8267783e5cba3538982b48d06");
        // PKCS#7 vectors made with OpenSSL 3 and confirmed with a second library (CBC-1 key and IV).
        QTest::newRow("PAD-1") << kKey << kIv << pt1 << ct1 + Bytes::fromHex("46d12d532c0edddba824741b5b0682fa");
        QTest::newRow("PAD-2 as a block")
            << kKey << kIv << Bytes(16, '\x10') << Bytes::fromHex("222a317cfb5d2aebfcdcedc9e1062d98");
        QTest::newRow("PAD-3") << kKey << kIv << Bytes("{\"a\":1}")
                               << Bytes::fromHex("2c07e0ca8e4f1b2c18da299f13cb59d9");
    }

    void seedEncrypt()
    {
        QFETCH(Bytes, key);
        QFETCH(Bytes, iv);
        QFETCH(Bytes, plain);
        QFETCH(Bytes, cipher);
        const Bytes out = encrypt(key, iv, plain);
        QCOMPARE(out.size(), plain.size() / 16 * 16 + 16);
        QCOMPARE(out.left(cipher.size()).toHex(), cipher.toHex());
        Bytes back(out.size(), '\0');
        back.resize(
            SecureUtil::seedCbcDecrypt(u(key), u(iv), u(out), out.size(), reinterpret_cast<uchar*>(back.data())));
        QCOMPARE(back.toHex(), plain.toHex());
    }

    void emptyInput()
    {
        uchar out[32];
        memset(out, 0xAA, sizeof out);
        QCOMPARE(SecureUtil::seedCbcEncrypt(u(kKey), u(kIv), out, 0, out), 0);
        QCOMPARE(SecureUtil::seedCbcEncrypt(nullptr, u(kIv), u(kKey), 16, out), 0);
        // PAD-2: the padding block of the empty text decrypts to nothing.
        const Bytes pad2 = Bytes::fromHex("222a317cfb5d2aebfcdcedc9e1062d98");
        QCOMPARE(SecureUtil::seedCbcDecrypt(u(kKey), u(kIv), u(pad2), 16, out), 0);
        QCOMPARE(Bytes(reinterpret_cast<char*>(out), 32), Bytes(32, '\xAA'));
    }

    // Every length from 0 to 3100: ours and OpenSSL's SEED-CBC give the same bytes and read each other.
    void againstOpenSsl()
    {
        QRandomGenerator rng(4269);
        auto random = [&rng](int n) {
            Bytes b(n, '\0');
            for (auto& c : b)
                c = char(rng.generate());
            return b;
        };
        for (int n = 0; n <= 3100; ++n) {
            const Bytes key = random(16), iv = random(16), plain = random(n);
            const Bytes theirs = openssl(true, key, iv, plain);
            const Bytes ours = encrypt(key, iv, plain);
            QVERIFY2(n == 0 ? ours.isEmpty() : ours == theirs, qPrintable(QString("length %1").arg(n)));
            Bytes back(theirs.size(), '\0');
            back.resize(SecureUtil::seedCbcDecrypt(u(key), u(iv), u(theirs), theirs.size(),
                                                   reinterpret_cast<uchar*>(back.data())));
            QVERIFY2(back == plain, qPrintable(QString("length %1").arg(n)));
            if (n > 0)
                QVERIFY2(openssl(false, key, iv, ours) == plain, qPrintable(QString("length %1").arg(n)));
            // In place, both ways.
            Bytes inPlace = plain + Bytes(16, '\0');
            auto* p = reinterpret_cast<uchar*>(inPlace.data());
            inPlace.resize(SecureUtil::seedCbcEncrypt(u(key), u(iv), p, n, p));
            QVERIFY2(inPlace == ours, qPrintable(QString("length %1").arg(n)));
            p = reinterpret_cast<uchar*>(inPlace.data());
            inPlace.resize(SecureUtil::seedCbcDecrypt(u(key), u(iv), p, inPlace.size(), p));
            QVERIFY2(inPlace == (n ? plain : Bytes()), qPrintable(QString("length %1").arg(n)));
        }
    }

    void decryptRejects_data()
    {
        QTest::addColumn<Bytes>("lastBlock"); // plain text of the final block, enciphered without padding
        QTest::addColumn<int>("shift");       // length error: bytes added before the ciphertext, or cut off
        QTest::newRow("final byte 0") << Bytes::fromHex("0102030405060708090a0b0c0d0e0f00") << 0;
        QTest::newRow("final byte 17") << Bytes::fromHex("0102030405060708090a0b0c0d0e0f11") << 0;
        QTest::newRow("padding bytes differ") << Bytes::fromHex("0102030405060708090a0b0c0d040303") << 0;
        QTest::newRow("16 with one byte off") << Bytes::fromHex("10101010101010101010101010100f10") << 0;
        // The last 32 bytes stay a well-padded pair, so only the length check can refuse these.
        QTest::newRow("one byte short") << Bytes::fromHex("0102030405060708090a0b0c0d0e0f01") << -1;
        QTest::newRow("one byte over") << Bytes::fromHex("0102030405060708090a0b0c0d0e0f01") << 1;
    }

    void decryptRejects()
    {
        QFETCH(Bytes, lastBlock);
        QFETCH(int, shift);
        // Two blocks, so the check reaches the chaining of the last one; one spare byte in front.
        const Bytes buffer = "z" + encrypt(kKey, kIv, Bytes(16, 'x') + lastBlock).left(32);
        const int n = 32 + shift;
        Bytes out(n, '\xAA');
        QCOMPARE(
            SecureUtil::seedCbcDecrypt(u(kKey), u(kIv), u(buffer) + 1 - shift, n, reinterpret_cast<uchar*>(out.data())),
            0);
        QCOMPARE(out, Bytes(n, '\xAA'));
        LinkCipher cipher;
        cipher.setLinkKeyMaterial(u(kKey), u(kIv));
        QCOMPARE(cipher.decryptMessage(buffer.mid(1 - shift, n).toBase64().toStdString()), std::string());
    }

    void base64Encode_data()
    {
        QTest::addColumn<Bytes>("bytes");
        QTest::addColumn<QString>("text");
        // RFC 4648, section 10.
        QTest::newRow("empty") << Bytes() << "";
        QTest::newRow("a") << Bytes("a") << "YQ==";
        QTest::newRow("ab") << Bytes("ab") << "YWI=";
        QTest::newRow("abc") << Bytes("abc") << "YWJj";
        QTest::newRow("foobar") << Bytes("foobar") << "Zm9vYmFy";
        QTest::newRow("top of the alphabet") << Bytes::fromHex("fbefbeffff") << "++++//8=";
    }

    void base64Encode()
    {
        QFETCH(Bytes, bytes);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(SecureUtil::base64Encode(u(bytes), size_t(bytes.size()))), text);
    }

    void base64Decode_data()
    {
        QTest::addColumn<Bytes>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<Bytes>("bytes");
        QTest::newRow("abc") << Bytes("YWJj") << true << Bytes("abc");
        QTest::newRow("padded") << Bytes("YWI=") << true << Bytes("ab");
        QTest::newRow("no pad needed") << Bytes("YWI") << true << Bytes("ab");
        QTest::newRow("spaces read as +") << Bytes("    ") << true << Bytes::fromHex("fbefbe");
        QTest::newRow("line break skipped") << Bytes("YW\r\nJj") << true << Bytes("abc");
        QTest::newRow("stray character skipped") << Bytes("Y*WJj") << true << Bytes("abc");
        QTest::newRow("ends at NUL") << Bytes("YWJj\0YWJj", 9) << true << Bytes("abc");
        QTest::newRow("stops at first =") << Bytes("YWJjZA=xyzw") << true << Bytes("abcd");
        QTest::newRow("lone char dropped") << Bytes("YWJjZ") << true << Bytes("abc");
        QTest::newRow("empty") << Bytes() << true << Bytes();
        QTest::newRow("= after a group") << Bytes("YWJj=") << false << Bytes();
        QTest::newRow("= after one char") << Bytes("Y=") << false << Bytes();
        QTest::newRow("= alone") << Bytes("=") << false << Bytes();
    }

    void base64Decode()
    {
        QFETCH(Bytes, text);
        QFETCH(bool, ok);
        QFETCH(Bytes, bytes);
        const auto decoded = SecureUtil::base64Decode(text.toStdString());
        QCOMPARE(decoded.has_value(), ok);
        if (decoded)
            QCOMPARE(Bytes(reinterpret_cast<const char*>(decoded->data()), int(decoded->size())).toHex(),
                     bytes.toHex());
    }

    void sha512Hex_data()
    {
        QTest::addColumn<Bytes>("text");
        QTest::addColumn<QString>("hex");
        // FIPS 180-2 example and the digest of no input.
        const QString abc = "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
                            "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f";
        QTest::newRow("empty") << Bytes()
                               << "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce"
                                  "47d0d13c5d85f2b0ff8318d2877eec2f63b931bd47417a81a538327af927da3e";
        QTest::newRow("abc") << Bytes("abc") << abc;
        QTest::newRow("ends at NUL") << Bytes("abc\0def", 7) << abc;
    }

    void sha512Hex()
    {
        QFETCH(Bytes, text);
        QFETCH(QString, hex);
        QCOMPARE(QString::fromStdString(SecureUtil::sha512Hex(text.toStdString())), hex);
    }

    void messages()
    {
        LinkCipher cipher;
        cipher.setLinkKeyMaterial(u(kKey), u(kIv));
        // PAD-3 in its base64 form.
        QCOMPARE(cipher.encryptMessage("{\"a\":1}"), std::string("LAfgyo5PGywY2imfE8tZ2Q=="));
        QCOMPARE(cipher.decryptMessage("LAfgyo5PGywY2imfE8tZ2Q=="), std::string("{\"a\":1}"));
        QCOMPARE(cipher.encryptMessage(""), std::string());
        QCOMPARE(cipher.decryptMessage("Y="), std::string());
        for (const size_t n : {1, 15, 16, 17, 3071}) {
            const std::string text(n, char('a' + n % 26));
            const std::string wrapped = cipher.encryptMessage(text);
            QCOMPARE(wrapped.size(), ((n / 16 + 1) * 16 + 2) / 3 * 4);
            QCOMPARE(cipher.decryptMessage(wrapped), text);
        }
        // The plain text comes back cut at its first NUL.
        QCOMPARE(cipher.decryptMessage(cipher.encryptMessage(std::string("ab\0cd", 5))), std::string("ab"));
    }

    void messageLimits()
    {
        LinkCipher cipher;
        cipher.setLinkKeyMaterial(u(kKey), u(kIv));
        StdoutCapture capture;
        const std::string tooLong = cipher.encryptMessage(std::string(3072, 'x'));
        const std::string atLimit =
            cipher.decryptMessage(encrypt(kKey, kIv, Bytes(4095, 'y')).toBase64().toStdString());
        const std::string overLimit =
            cipher.decryptMessage(encrypt(kKey, kIv, Bytes(4096, 'y')).toBase64().toStdString());
        const Bytes out = capture.take();
        QCOMPARE(tooLong, std::string());
        QCOMPARE(atLimit, std::string(4095, 'y'));
        QCOMPARE(overLimit, std::string());
        QCOMPARE(out.count('\n'), 2);
        QVERIFY2(out.contains("3072") && out.contains("4112"), out.constData());
    }

    void keyAgreement_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<bool>("mangle"); // spaces for "+" and line breaks, as some peers send it
        QTest::newRow("uncompressed") << "uncompressed" << false;
        QTest::newRow("compressed") << "compressed" << false;
        QTest::newRow("with line breaks and spaces") << "uncompressed" << true;
    }

    void keyAgreement()
    {
        QFETCH(QString, form);
        QFETCH(bool, mangle);
        PkeyPtr peer(EVP_EC_gen("P-256"));
        QVERIFY(peer);
        Bytes point = encodedPoint(peer.get());
        QCOMPARE(point.size(), 65);
        if (form == "compressed") // SEC 1, 2.3.3: 02 or 03 by the parity of Y, then X
            point = char(2 + (point.back() & 1)) + point.mid(1, 32);
        Bytes peerText = point.toBase64();
        if (mangle)
            peerText = peerText.replace('+', ' ').insert(40, "\r\n").insert(20, '\n');

        LinkCipher cipher;
        QVERIFY(cipher.generateKeyPair());
        const std::string ours = cipher.publicKeyText();
        QCOMPARE(ours.size(), size_t(88));
        QCOMPARE(ours.front(), 'B');
        QCOMPARE(ours.back(), '=');

        StdoutCapture capture;
        const int result = cipher.deriveLinkKey(peerText.toStdString());
        QCOMPARE(capture.take(), Bytes("secret key len : 32\n"));
        QCOMPARE(result, 0);
        QCOMPARE(cipher.publicKeyText(), std::string()); // the key pair is gone

        const Bytes s = independentSecret(peer.get(), Bytes::fromStdString(ours));
        QCOMPARE(s.size(), 32);
        QCOMPARE(fromArray(cipher.linkKey()).toHex(), (s.mid(0, 8) + s.mid(16, 8)).toHex());
        QCOMPARE(fromArray(cipher.linkIv()).toHex(), (s.mid(8, 8) + s.mid(24, 8)).toHex());
        const auto helper = SecureUtil::deriveSharedSecret(peer.get(), ours);
        QVERIFY(helper);
        QCOMPARE(Bytes(reinterpret_cast<const char*>(helper->data()), 32).toHex(), s.toHex());
    }

    // Each link has a cipher of its own: a new one starts as a fresh process did, keying one
    // leaves another as it was, and each hands its lines to its own sink besides standard output.
    void eachCipherItsOwn()
    {
        const std::array<unsigned char, 16> zero{};
        QStringList lines;
        LinkCipher first([&lines](const std::string& line) { lines << QString::fromStdString(line); });
        LinkCipher second;
        QCOMPARE(first.linkKey(), zero);
        QCOMPARE(first.linkIv(), zero);
        QCOMPARE(first.publicKeyText(), std::string());

        PkeyPtr peer(EVP_EC_gen("P-256"));
        QVERIFY(peer);
        QVERIFY(first.generateKeyPair());
        QVERIFY(second.generateKeyPair());
        QVERIFY(first.publicKeyText() != second.publicKeyText());
        StdoutCapture capture;
        QCOMPARE(first.deriveLinkKey(encodedPoint(peer.get()).toBase64().toStdString()), 0);
        QCOMPARE(second.deriveLinkKey(std::string()), -1);
        QCOMPARE(capture.take(), Bytes("secret key len : 32\nFailed EC_KEY_oct2key.\n"));
        QCOMPARE(lines, QStringList{QStringLiteral("secret key len : 32")});
        QVERIFY(first.linkKey() != zero);
        QCOMPARE(second.linkKey(), zero);
        QCOMPARE(second.linkIv(), zero);
        const std::string text = "{\"a\":1}";
        QVERIFY(second.decryptMessage(first.encryptMessage(text)) != text);
    }

    void badPeerKey_data()
    {
        QTest::addColumn<Bytes>("peerText");
        QTest::addColumn<bool>("ownPair");
        QTest::addColumn<Bytes>("line");
        PkeyPtr p384(EVP_EC_gen("P-384"));
        const Bytes offCurve = Bytes::fromHex("04") + Bytes(64, '\x01');
        const Bytes failed = "Failed EC_KEY_oct2key.\n";
        QTest::newRow("empty") << Bytes() << true << failed;
        QTest::newRow("does not decode") << Bytes("YWJj=") << true << failed;
        QTest::newRow("not on the curve") << offCurve.toBase64() << true << failed;
        QTest::newRow("point at infinity") << Bytes::fromHex("00").toBase64() << true << failed;
        QTest::newRow("bad prefix") << (Bytes::fromHex("05") + Bytes(32, '\x01')).toBase64() << true << failed;
        QTest::newRow("P-384 point") << encodedPoint(p384.get()).toBase64() << true << failed;
        PkeyPtr good(EVP_EC_gen("P-256"));
        QTest::newRow("no own key pair") << encodedPoint(good.get()).toBase64() << false
                                         << Bytes("No key pair to agree with.\n");
    }

    void badPeerKey()
    {
        QFETCH(Bytes, peerText);
        QFETCH(bool, ownPair);
        QFETCH(Bytes, line);
        const Bytes key(16, '\x11'), iv(16, '\x22');
        LinkCipher cipher;
        cipher.setLinkKeyMaterial(u(key), u(iv));
        if (ownPair)
            QVERIFY(cipher.generateKeyPair());
        StdoutCapture capture;
        const int result = cipher.deriveLinkKey(peerText.toStdString());
        QCOMPARE(capture.take(), line);
        QCOMPARE(result, -1);
        QCOMPARE(fromArray(cipher.linkKey()), key);
        QCOMPARE(fromArray(cipher.linkIv()), iv);
        QCOMPARE(cipher.publicKeyText(), std::string());
    }
};

QTEST_GUILESS_MAIN(TestSecureUtil)
#include "TestSecureUtil.moc"
