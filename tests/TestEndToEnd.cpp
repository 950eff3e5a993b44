// The real TAVO_DSK binary on a private X display against a loopback peer: the first log line,
// the window's size in both modes and on every screen, the exit notice however the program
// ends, and floods of messages that must neither crash it nor let it grow without bound.
#include "TestPeer.h"
#include "XServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

namespace {

// How long a started client may take to connect. It takes a fraction of a second alone; with
// ctest -j running other clients and X servers beside it, it has been seen to take far longer.
constexpr int kClientStartMs = 60000;

// Resident memory of a process in KiB, from /proc; 0 when it cannot be read.
qint64 residentKb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QRegularExpression vmRss(QStringLiteral("^VmRSS:\\s+(\\d+) kB"), QRegularExpression::MultilineOption);
    return vmRss.match(QString::fromLatin1(status.readAll())).captured(1).toLongLong();
}

Json::Value noticeOf(int n, const char* text)
{
    Json::Value message(Json::objectValue);
    message["FrameIndex"] = n;
    message["Info"]["result"] = text;
    return message;
}

} // namespace

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

    static int visibleBoxes(const XServer& display)
    {
        const QByteArray found = display.xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                            QStringLiteral("--name"), QStringLiteral("^NotificationBox$")});
        return found.trimmed().isEmpty() ? 0 : found.trimmed().split('\n').size();
    }

    // The box on show, once it is mapped.
    static QByteArray waitForBox(const XServer& display)
    {
        return display.xdotool({QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                          QStringLiteral("--name"), QStringLiteral("^NotificationBox$")})
            .trimmed()
            .split('\n')
            .value(0);
    }

    // Dismisses the box on show with a click on its OK button, as a user does.
    static bool dismissBox(const XServer& display)
    {
        const QByteArray box = waitForBox(display);
        return !box.isEmpty() && click(display, box, QPoint(450, 395));
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
        QVERIFY(peer.waitForClient(kClientStartMs));

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
        QVERIFY(peer.waitForClient(kClientStartMs));
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
        QVERIFY(peer.waitForClient(kClientStartMs));
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
        QVERIFY(peer.waitForClient(kClientStartMs));
        const QByteArray id = windowId(display);
        QVERIFY(!id.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(windowSize(display, id), QSize(900, 600) * scale, 10000);
        QVERIFY(click(display, id, QPoint(863, 38) * scale));
        QVERIFY(peer.waitForBytes(20, 10000));
        QCOMPARE(peer.bytes(), QByteArray("{\"FrameIndex\":4496}\n"));
        QVERIFY(ended(*client));
        QCOMPARE(client->exitCode(), 0);
    }

    // A desktop's Xft.dpi wins over the screen's own DPI, as it does for Qt's own fonts and sizes.
    void scaledByXftDpi()
    {
        XServer display;
        QVERIFY(display.start(QSize(2560, 1600), 96, true));
        QVERIFY(display.setResources("Xft.dpi:\t144\n"));
        auto client = startClient(display, {});
        QVERIFY(client->waitForStarted(5000));
        QVERIFY(peer.waitForClient(kClientStartMs));
        const QByteArray id = windowId(display);
        QVERIFY(!id.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(windowSize(display, id), QSize(1350, 900), 10000);
        QVERIFY(click(display, id, QPoint(1294, 57)));
        QVERIFY(peer.waitForBytes(20, 10000));
        QCOMPARE(peer.bytes(), QByteArray("{\"FrameIndex\":4496}\n"));
        QVERIFY(ended(*client));
        QCOMPARE(client->exitCode(), 0);
    }

    // A terminating signal ends the program the normal way: the exit notice leaves, once, and
    // the program exits with status 0, also while a box waits for the user.
    void signalsAnnounceTheEnd_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<bool>("boxOpen");
        QTest::newRow("SIGTERM") << int(SIGTERM) << false;
        QTest::newRow("SIGTERM, a box open") << int(SIGTERM) << true;
        QTest::newRow("SIGINT") << int(SIGINT) << false;
        QTest::newRow("SIGHUP, a box open") << int(SIGHUP) << true;
    }

    void signalsAnnounceTheEnd()
    {
        QFETCH(int, signalNumber);
        QFETCH(bool, boxOpen);
        // A display of its own: one a client left with a box open is not shared with the next.
        XServer display;
        QVERIFY(display.start());
        auto client = startClient(display, {});
        QVERIFY(client->waitForStarted(5000));
        QVERIFY(peer.waitForClient(kClientStartMs));
        QVERIFY(!windowId(display).isEmpty());
        if (boxOpen) {
            peer.send(noticeOf(256, "wait"), false);
            QVERIFY(!waitForBox(display).isEmpty());
            peer.send(noticeOf(256, "and wait"), false);
            QTest::qWait(300);
            peer.clear();
        }
        ::kill(static_cast<pid_t>(client->processId()), signalNumber);
        QVERIFY(ended(*client));
        QCOMPARE(client->exitStatus(), QProcess::NormalExit);
        QCOMPARE(client->exitCode(), 0);
        QTRY_COMPARE(peer.bytes(), QByteArray("{\"FrameIndex\":4496}\n"));
    }

    // Floods of what a box answers: the program neither crashes nor grows without bound, one
    // box is open at a time, each dismissal answers exactly once, and one close sends one
    // exit notice.
    void floodsStayBounded_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("acknowledged");
        QTest::newRow("undecipherable") << 0 << false;
        QTest::newRow("notices 256") << 256 << true;
        QTest::newRow("update notices 1024") << 1024 << true;
        QTest::newRow("texts for the sign-in screen") << 96 << false;
    }

    void floodsStayBounded()
    {
        QFETCH(int, kind);
        QFETCH(bool, acknowledged);
#if defined(TAVO_SANITIZED)
        // A sanitizer build reads each message many times slower; the flood is cut to size.
        constexpr int kMessages = 2000;
#else
        constexpr int kMessages = 10000;
#endif
        XServer display;
        QVERIFY(display.start());
        auto client = startClient(display, {});
        QVERIFY(client->waitForStarted(5000));
        QVERIFY(peer.waitForClient(kClientStartMs));
        QVERIFY(!windowId(display).isEmpty());
        QVERIFY(peer.exchangeKey(false, 10000));
        if (kind == 96) {
            Json::Value signIn(Json::objectValue);
            signIn["FrameIndex"] = 1;
            peer.send(signIn, true);
        }
        QTest::qWait(500);
        const qint64 pid = client->processId();
        const qint64 idleKb = residentKb(pid);
        QVERIFY(idleKb > 0);

        qint64 peakKb = idleKb;
        for (int i = 0; i < kMessages; ++i) {
            if (kind == 0) {
                peer.sendRaw("{}");
            } else {
                peer.send(kind == 1024 ? noticeOf(1024, "") : noticeOf(kind, "flood"), true);
            }
            if (i % 100 == 99) {
                QTest::qWait(5);
                peakKb = std::max(peakKb, residentKb(pid));
                QVERIFY2(client->state() == QProcess::Running, "the client ended under the flood");
            }
        }
        for (int i = 0; i < 20; ++i) {
            QTest::qWait(100);
            peakKb = std::max(peakKb, residentKb(pid));
        }
        QCOMPARE(client->state(), QProcess::Running);
        QCOMPARE(visibleBoxes(display), 1);
#if !defined(TAVO_SANITIZED)
        // The allocator of a sanitizer build keeps freed memory back on purpose.
        QVERIFY2(peakKb - idleKb < 64 * 1024,
                 qPrintable(QStringLiteral("grew from %1 to %2 KiB").arg(idleKb).arg(peakKb)));
#endif
        QVERIFY(peer.messages(true).empty());

        if (acknowledged) {
            for (int answered = 1; answered <= 3; ++answered) {
                QVERIFY(dismissBox(display));
                QVERIFY(peer.waitForMessages(static_cast<size_t>(answered), true, 10000));
                QTest::qWait(200);
                const std::vector<Json::Value> acks = peer.messages(true);
                QCOMPARE(acks.size(), static_cast<size_t>(answered));
                QCOMPARE(acks.back()["FrameIndex"].asInt(), kind);
                QCOMPARE(visibleBoxes(display), 1);
            }
        }
        peer.clear();
        // The close button lies under the open box's veil: the program is ended by a signal.
        ::kill(static_cast<pid_t>(pid), SIGTERM);
        QVERIFY(ended(*client, 20000));
        QCOMPARE(client->exitCode(), 0);
        QTRY_VERIFY2(!peer.messages(true).empty(), peer.bytes().left(200).constData());
        const std::vector<Json::Value> last = peer.messages(true);
        QCOMPARE(last.size(), size_t(1));
        QVERIFY(MainSide::isExitNotice(last.front()));
    }
};

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "TestEndToEnd.moc"
