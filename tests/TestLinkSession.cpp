// The link session without a window, against a real QTcpServer on loopback playing the main
// program with a key of its own: the bytes it writes in both forms and their limits, the exit
// notice, the key exchange and a later re-key, and what bad input does to the link.
#include "IndependentEcdh.h"
#include "LinkSession.h"
#include "LinkWriter.h"
#include "StalledPeer.h"
#include "TestPeer.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

using LinkMessages::frameIndex;
using LinkMessages::notice;

} // namespace

class TestLinkSession : public QObject
{
    Q_OBJECT

private:
    // A new peer for each case: like the session, it starts with a key of all zero.
    std::unique_ptr<TestPeer> peer;
    std::unique_ptr<LinkSession> session;

    void open()
    {
        peer = std::make_unique<TestPeer>();
        QVERIFY(peer->listen(0));
        session = std::make_unique<LinkSession>(QHostAddress(QHostAddress::LocalHost), peer->port());
        session->open();
        QVERIFY(peer->waitForClient());
        QTRY_COMPARE(session->socket()->state(), QAbstractSocket::ConnectedState);
    }

    // The key request with `ecdh`'s key, in the form the link is in now.
    void requestKey(const IndependentEcdh& ecdh, bool compressed = false)
    {
        peer->clear();
        Json::Value request = frameIndex(512);
        request["Info"] = ecdh.publicKeyText(compressed);
        peer->send(request, session->isKeyed());
    }

    // The peer's key from its own derivation with the client's key text.
    bool agree(const IndependentEcdh& ecdh, const std::string& clientKey)
    {
        const auto secret = ecdh.secretWith(clientKey);
        if (!secret) {
            return false;
        }
        const auto key = IndependentEcdh::keyOf(*secret);
        const auto iv = IndependentEcdh::ivOf(*secret);
        peer->cipher().setLinkKeyMaterial(key.data(), iv.data());
        return true;
    }

    // A wrapped notice from the peer reaches the session, and its acknowledgement the peer.
    void wrappedRoundTrip(const std::string& text)
    {
        QSignalSpy notices(session.get(), &LinkSession::noticeToAcknowledge);
        peer->clear();
        peer->send(notice(256, text), true);
        QVERIFY(notices.wait());
        QCOMPARE(notices.first().at(1).toString(), QString::fromStdString(text));
        session->acknowledge(256);
        QVERIFY(peer->waitForMessages(1, true));
        QVERIFY(!peer->bytes().endsWith('\n'));
        QCOMPARE(peer->messages(true).front(), frameIndex(256));
    }

private slots:
    void initTestCase() { qRegisterMetaType<Json::Value>(); }

    void cleanup()
    {
        session.reset();
        peer.reset();
    }

    void plainBytes()
    {
        open();
        Json::Value message(Json::objectValue);
        message["zeta"] = "/\x01";
        message["FrameIndex"] = 9;
        message["alpha"] = std::string("\xb1\xe8\0", 3);
        session->send(message);
        const QByteArray expected("{\"FrameIndex\":9,\"alpha\":\"\xb1\xe8\\u0000\",\"zeta\":\"/\\u0001\"}\n");
        QVERIFY(peer->waitForBytes(expected.size()));
        QCOMPARE(peer->bytes(), expected);
    }

    void oversizeRefused()
    {
        open();
        Json::Value big(Json::objectValue);
        big["s"] = std::string(5000, 'x');
        session->send(big);
        session->send(frameIndex(2));
        QVERIFY(peer->waitForBytes(16));
        QCOMPARE(peer->bytes(), QByteArray("{\"FrameIndex\":2}\n"));
    }

    // The peer has stopped reading, so what the session wrote waits in the socket at the exit
    // notice. The process ends right after it: the backlog and the notice must have left by then.
    void exitNoticeBehindABacklog()
    {
        StalledPeer stalled;
        QVERIFY(stalled.listenOnFreePort());
        session = std::make_unique<LinkSession>(QHostAddress(QHostAddress::LocalHost), stalled.serverPort());
        session->open();
        QVERIFY(stalled.waitForClient());
        QTRY_COMPARE(session->socket()->state(), QAbstractSocket::ConnectedState);
        session->socket()->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, 8192);

        QByteArray expected;
        for (int i = 0; i < 4000 && session->socket()->bytesToWrite() < 64 * 1024; ++i) {
            Json::Value message = frameIndex(64);
            message["Info"]["n"] = i;
            message["Info"]["pad"] = std::string(3000, 'x');
            expected += *LinkWriter::encode(message, nullptr);
            session->send(message);
        }
        QVERIFY(session->socket()->bytesToWrite() >= 64 * 1024);
        const QByteArray exitNotice("{\"FrameIndex\":4496}\n");
        expected += exitNotice;

        stalled.startReading(200);
        session->sendExitNotice();
        session->sendExitNotice();
        // As when the program's event loop has ended: no later turn of it writes what is left.
        session.reset();
        const QByteArray received = stalled.takeAll();
        QCOMPARE(received.size(), expected.size());
        QVERIFY(received == expected);
        QCOMPARE(received.count(exitNotice), 1);
    }

    void keyExchangeAndWrappedForm()
    {
        open();
        IndependentEcdh ecdh;
        QVERIFY(ecdh.valid());
        requestKey(ecdh);
        QVERIFY(peer->waitForMessages(1, false));
        const QByteArray replyBytes = peer->bytes();
        QVERIFY(replyBytes.startsWith("{\"initalizeKey\":\"B"));
        QVERIFY(replyBytes.endsWith("=\"}\n"));
        const Json::Value reply = peer->messages(false).front();
        QCOMPARE(reply.getMemberNames(), std::vector<std::string>{"initalizeKey"});
        const std::string ownKey = reply["initalizeKey"].asString();
        QCOMPARE(ownKey.size(), size_t(88));
        QVERIFY(session->isKeyed());

        // From now on both directions are wrapped, under the key the peer derived on its own.
        QVERIFY(agree(ecdh, ownKey));
        wrappedRoundTrip("wrapped");

        // A later request arrives under the old key, and so does its reply: the main program
        // can compute the new key only from that reply. The new key holds after it, both ways.
        IndependentEcdh second;
        requestKey(second, true);
        QVERIFY(peer->waitForMessages(1, true));
        const std::string newKey = peer->messages(true).front()["initalizeKey"].asString();
        QCOMPARE(newKey.size(), size_t(88));
        QVERIFY(newKey != ownKey);
        QVERIFY(agree(second, newKey));
        wrappedRoundTrip("after");
    }

    // The peer's key is no point: the session still answers and counts as keyed, under the key
    // material it had, all zero as the peer's own still is.
    void badPeerKeyStillAnswered()
    {
        open();
        Json::Value request = frameIndex(512);
        request["Info"] = "bm90IGEgcG9pbnQ=";
        peer->send(request, false);
        QVERIFY(peer->waitForMessages(1, false));
        QCOMPARE(peer->messages(false).front()["initalizeKey"].asString().size(), size_t(88));
        QVERIFY(session->isKeyed());
        wrappedRoundTrip("zero");
    }

    void badInputsLeaveTheLinkWorking_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("FrameIndex text") << QByteArray("{\"FrameIndex\":\"256\",\"Info\":{\"result\":\"x\"}}");
        QTest::newRow("FrameIndex array") << QByteArray("{\"FrameIndex\":[256]}");
        QTest::newRow("FrameIndex object") << QByteArray("{\"FrameIndex\":{\"a\":256}}");
        QTest::newRow("FrameIndex too large") << QByteArray("{\"FrameIndex\":4294967552}");
        QTest::newRow("key Info array") << QByteArray("{\"FrameIndex\":512,\"Info\":[\"AAAA\"]}");
        QTest::newRow("key Info object") << QByteArray("{\"FrameIndex\":512,\"Info\":{\"k\":1}}");
        QTest::newRow("result array") << QByteArray("{\"FrameIndex\":256,\"Info\":{\"result\":[1]}}");
        QTest::newRow("result object") << QByteArray("{\"FrameIndex\":16,\"Info\":{\"result\":{}}}");
        QTest::newRow("Info text") << QByteArray("{\"FrameIndex\":32,\"Info\":\"result\"}");
        QTest::newRow("top-level array") << QByteArray("[{\"FrameIndex\":16}]");
        QTest::newRow("deep nesting") << QByteArray(20000, '[');
    }

    void badInputsLeaveTheLinkWorking()
    {
        QFETCH(QByteArray, bytes);
        open();
        QSignalSpy finals(session.get(), &LinkSession::finalNotice);
        QSignalSpy notices(session.get(), &LinkSession::noticeToAcknowledge);
        QSignalSpy failed(session.get(), &LinkSession::linkFailed);
        peer->sendRaw(bytes);
        QTest::qWait(50);
        QCOMPARE(finals.count(), 0);
        QCOMPARE(notices.count(), 0);
        QCOMPARE(failed.count(), 0);
        QVERIFY(!session->isKeyed());
        QCOMPARE(peer->bytes(), QByteArray());
        peer->send(notice(256, "next"), false);
        QVERIFY(notices.wait());
        QCOMPARE(notices.first().at(1).toString(), QStringLiteral("next"));
    }

    void keyedGarbageFailsTheLink_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty object") << QByteArray("{}");
        QTest::newRow("not an object") << QByteArray("12");
        QTest::newRow("not JSON") << QByteArray("garbage");
        QTest::newRow("plain message") << QByteArray("{\"FrameIndex\":1}");
        QTest::newRow("bad ciphertext") << QByteArray("{\"QUJDRA==\":\"\"}");
        // Enciphered under the peer's key: it deciphers, but to no JSON.
        QTest::newRow("wrapped text that is not JSON") << QByteArray();
    }

    void keyedGarbageFailsTheLink()
    {
        QFETCH(QByteArray, bytes);
        open();
        QVERIFY(peer->exchangeKey(false));
        QSignalSpy failed(session.get(), &LinkSession::linkFailed);
        QSignalSpy notices(session.get(), &LinkSession::noticeToAcknowledge);
        peer->sendRaw(bytes.isEmpty() ? *MainSide::wrap(peer->cipher(), "not json at all") : bytes);
        QVERIFY(failed.wait());
        QCOMPARE(failed.count(), 1);
        QCOMPARE(notices.count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestLinkSession)
#include "TestLinkSession.moc"
