// The real TAVO_DSK (offscreen, in a working directory of its own) against the real tavo_peer
// running the scenario files of tests/scenarios/: what tavo_peer saw on the wire, what the
// client's log says it received, and that both end cleanly.
#include "PeerProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

#include <memory>

namespace {

struct Run
{
    int peerExit = -1;
    int clientExit = -1;
    QString transcript;
    QString clientLog;
    QString everything; // for a failing check's message
};

// The messages the client logged as received ("recv root : <compact JSON>"), in order.
QStringList receivedByClient(const QString& log)
{
    static const QRegularExpression line(QStringLiteral("\\] recv root : (.*)$"), QRegularExpression::MultilineOption);
    QStringList out;
    auto it = line.globalMatch(log);
    while (it.hasNext()) {
        out << it.next().captured(1);
    }
    return out;
}

} // namespace

class TestPeerEndToEnd : public QObject
{
    Q_OBJECT

private:
    Run run(const QString& scenarioName)
    {
        Run result;
        QTemporaryDir work;
        if (!work.isValid()) {
            return result;
        }
        const QStringList args{QStringLiteral("--connect-timeout"), QStringLiteral("20000"),
                               QStringLiteral(TAVO_SCENARIO_DIR "/") + scenarioName};
        // The link's port is fixed; another test run on this machine may hold it for a while.
        std::unique_ptr<PeerProcess> peer;
        const QDeadlineTimer portDeadline(60000);
        while (true) {
            peer = std::make_unique<PeerProcess>();
            if (peer->start(args)) {
                break;
            }
            peer->finish(5000);
            if (!peer->err().contains(QStringLiteral("cannot listen")) || portDeadline.hasExpired()) {
                result.everything = peer->all();
                return result;
            }
            QTest::qWait(500);
        }

        QProcess client;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        client.setProcessEnvironment(environment);
        client.setWorkingDirectory(work.path());
        client.setProcessChannelMode(QProcess::MergedChannels);
        // TAVO_TEST_CLIENT, when set, starts another build of the client: the Windows one under Wine.
        QStringList command = QProcess::splitCommand(qEnvironmentVariable("TAVO_TEST_CLIENT"));
        const QString program = command.isEmpty() ? QStringLiteral(TAVO_DSK_PATH) : command.takeFirst();
        client.start(program, command);

        peer->finish(90000);
        if (!client.waitForFinished(15000)) {
            client.kill();
            client.waitForFinished(5000);
        }
        result.peerExit = peer->exitCode();
        result.clientExit = client.exitStatus() == QProcess::NormalExit ? client.exitCode() : -1;
        result.transcript = peer->out();

        const QDir logs(work.filePath(QStringLiteral("logs")));
        const QStringList files = logs.entryList({QStringLiteral("TAVO GUI LOG *.txt")}, QDir::Files);
        QFile log(logs.filePath(files.value(0)));
        if (files.size() == 1 && log.open(QIODevice::ReadOnly)) {
            // Lines end in CR LF on Windows; the log handler's own test checks that.
            result.clientLog = QString::fromUtf8(log.readAll()).remove(QLatin1Char('\r'));
        }
        result.everything = peer->all() + QStringLiteral("\n--- client ---\n") +
                            QString::fromLocal8Bit(client.readAll()) + QStringLiteral("\n--- client log ---\n") +
                            result.clientLog;
        return result;
    }

    static bool bothEndedWell(const Run& r) { return r.peerExit == 0 && r.clientExit == 0; }

    // The client's first message is always the key request, with tavo_peer's own key.
    static bool startsWithKeyRequest(const QStringList& received)
    {
        return !received.isEmpty() &&
               QRegularExpression(QStringLiteral("^\\{\"FrameIndex\":512,\"Info\":\"B[A-Za-z0-9+/]{86}=\"\\}$"))
                   .match(received.first())
                   .hasMatch();
    }

private slots:
    void keyExchange()
    {
        const Run r = run(QStringLiteral("key-exchange.scenario"));
        QVERIFY2(bothEndedWell(r), qPrintable(r.everything));
        QVERIFY2(r.transcript.contains(QRegularExpression(
                     QStringLiteral("recv plain   \\{\"initalizeKey\":\"B[A-Za-z0-9+/]{86}=\"\\}\\n.*key agreed"))),
                 qPrintable(r.transcript));
        const QStringList received = receivedByClient(r.clientLog);
        QVERIFY2(startsWithKeyRequest(received), qPrintable(r.everything));
        // Deciphered by the client under the key both ends agreed.
        QCOMPARE(received.mid(1), QStringList{QStringLiteral("{\"FrameIndex\":4}")});
    }

    void wrappedBothWays()
    {
        const Run r = run(QStringLiteral("wrapped-both-ways.scenario"));
        QVERIFY2(bothEndedWell(r), qPrintable(r.everything));
        QVERIFY2(r.transcript.contains(QStringLiteral("recv wrapped {\"initalizeKey\":\"")), qPrintable(r.transcript));
        const QStringList received = receivedByClient(r.clientLog);
        QVERIFY2(startsWithKeyRequest(received), qPrintable(r.everything));
        QCOMPARE(received.mid(1), QStringList({QStringLiteral("{\"FrameIndex\":4}"),
                                               QStringLiteral("{\"FrameIndex\":512,\"Info\":\"not-a-key\"}"),
                                               QStringLiteral("{\"FrameIndex\":6}")}));
    }

    void noticesWaitForTheUser()
    {
        const Run r = run(QStringLiteral("notices.scenario"));
        QVERIFY2(bothEndedWell(r), qPrintable(r.everything));
        const QStringList received = receivedByClient(r.clientLog);
        QCOMPARE(received.size(), 5);
        QVERIFY2(received[1].startsWith(QStringLiteral("{\"FrameIndex\":256,\"Info\":{\"result\":\"")),
                 qPrintable(received[1]));
        // The log writes each byte of a received text as one character.
        QCOMPARE(QTextCodec::codecForName("CP949")->toUnicode(received[1].toLatin1()),
                 QString::fromUtf8("{\"FrameIndex\":256,\"Info\":{\"result\":\"공지 사항입니다.\"}}"));
        QCOMPARE(received[2], QStringLiteral("{\"FrameIndex\":1024}"));
        QCOMPARE(received[3], QStringLiteral("{\"FrameIndex\":512,\"Info\":\"not-a-key\"}"));
        QCOMPARE(QTextCodec::codecForName("CP949")->toUnicode(received[4].toLatin1()),
                 QString::fromUtf8("{\"FrameIndex\":16,\"Info\":{\"result\":\"프로그램을 종료합니다.\"}}"));
        QCOMPARE(r.clientLog.count(QStringLiteral("Message ignored, the program is closing")), 1);
        QCOMPARE(r.transcript.count(QStringLiteral("recv wrapped {\"initalizeKey\":\"")), 1);
    }

    void numbersWithoutAScreen()
    {
        const Run r = run(QStringLiteral("no-screen.scenario"));
        QVERIFY2(bothEndedWell(r), qPrintable(r.everything));
        QCOMPARE(receivedByClient(r.clientLog).mid(1),
                 QStringList({QStringLiteral("{\"FrameIndex\":0}"), QStringLiteral("{\"FrameIndex\":4}"),
                              QStringLiteral("{\"FrameIndex\":6}"), QStringLiteral("{\"FrameIndex\":128}"),
                              QStringLiteral("{\"FrameIndex\":2048}"),
                              QStringLiteral("{\"Info\":{\"result\":\"no number\"}}"),
                              QStringLiteral("{\"FrameIndex\":512,\"Info\":\"not-a-key\"}")}));
    }

    void badInputsLeaveTheLinkUsable()
    {
        const Run r = run(QStringLiteral("bad-inputs.scenario"));
        QVERIFY2(bothEndedWell(r), qPrintable(r.everything));
        QCOMPARE(r.transcript.count(QStringLiteral("recv wrapped {\"initalizeKey\":\"")), 11);
        QCOMPARE(r.clientLog.count(QStringLiteral("Message ignored: \"FrameIndex\" is not a 32-bit integer")), 6);
        QCOMPARE(r.clientLog.count(QStringLiteral("Key initialisation ignored")), 2);
        QCOMPARE(r.clientLog.count(QStringLiteral("Notice ignored")), 3);
        QCOMPARE(r.clientLog.count(QStringLiteral("] Failed to parse Json : ")), 1);
        QCOMPARE(r.clientLog.count(QStringLiteral("Message ignored, the program is closing")), 3);
    }

    void plainBeforeTheKey()
    {
        const Run r = run(QStringLiteral("plain-start.scenario"));
        QVERIFY2(bothEndedWell(r), qPrintable(r.everything));
        QVERIFY(r.transcript.contains(QStringLiteral("sent raw     this is not JSON\\n")));
        QVERIFY(r.transcript.contains(QStringLiteral("sent plain   {\"FrameIndex\":4}")));
        QVERIFY(r.transcript.contains(QStringLiteral("sent wrapped {\"FrameIndex\":6}")));
        const QStringList received = receivedByClient(r.clientLog);
        QCOMPARE(received.size(), 5);
        QCOMPARE(received.mid(0, 3), QStringList({QStringLiteral("null"), QStringLiteral("{\"FrameIndex\":\"x\"}"),
                                                  QStringLiteral("{\"FrameIndex\":4}")}));
        QCOMPARE(received[4], QStringLiteral("{\"FrameIndex\":6}"));
    }

    void screenAnswersWrapped()
    {
        const Run r = run(QStringLiteral("integrity-update.scenario"));
        QVERIFY2(bothEndedWell(r), qPrintable(r.everything));
        QCOMPARE(r.transcript.count(QStringLiteral("recv wrapped {\"FrameIndex\":8}")), 2);
    }

    void clientClosesWithTheExitNotice()
    {
        const Run r = run(QStringLiteral("progress-closes.scenario"));
        QVERIFY2(bothEndedWell(r), qPrintable(r.everything));
        QVERIFY2(r.transcript.contains(QStringLiteral("recv wrapped {\"FrameIndex\":4496}\n")),
                 qPrintable(r.transcript));
        QVERIFY(r.transcript.contains(QStringLiteral("---- the client ended the connection")));
    }

    // Needs a client that answers a later key request under the key in force when it came.
    void laterKeyExchangeRekeysBothEnds()
    {
        const Run r = run(QStringLiteral("rekey.scenario"));
        QVERIFY2(bothEndedWell(r), qPrintable(r.everything));
        QVERIFY2(r.transcript.contains(QStringLiteral("recv wrapped {\"initalizeKey\":\"")), qPrintable(r.transcript));
        QVERIFY2(r.transcript.contains(QStringLiteral("---- new key agreed")), qPrintable(r.transcript));
        const QStringList received = receivedByClient(r.clientLog);
        QVERIFY2(startsWithKeyRequest(received), qPrintable(r.everything));
        QCOMPARE(received.size(), 6);
        QVERIFY2(received[2].startsWith(QStringLiteral("{\"FrameIndex\":512,\"Info\":\"B")), qPrintable(received[2]));
        QCOMPARE(received[3], QStringLiteral("{\"FrameIndex\":64,\"Info\":{\"Update\":true}}"));
    }

    void refusedFirstKeyLeavesBothEndsOnZeroKeys()
    {
        const Run r = run(QStringLiteral("refused-first-key.scenario"));
        QVERIFY2(bothEndedWell(r), qPrintable(r.everything));
        QVERIFY(r.transcript.contains(QStringLiteral("recv plain   {\"initalizeKey\":\"")));
        QVERIFY(r.transcript.contains(QStringLiteral("recv wrapped {\"initalizeKey\":\"")));
        QCOMPARE(
            receivedByClient(r.clientLog),
            QStringList({QStringLiteral("{\"FrameIndex\":512,\"Info\":\"AAAA\"}"), QStringLiteral("{\"FrameIndex\":4}"),
                         QStringLiteral("{\"FrameIndex\":512,\"Info\":\"still-not-a-key\"}"),
                         QStringLiteral("{\"FrameIndex\":6}")}));
    }
};

QTEST_GUILESS_MAIN(TestPeerEndToEnd)
#include "TestPeerEndToEnd.moc"
