// The real TAVO_DSK binary on a private X display against a loopback peer: the first log line,
// the window's size in both modes, and the exit notice when a user clicks the close button.
#include "TestPeer.h"
#include "XServer.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestEndToEnd : public QObject
{
    Q_OBJECT

private:
    TestPeer peer;
    XServer x;
    QTemporaryDir workDir;

    std::unique_ptr<QProcess> startClient(const QStringList& args)
    {
        auto client = std::make_unique<QProcess>();
        client->setProcessEnvironment(x.environment());
        client->setWorkingDirectory(workDir.path());
        client->setProcessChannelMode(QProcess::ForwardedChannels);
        client->start(QStringLiteral(TAVO_DSK_PATH), args);
        return client;
    }

    // waitForFinished() reports false for a process that has already ended.
    static bool ended(QProcess& p, int ms = 10000)
    {
        return p.state() == QProcess::NotRunning || p.waitForFinished(ms);
    }

    // The client's window id once it is mapped.
    QByteArray windowId()
    {
        const QByteArray found =
            x.xdotool({QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                       QStringLiteral("--name"), QStringLiteral("Nimbara Workspace")});
        return found.trimmed().split('\n').value(0);
    }

    QSize windowSize(const QByteArray& id)
    {
        const QByteArray shell =
            x.xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), QString::fromLatin1(id)});
        const QRegularExpression w(QStringLiteral("WIDTH=(\\d+)")), h(QStringLiteral("HEIGHT=(\\d+)"));
        const QString text = QString::fromLatin1(shell);
        return QSize(w.match(text).captured(1).toInt(), h.match(text).captured(1).toInt());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(workDir.isValid());
        QVERIFY2(x.start(), "Xvfb did not start (./tavo deps installs it)");
        QVERIFY(peer.listen());
    }

    void windowedRunAndCloseButton()
    {
        auto client = startClient({});
        QVERIFY(client->waitForStarted(5000));
        QVERIFY(peer.waitForClient(20000));

        const QStringList logs = QDir(workDir.filePath(QStringLiteral("logs")))
                                     .entryList({QStringLiteral("TAVO GUI LOG *.txt")}, QDir::Files);
        QCOMPARE(logs.size(), 1);
        QFile log(workDir.filePath(QStringLiteral("logs/")) + logs.first());
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString first = QString::fromUtf8(log.readLine()).trimmed();
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} \\[INFO\\] "
                                                   "\\[@0\\] GUI Run$"))
                     .match(first)
                     .hasMatch(),
                 qPrintable(first));

        const QByteArray id = windowId();
        QVERIFY(!id.isEmpty());
        QCOMPARE(windowSize(id), QSize(900, 600));

        // Click the close cross (845, 20, 37 x 37) like a user.
        QVERIFY(!x.xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), QString::fromLatin1(id),
                            QStringLiteral("863"), QStringLiteral("38"), QStringLiteral("click"), QStringLiteral("1")})
                     .isNull());
        QVERIFY(peer.waitForBytes(20, 10000));
        QCOMPARE(peer.bytes(), QByteArray("{\"FrameIndex\":4496}\n"));
        QVERIFY(ended(*client));
        QCOMPARE(client->exitStatus(), QProcess::NormalExit);
        QCOMPARE(client->exitCode(), 0);
    }

    void fullScreenRunEndsWithTheLink()
    {
        auto client = startClient({QStringLiteral("anything")});
        QVERIFY(client->waitForStarted(5000));
        QVERIFY(peer.waitForClient(20000));
        const QByteArray id = windowId();
        QVERIFY(!id.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(windowSize(id), QSize(1920, 1080), 10000);
        // The main program goes away: the client closes without a notice and exits cleanly.
        peer.disconnectClient();
        QVERIFY(ended(*client));
        QCOMPARE(client->exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "TestEndToEnd.moc"
