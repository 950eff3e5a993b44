// tavo_peer against a scripted client in this test: the key exchange and the checks on its
// reply, both forms, the transcript, and a clear message with a non-zero exit for every way a
// run can go wrong. tavo_peer listens on a free port of its own, never on the link's port.
#include "IndependentEcdh.h"
#include "JsonText.h"
#include "LinkCipher.h"
#include "PeerProcess.h"
#include "WireSplitter.h"

#include <QFile>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

namespace {

Json::Value frame(int n)
{
    Json::Value message(Json::objectValue);
    message["FrameIndex"] = n;
    return message;
}

QByteArray wrap(const LinkCipher& cipher, const Json::Value& message)
{
    return "{\"" + QByteArray::fromStdString(cipher.encryptMessage(JsonText::writeCompact(message))) + "\":\"\"}";
}

// The client's side, played by the test with a key pair of its own.
class ScriptedClient
{
public:
    bool connectTo(quint16 port)
    {
        socket.connectToHost(QStringLiteral("127.0.0.1"), port);
        return socket.waitForConnected(5000);
    }

    std::optional<Json::Value> readPlain(int ms = 5000)
    {
        if (!QTest::qWaitFor([&] { return pump().contains('\n'); }, ms)) {
            return std::nullopt;
        }
        const int end = received.indexOf('\n');
        const std::string text = received.left(end + 1).toStdString();
        received.remove(0, end + 1);
        return parse(text);
    }

    std::optional<Json::Value> readWrapped(int ms = 5000)
    {
        static const QRegularExpression form(QStringLiteral("^\\{\"([A-Za-z0-9+/=]+)\":\"\"\\}"));
        QRegularExpressionMatch match;
        if (!QTest::qWaitFor([&] { return (match = form.match(QString::fromLatin1(pump()))).hasMatch(); }, ms)) {
            return std::nullopt;
        }
        received.remove(0, match.capturedLength());
        return parse(cipher.decryptMessage(match.captured(1).toStdString()));
    }

    // Answers the key request as the client does and keys this side of the link.
    std::string answerKeyRequest() { return answer(readPlain(), ecdh, false); }

    // A later request arrives under the key in force and is answered under it too, with a fresh
    // key pair; the new key holds for everything after that reply, both ways.
    std::string answerLaterKeyRequest(const IndependentEcdh& fresh) { return answer(readWrapped(), fresh, true); }

    // Under this side's key, as the client wraps.
    QByteArray wrap(const Json::Value& message) const { return ::wrap(cipher, message); }

    void write(const QByteArray& bytes)
    {
        socket.write(bytes);
        socket.flush();
    }

    QTcpSocket socket;
    IndependentEcdh ecdh;
    LinkCipher cipher;

private:
    std::string answer(const std::optional<Json::Value>& request, const IndependentEcdh& own, bool wrapped)
    {
        if (!request || (*request)["FrameIndex"] != 512 || !(*request)["Info"].isString()) {
            return {};
        }
        const std::string peerKey = (*request)["Info"].asString();
        const std::optional<std::array<unsigned char, 32>> secret = own.secretWith(peerKey);
        if (!secret) {
            return {};
        }
        Json::Value reply(Json::objectValue);
        reply["initalizeKey"] = own.publicKeyText();
        write(wrapped ? wrap(reply) : QByteArray::fromStdString(JsonText::writeCompact(reply)));
        const auto key = IndependentEcdh::keyOf(*secret);
        const auto iv = IndependentEcdh::ivOf(*secret);
        cipher.setLinkKeyMaterial(key.data(), iv.data());
        return peerKey;
    }

    static std::optional<Json::Value> parse(const std::string& text)
    {
        Json::Value value;
        std::string errors;
        return JsonText::parse(text, value, errors) ? std::optional<Json::Value>(value) : std::nullopt;
    }

    QByteArray& pump()
    {
        received.append(socket.readAll());
        return received;
    }

    QByteArray received;
};

} // namespace

class TestPeerLink : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

    QString scenarioFile(const QByteArray& text)
    {
        static int count = 0;
        const QString path = dir.filePath(QStringLiteral("s%1.scenario").arg(++count));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(text);
        }
        return path;
    }

    // Starts tavo_peer on a free port with a scenario and connects the scripted client.
    bool startWith(PeerProcess& peer, ScriptedClient& client, const QByteArray& scenario, QStringList args = {})
    {
        // Options given later win, so a test's own come after these.
        QStringList all{QStringLiteral("--port"), QStringLiteral("0"),         QStringLiteral("--connect-timeout"),
                        QStringLiteral("10000"),  QStringLiteral("--timeout"), QStringLiteral("3000")};
        all << args << scenarioFile(scenario);
        return peer.start(all) && client.connectTo(peer.port());
    }

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    void splitterTakesMessagesApart()
    {
        QByteArray buffer("{\"a\":1}\n{\"b\":");
        QByteArray message;
        QCOMPARE(WireSplitter::take(buffer, false, message), WireSplitter::Outcome::Message);
        QCOMPARE(message, QByteArray("{\"a\":1}\n"));
        QCOMPARE(WireSplitter::take(buffer, false, message), WireSplitter::Outcome::NeedMore);
        QCOMPARE(buffer, QByteArray("{\"b\":"));

        // The key reply and the first wrapped message in one read.
        buffer = "{\"initalizeKey\":\"x\"}\n{\"QUJD+/=\":\"\"}{\"RA==\":\"\"}{\"RQ";
        QCOMPARE(WireSplitter::take(buffer, false, message), WireSplitter::Outcome::Message);
        QCOMPARE(WireSplitter::take(buffer, true, message), WireSplitter::Outcome::Message);
        QCOMPARE(message, QByteArray("{\"QUJD+/=\":\"\"}"));
        QCOMPARE(WireSplitter::take(buffer, true, message), WireSplitter::Outcome::Message);
        QCOMPARE(message, QByteArray("{\"RA==\":\"\"}"));
        QCOMPARE(WireSplitter::take(buffer, true, message), WireSplitter::Outcome::NeedMore);
        buffer.append("\":\"");
        QCOMPARE(WireSplitter::take(buffer, true, message), WireSplitter::Outcome::NeedMore);

        for (const QByteArray& bad : {QByteArray("hello"), QByteArray("{\"QUJD\":1}"), QByteArray("{\"a b\":\"\"}"),
                                      QByteArray("{\"QUJD\":\"\"}\n")}) {
            QByteArray wrong = bad;
            if (bad.endsWith('\n')) {
                QCOMPARE(WireSplitter::take(wrong, true, message), WireSplitter::Outcome::Message);
            }
            QVERIFY2(WireSplitter::take(wrong, true, message) == WireSplitter::Outcome::Malformed, bad.constData());
        }
    }

    void passingRunPrintsBothDirections()
    {
        const QString log = dir.filePath(QStringLiteral("peer.log"));
        PeerProcess peer;
        ScriptedClient client;
        QVERIFY(startWith(peer, client,
                          "expect {\"FrameIndex\":1024}\n"
                          "send {\"FrameIndex\":4,\"Info\":{\"result\":\"x\"}}\n"
                          "send-cp949 {\"FrameIndex\":256,\"Info\":{\"result\":\"공지\"}}\n"
                          "expect-close\n",
                          {QStringLiteral("--log"), log}));
        const std::string peerKey = client.answerKeyRequest();
        QCOMPARE(peerKey.size(), size_t(88));
        QCOMPARE(peerKey.front(), 'B');

        client.write(client.wrap(frame(1024)));
        const std::optional<Json::Value> first = client.readWrapped();
        QVERIFY(first);
        QCOMPARE(JsonText::writeCompact(*first), std::string("{\"FrameIndex\":4,\"Info\":{\"result\":\"x\"}}\n"));
        const std::optional<Json::Value> second = client.readWrapped();
        QVERIFY(second);
        QCOMPARE((*second)["Info"]["result"].asString(), std::string("\xB0\xF8\xC1\xF6"));
        client.write(client.wrap(frame(4496)));
        client.socket.disconnectFromHost();

        QVERIFY(peer.finish());
        QVERIFY2(peer.exitCode() == 0, qPrintable(peer.all()));
        const QString out = peer.out();
        for (const QString& line :
             {QStringLiteral("sent plain   {\"FrameIndex\":512,\"Info\":\"") + QString::fromStdString(peerKey) + '"',
              QStringLiteral("recv plain   {\"initalizeKey\":\"") + QString::fromStdString(client.ecdh.publicKeyText()),
              QStringLiteral("recv wrapped {\"FrameIndex\":1024}"),
              QStringLiteral("sent wrapped {\"FrameIndex\":4,\"Info\":{\"result\":\"x\"}}"),
              QStringLiteral(
                  "sent wrapped {\"FrameIndex\":256,\"Info\":{\"result\":\"공지\"}}   (texts read as CP949)"),
              QStringLiteral("recv wrapped {\"FrameIndex\":4496}"), QStringLiteral("---- scenario passed")}) {
            QVERIFY2(out.contains(QRegularExpression(QStringLiteral("(^|\\n)\\d\\d:\\d\\d:\\d\\d\\.\\d{3} ") +
                                                     QRegularExpression::escape(line))),
                     qPrintable(line + QStringLiteral("\n") + out));
        }
        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()), out);
    }

    void joinedAndSplitWritesAreTakenApart()
    {
        PeerProcess peer;
        ScriptedClient client;
        QVERIFY(startWith(peer, client,
                          "expect {\"FrameIndex\":1}\nexpect {\"FrameIndex\":2}\nexpect {\"FrameIndex\":3}\n"));
        QVERIFY(!client.answerKeyRequest().empty());
        client.write(client.wrap(frame(1)) + client.wrap(frame(2)));
        const QByteArray third = client.wrap(frame(3));
        client.write(third.left(10));
        QTest::qWait(50);
        client.write(third.mid(10));
        QVERIFY(peer.finish());
        QVERIFY2(peer.exitCode() == 0, qPrintable(peer.all()));
    }

    // With a gap far longer than the check, a second write that came at once would be seen.
    void writesAreKeptApart()
    {
        PeerProcess peer;
        ScriptedClient client;
        QVERIFY(startWith(peer, client, "manual-key\nsend {\"FrameIndex\":4}\nkey-exchange\n",
                          {QStringLiteral("--send-gap"), QStringLiteral("60000")}));
        QVERIFY(client.readPlain());
        QVERIFY(!client.readPlain(300));
    }

    void mismatchShowsTheDifference()
    {
        PeerProcess peer;
        ScriptedClient client;
        QVERIFY(startWith(peer, client, "# the client must acknowledge\nexpect {\"FrameIndex\":256}\n"));
        QVERIFY(!client.answerKeyRequest().empty());
        client.write(client.wrap(frame(1024)));
        QVERIFY(peer.finish());
        QCOMPARE(peer.exitCode(), 1);
        const QString err = peer.err();
        QVERIFY2(err.contains(QStringLiteral("FAIL line 2: expect {\"FrameIndex\":256}")), qPrintable(err));
        QVERIFY2(err.contains(QStringLiteral("FAIL the client sent {\"FrameIndex\":1024}")), qPrintable(err));
        QVERIFY2(err.contains(QStringLiteral("FAIL   FrameIndex: expected 256, got 1024")), qPrintable(err));
    }

    void failures_data()
    {
        QTest::addColumn<QByteArray>("scenario");
        QTest::addColumn<QByteArray>("clientWrites");
        QTest::addColumn<int>("clientWraps"); // a message the client sends wrapped, once keyed; 0 for none
        QTest::addColumn<bool>("clientDrops");
        QTest::addColumn<QString>("message");
        QTest::newRow("silent client") << QByteArray("timeout 300\nexpect {\"FrameIndex\":8}\n") << QByteArray() << 0
                                       << false << "no message from the client within 300 ms";
        QTest::newRow("drop while expecting") << QByteArray("expect {\"FrameIndex\":8}\n") << QByteArray() << 0 << true
                                              << "the connection ended before the client sent the message";
        QTest::newRow("drop without the notice") << QByteArray("expect-close\n") << QByteArray() << 0 << true
                                                 << "ended the connection without the exit notice";
        QTest::newRow("wrong message for the notice")
            << QByteArray("expect-close\n") << QByteArray() << 256 << false << "instead of the exit notice";
        QTest::newRow("drop in a message") << QByteArray("expect {\"FrameIndex\":8}\n") << QByteArray("{\"QUJD") << 0
                                           << true << "the connection ended in the middle of a message";
        QTest::newRow("bytes that are no message") << QByteArray("expect {\"FrameIndex\":8}\n") << QByteArray("hello")
                                                   << 0 << false << "not a wrapped message";
        QTest::newRow("undecipherable") << QByteArray("expect {\"FrameIndex\":8}\n") << QByteArray("{\"QUJD\":\"\"}")
                                        << 0 << false << "does not decipher under the link key";
        QTest::newRow("message during expect-none")
            << QByteArray("expect-none 60000\n") << QByteArray() << 8 << false << "the client sent {\"FrameIndex\":8}";
        // Two messages in one read: both are seen before the scenario ends.
        QTest::newRow("message nobody expected")
            << QByteArray("expect {\"FrameIndex\":8}\n") << QByteArray() << 8 << false << "what no step expected";
    }

    void failures()
    {
        QFETCH(QByteArray, scenario);
        QFETCH(QByteArray, clientWrites);
        QFETCH(int, clientWraps);
        QFETCH(bool, clientDrops);
        QFETCH(QString, message);
        PeerProcess peer;
        ScriptedClient client;
        QVERIFY(startWith(peer, client, scenario));
        QVERIFY(!client.answerKeyRequest().empty());
        if (!clientWrites.isEmpty()) {
            client.write(clientWrites);
        }
        if (clientWraps) {
            client.write(QTest::currentDataTag() == QByteArray("message nobody expected")
                             ? client.wrap(frame(clientWraps)) + client.wrap(frame(9))
                             : client.wrap(frame(clientWraps)));
        }
        if (clientDrops) {
            client.socket.disconnectFromHost();
        }
        QVERIFY(peer.finish());
        QCOMPARE(peer.exitCode(), 1);
        QVERIFY2(peer.err().contains(message), qPrintable(peer.all()));
    }

    void badKeyReplies_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("message");
        IndependentEcdh other;
        const QByteArray good = QByteArray::fromStdString(other.publicKeyText());
        const QByteArray notOnCurve = (QByteArray(1, '\x04') + QByteArray(64, '\x01')).toBase64();
        const QByteArray notUncompressed = (QByteArray(1, '\x05') + QByteArray(64, '\x01')).toBase64();
        QTest::newRow("another member") << "{\"initalizeKey\":\"" + good + "\",\"x\":1}\n"
                                        << "only member";
        QTest::newRow("FrameIndex too") << "{\"FrameIndex\":512,\"initalizeKey\":\"" + good + "\"}\n"
                                        << "only member";
        QTest::newRow("not a text") << QByteArray("{\"initalizeKey\":5}\n") << "must be a text";
        QTest::newRow("87 characters") << "{\"initalizeKey\":\"" + good.left(87) + "\"}\n"
                                       << "87 characters, not 88";
        QTest::newRow("not uncompressed") << "{\"initalizeKey\":\"" + notUncompressed + "\"}\n"
                                          << "not an uncompressed point";
        QTest::newRow("not on the curve") << "{\"initalizeKey\":\"" + notOnCurve + "\"}\n"
                                          << "not a point of P-256";
        QTest::newRow("not JSON") << QByteArray("initalizeKey\n") << "not JSON";
        const LinkCipher unkeyed;
        QTest::newRow("wrapped, not plain") << wrap(unkeyed, frame(1)) << "no key reply from the client within 500 ms";
    }

    void badKeyReplies()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, message);
        PeerProcess peer;
        ScriptedClient client;
        QVERIFY(
            startWith(peer, client, "send {\"FrameIndex\":4}\n", {QStringLiteral("--timeout"), QStringLiteral("500")}));
        QVERIFY(client.readPlain());
        client.write(reply);
        QVERIFY(peer.finish());
        QCOMPARE(peer.exitCode(), 1);
        QVERIFY2(peer.err().contains(message), qPrintable(peer.all()));
        QVERIFY(!peer.out().contains(QStringLiteral("sent wrapped")));
    }

    void laterKeyExchangeSwitchesAfterTheReply()
    {
        PeerProcess peer;
        ScriptedClient client;
        QVERIFY(startWith(peer, client,
                          "send {\"FrameIndex\":4}\n"
                          "expect {\"FrameIndex\":256}\n"
                          "key-exchange\n"
                          "send {\"FrameIndex\":6}\n"
                          "expect {\"FrameIndex\":1024}\n"
                          "expect-close\n"));
        const std::string firstKey = client.answerKeyRequest();
        QVERIFY(!firstKey.empty());
        const std::optional<Json::Value> before = client.readWrapped();
        QVERIFY(before);
        QCOMPARE((*before)["FrameIndex"].asInt(), 4);
        client.write(client.wrap(frame(256)));

        IndependentEcdh fresh;
        const std::string secondKey = client.answerLaterKeyRequest(fresh);
        QVERIFY2(!secondKey.empty(), qPrintable(peer.all()));
        QVERIFY(secondKey != firstKey);
        // Only a peer that switched after the reply is understood from here on, both ways.
        const std::optional<Json::Value> after = client.readWrapped();
        QVERIFY2(after, qPrintable(peer.all()));
        QCOMPARE((*after)["FrameIndex"].asInt(), 6);
        client.write(client.wrap(frame(1024)));
        client.write(client.wrap(frame(4496)));
        client.socket.disconnectFromHost();

        QVERIFY(peer.finish());
        QVERIFY2(peer.exitCode() == 0, qPrintable(peer.all()));
        const QString out = peer.out();
        QVERIFY2(out.contains(QStringLiteral("sent wrapped {\"FrameIndex\":512,\"Info\":\"") +
                              QString::fromStdString(secondKey)),
                 qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("recv wrapped {\"initalizeKey\":\"") +
                              QString::fromStdString(fresh.publicKeyText())),
                 qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("---- new key agreed")), qPrintable(out));
    }

    void noClient()
    {
        PeerProcess peer;
        QVERIFY(peer.start({QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--connect-timeout"),
                            QStringLiteral("300"), scenarioFile("send {}\n")}));
        QVERIFY(peer.finish(10000));
        QCOMPARE(peer.exitCode(), 3);
        QVERIFY2(peer.err().contains(QStringLiteral("no client connected within 300 ms")), qPrintable(peer.all()));
    }

    void badCommandLines_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        const QString bad = scenarioFile("send {}\nsend {\"FrameIndex\":4\n");
        QTest::newRow("bad scenario line") << QStringList{bad} << bad + QStringLiteral(":2: not JSON");
        QTest::newRow("missing file") << QStringList{dir.filePath(QStringLiteral("none"))} << "cannot read";
        QTest::newRow("nothing to run") << QStringList{} << "give one scenario file, or --console";
        QTest::newRow("both") << QStringList{QStringLiteral("--console"), bad} << "give one scenario file";
        QTest::newRow("bad port") << QStringList{QStringLiteral("--port"), QStringLiteral("x"), bad}
                                  << "--port needs a port number";
        QTest::newRow("bad timeout") << QStringList{QStringLiteral("--timeout"), QStringLiteral("-1"), bad}
                                     << "--timeout needs a number";
        QTest::newRow("demo and a scenario") << QStringList{QStringLiteral("--demo"), bad} << "or --demo";
        QTest::newRow("unknown option") << QStringList{QStringLiteral("--dmeo")} << "Unknown option";
    }

    // Reported before listening, so no client is ever kept waiting for a run that cannot start.
    void badCommandLines()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        PeerProcess peer;
        QVERIFY(!peer.start(args));
        QVERIFY(peer.finish(10000));
        QCOMPARE(peer.exitCode(), 2);
        QVERIFY2(peer.err().contains(message), qPrintable(peer.all()));
        QVERIFY(!peer.out().contains(QStringLiteral("listening")));
    }

    void consoleSendsEachLine()
    {
        PeerProcess peer;
        ScriptedClient client;
        QVERIFY(peer.start({QStringLiteral("--console"), QStringLiteral("--port"), QStringLiteral("0")}));
        QVERIFY(client.connectTo(peer.port()));
        QVERIFY(!client.answerKeyRequest().empty());
        peer.process.write("{\"FrameIndex\":4}\n"
                           "bogus line\n"
                           "send-cp949 {\"FrameIndex\":256,\"Info\":{\"result\":\"공지\"}}\n");
        peer.process.closeWriteChannel();
        const std::optional<Json::Value> first = client.readWrapped();
        QVERIFY(first);
        QCOMPARE((*first)["FrameIndex"].asInt(), 4);
        const std::optional<Json::Value> second = client.readWrapped();
        QVERIFY(second);
        QCOMPARE((*second)["Info"]["result"].asString(), std::string("\xB0\xF8\xC1\xF6"));
        client.write(client.wrap(frame(256)));
        // At the end of its input it waits for answers, then closes the link itself.
        QVERIFY(QTest::qWaitFor([&] { return client.socket.state() == QAbstractSocket::UnconnectedState; }, 10000));
        QVERIFY(peer.finish());
        QCOMPARE(peer.exitCode(), 0);
        QVERIFY2(peer.err().contains(QStringLiteral("input line 2: unknown step \"bogus\"")), qPrintable(peer.all()));
        QVERIFY(peer.out().contains(QStringLiteral("recv wrapped {\"FrameIndex\":256}")));
    }

    void consoleReportsAClientThatDrops()
    {
        PeerProcess peer;
        ScriptedClient client;
        QVERIFY(peer.start({QStringLiteral("--console"), QStringLiteral("--port"), QStringLiteral("0")}));
        QVERIFY(client.connectTo(peer.port()));
        QVERIFY(!client.answerKeyRequest().empty());
        client.socket.disconnectFromHost();
        QVERIFY(peer.finish());
        QCOMPARE(peer.exitCode(), 1);
        QVERIFY2(peer.err().contains(QStringLiteral("without the exit notice")), qPrintable(peer.all()));
    }
};

QTEST_GUILESS_MAIN(TestPeerLink)
#include "TestPeerLink.moc"
