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

    std::unique_ptr<QProcess> startClient(const QStringList& args) { return startClient(x, args); }

    std::unique_ptr<QProcess> startClient(const XServer& display, const QStringList& args)
    {
        auto client = std::make_unique<QProcess>();
        client->setProcessEnvironment(display.environment());
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
    QByteArray windowId() { return windowId(x); }

    static QByteArray windowId(const XServer& display)
    {
        const QByteArray found =
            display.xdotool({QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                       QStringLiteral("--name"), QStringLiteral("Nimbara Workspace")});
        return found.trimmed().split('\n').value(0);
    }

    QSize windowSize(const QByteArray& id) { return windowSize(x, id); }

    static QSize windowSize(const XServer& display, const QByteArray& id)
    {
        const QByteArray shell =
            display.xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), QString::fromLatin1(id)});
        const QRegularExpression w(QStringLiteral("WIDTH=(\\d+)")), h(QStringLiteral("HEIGHT=(\\d+)"));
        const QString text = QString::fromLatin1(shell);
        return QSize(w.match(text).captured(1).toInt(), h.match(text).captured(1).toInt());
    }

    // A left click at a point of the window, in device pixels, as a user's pointer makes it.
    static bool click(const XServer& display, const QByteArray& id, const QPoint& at)
    {
        return !display
                    .xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), QString::fromLatin1(id),
                              QString::number(at.x()), QString::number(at.y()), QStringLiteral("click"),
                              QStringLiteral("1")})
                    .isNull();
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

    // Full screen on the screens people own: the window covers the screen, a notice's OK button
    // and the close button are where a user looks for them, and both answer a click.
    void fullScreenOnEveryScreen_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QPoint>("ok");
        QTest::addColumn<QPoint>("close");
        // OK: the panel's place about the centre plus the button's centre (195, 265) in it;
        // close: 18 pixels from the right edge, 20 from the top, plus half the button.
        const auto row = [](int w, int h) {
            QTest::addRow("%dx%d", w, h) << QSize(w, h) << QPoint(w / 2, std::max(0, h / 2 - 170) + 265)
                                         << QPoint(w - 18 - 37 / 2, 20 + 37 / 2);
        };
        row(1024, 600);
        row(1366, 768);
        row(1920, 1080);
        row(2560, 1440);
        row(3840, 2160);
    }

    void fullScreenOnEveryScreen()
    {
        QFETCH(QSize, screen);
        QFETCH(QPoint, ok);
        QFETCH(QPoint, close);
        XServer display;
        QVERIFY(display.start(screen));
        auto client = startClient(display, {QStringLiteral("full")});
        QVERIFY(client->waitForStarted(5000));
        QVERIFY(peer.waitForClient(20000));
        const QByteArray id = windowId(display);
        QVERIFY(!id.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(windowSize(display, id), screen, 10000);

        peer.send(LinkMessages::notice(256, "Check"), false);
        QVERIFY(!display
                     .xdotool({QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                               QStringLiteral("--name"), QStringLiteral("NotificationBox")})
                     .isEmpty());
        QVERIFY(click(display, id, ok));
        QVERIFY(peer.waitForBytes(19, 10000));
        QCOMPARE(peer.bytes(), QByteArray("{\"FrameIndex\":256}\n"));

        peer.clear();
        QVERIFY(click(display, id, close));
        QVERIFY(peer.waitForBytes(20, 10000));
        QCOMPARE(peer.bytes(), QByteArray("{\"FrameIndex\":4496}\n"));
        QVERIFY(ended(*client));
        QCOMPARE(client->exitCode(), 0);
    }

    // At 150 % and 200 % the 900 x 600 window is 1350 x 900 and 1800 x 1200 device pixels, and a
    // click on the close button's scaled place reaches it.
    void scaledWindow_data()
    {
        QTest::addColumn<int>("dpi");
        QTest::addColumn<double>("scale");
        QTest::newRow("150 %") << 144 << 1.5;
        QTest::newRow("200 %") << 192 << 2.0;
    }

    void scaledWindow()
    {
        QFETCH(int, dpi);
        QFETCH(double, scale);
        XServer display;
        QVERIFY(display.start(QSize(2560, 1600), dpi));
        auto client = startClient(display, {});
        QVERIFY(client->waitForStarted(5000));
        QVERIFY(peer.waitForClient(20000));
        const QByteArray id = windowId(display);
        QVERIFY(!id.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(windowSize(display, id), QSize(900, 600) * scale, 10000);
        QVERIFY(click(display, id, QPoint(863, 38) * scale));
        QVERIFY(peer.waitForBytes(20, 10000));
        QCOMPARE(peer.bytes(), QByteArray("{\"FrameIndex\":4496}\n"));
        QVERIFY(ended(*client));
        QCOMPARE(client->exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "TestEndToEnd.moc"
