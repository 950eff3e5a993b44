// The main window against a real QTcpServer playing the main program: its widgets, dragging,
// the exit notice when it closes, and the boxes and screens that incoming messages bring. The
// session's own bytes, keys and bad input are TestLinkSession's.
#include "FocusMark.h"
#include "FrameManager.h"
#include "LinkSession.h"
#include "LocalText.h"
#include "NotificationBox.h"
#include "NotificationQueue.h"
#include "StartUp.h"
#include "TAVO_DSK_GUI.h"
#include "TestPeer.h"
#include "TestScreen.h"

#include <QAccessible>
#include <QApplication>
#include <QFrame>
#include <QMouseEvent>
#include <QPushButton>
#include <QtTest>

#include <memory>

namespace {

using LinkMessages::frameIndex;
using LinkMessages::notice;

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private:
    TestPeer peer;
    std::unique_ptr<LinkSession> session;
    std::unique_ptr<TAVO_DSK_GUI> window;
    QStringList boxTexts;
    // What is done with each box once it has opened; pressing its OK is the default.
    std::function<void(NotificationBox*)> answer;

    // The window on a link of its own to `port`; every box it opens is recorded and answered.
    void makeWindow(quint16 port, bool fullScreen = false)
    {
        session = std::make_unique<LinkSession>(QHostAddress(QHostAddress::LocalHost), port);
        window = std::make_unique<TAVO_DSK_GUI>(nullptr, fullScreen, *session);
        connect(window->notifications(), &NotificationQueue::opened, this, [this](NotificationBox* box) {
            boxTexts << box->text();
            // As a user would: once the box is on show, not inside the call that opened it.
            QTimer::singleShot(0, box, [this, box] {
                if (answer) {
                    answer(box);
                } else {
                    pressOk(box);
                }
            });
        });
    }

    void openWindow(bool fullScreen = false)
    {
        makeWindow(peer.port(), fullScreen);
        window->frameManager()->registerScreen<TestScreen>(1);
        window->setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        window->show();
        QVERIFY(peer.waitForClient());
        QTRY_COMPARE(session->socket()->state(), QAbstractSocket::ConnectedState);
    }

    static void pressOk(NotificationBox* box) { box->findChild<QPushButton*>(QStringLiteral("bt_ok"))->click(); }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<Json::Value>();
        QApplication::setQuitOnLastWindowClosed(false);
        StartUp::initResources();
        QVERIFY(peer.listen(0));
    }

    void init()
    {
        boxTexts.clear();
        answer = nullptr;
        TestScreen::onReceive = nullptr;
    }

    void cleanup()
    {
        window.reset();
        session.reset();
    }

    // The focus mark shows once the keyboard moves the focus and goes at the next mouse press:
    // a user of the mouse alone never sees it. The integrity check has no control of its own.
    void focusMarkOnlyForTheKeyboard()
    {
        openWindow();
        QApplication::setActiveWindow(window.get());
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        auto* close = window->findChild<QPushButton*>(QStringLiteral("pushButton"));
        QTest::mouseClick(close->window()->windowHandle(), Qt::LeftButton, {}, QPoint(400, 300));
        QVERIFY(!window->focus()->markedWidget());
        QTest::keyClick(window.get(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), close);
        QTRY_COMPARE(window->focus()->markedWidget(), close);
        QTest::mouseClick(close->window()->windowHandle(), Qt::LeftButton, {}, QPoint(400, 300));
        QVERIFY(!window->focus()->markedWidget());
    }

    void widgetsAndStyle()
    {
        openWindow();
        QCOMPARE(window->objectName(), QStringLiteral("TAVO_DSK_GUIClass"));
        QCOMPARE(window->size(), QSize(900, 600));
        QCOMPARE(window->windowTitle(), QStringLiteral("Nimbara Workspace"));
        QVERIFY(!window->windowIcon().isNull());
        QCOMPARE(window->styleSheet(),
                 QStringLiteral("QMainWindow::title {\n    height: 24px;\n    font-weight: bold;\n"
                                "    color: #000000;\n    background: #ffffff;\n}\n\n"
                                "QWidget#centralWidget {\n\tborder-image:url(:/image/bg.png) 0 0 0 "
                                "0 stretch stretch;\n}\n\nQPushButton {\n\tbackground-color:rgba("
                                "0,0,0,0);\n\tborder: none 0px;\n}"));
        auto* central = window->findChild<QWidget*>(QStringLiteral("centralWidget"));
        auto* frame = window->findChild<QFrame*>(QStringLiteral("frame"));
        auto* button = window->findChild<QPushButton*>(QStringLiteral("pushButton"));
        QVERIFY(central && frame && button);
        QCOMPARE(window->centralWidget(), central);
        QCOMPARE(frame->geometry(), QRect(235, 90, 420, 480));
        QCOMPARE(frame->frameShape(), QFrame::StyledPanel);
        QCOMPARE(frame->frameShadow(), QFrame::Raised);
        QCOMPARE(button->geometry(), QRect(845, 20, 37, 37));
        // Reached by Tab, never focused by a click, named for a screen reader.
        QCOMPARE(button->focusPolicy(), Qt::TabFocus);
        QCOMPARE(QAccessible::queryAccessibleInterface(button)->text(QAccessible::Name), QString::fromUtf8("닫기"));
        QVERIFY(button->text().isEmpty());
        QCOMPARE(button->styleSheet(), QStringLiteral("border-image: url(:/image/x.png) 0 0 0 0 stretch stretch;"));
        QCOMPARE(window->contentsMargins(), QMargins(0, 0, 0, 0));
        QVERIFY(QFile::exists(QStringLiteral(":/image/bg.png")));
        QVERIFY(QFile::exists(QStringLiteral(":/image/x.png")));
        QVERIFY(QFile::exists(QStringLiteral(":/fonts/NanumBrush.ttf")));
        QVERIFY(!window->fullScreenMode());
    }

    // Full screen on screens from a small laptop's to 4K: at 1920 x 1080 every piece is where it
    // has always been; elsewhere the framed area keeps its place about the centre, the close
    // button its distance from the top-right corner, and nothing leaves the screen.
    void fullScreenVariant_data()
    {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QRect>("frame");
        QTest::addColumn<QRect>("button");
        QTest::addColumn<QString>("picture");
        QTest::newRow("1024x600") << QSize(1024, 600) << QRect(297, 90, 420, 480) << QRect(969, 20, 37, 37)
                                  << "bg1920.png";
        QTest::newRow("1024x500, too low for the usual place")
            << QSize(1024, 500) << QRect(297, 20, 420, 480) << QRect(969, 20, 37, 37) << "bg1920.png";
        QTest::newRow("1366x768") << QSize(1366, 768) << QRect(468, 174, 420, 480) << QRect(1311, 20, 37, 37)
                                  << "bg1920.png";
        QTest::newRow("1920x1080") << QSize(1920, 1080) << QRect(745, 330, 420, 480) << QRect(1865, 20, 37, 37)
                                   << "bg1920.png";
        QTest::newRow("2560x1440") << QSize(2560, 1440) << QRect(1065, 510, 420, 480) << QRect(2505, 20, 37, 37)
                                   << "bg3840.png";
        QTest::newRow("3840x2160") << QSize(3840, 2160) << QRect(1705, 870, 420, 480) << QRect(3785, 20, 37, 37)
                                   << "bg3840.png";
    }

    void fullScreenVariant()
    {
        QFETCH(QSize, screen);
        QFETCH(QRect, frame);
        QFETCH(QRect, button);
        QFETCH(QString, picture);
        openWindow(true);
        QVERIFY(window->fullScreenMode());
        window->resize(screen);
        auto* central = window->findChild<QWidget*>(QStringLiteral("centralWidget"));
        QCOMPARE(central->geometry(), QRect(QPoint(0, 0), screen));
        QCOMPARE(central->styleSheet(), QStringLiteral("#centralWidget { border-image:url(:/image/%1) 0 0 0 0 "
                                                       "stretch stretch;}")
                                            .arg(picture));
        QVERIFY(QFile::exists(QStringLiteral(":/image/") + picture));
        QCOMPARE(window->findChild<QPushButton*>(QStringLiteral("pushButton"))->geometry(), button);
        QCOMPARE(window->findChild<QFrame*>(QStringLiteral("frame"))->geometry(), frame);
        QVERIFY(QRect(QPoint(0, 0), screen).contains(frame));
    }

    void applicationFont()
    {
        const QFont before = QApplication::font();
        QVERIFY(!StartUp::applyApplicationFont(QStringLiteral(":/fonts/missing.ttf")));
        QCOMPARE(QApplication::font(), before);
        QVERIFY(StartUp::applyApplicationFont());
        QVERIFY(QApplication::font().family().startsWith(QStringLiteral("Nanum")));
        QCOMPARE(QApplication::font().weight(), 75);
        QCOMPARE(QApplication::font().letterSpacingType(), QFont::AbsoluteSpacing);
        QCOMPARE(QApplication::font().letterSpacing(), 1.0);
    }

    void dragging_data()
    {
        QTest::addColumn<bool>("fullScreen");
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("moves");
        QTest::newRow("windowed, left") << false << int(Qt::LeftButton) << true;
        QTest::newRow("windowed, right") << false << int(Qt::RightButton) << false;
        QTest::newRow("full screen, left") << true << int(Qt::LeftButton) << false;
    }

    void dragging()
    {
        QFETCH(bool, fullScreen);
        QFETCH(int, button);
        QFETCH(bool, moves);
        openWindow(fullScreen);
        if (fullScreen) {
            window->showFullScreen();
            QTRY_VERIFY(window->isFullScreen());
        }
        if (!fullScreen) {
            window->move(100, 100);
        }
        const QPoint start = window->pos();
        const auto mouse = [&](QEvent::Type type, QPoint local, Qt::MouseButton b, Qt::MouseButtons held) {
            QMouseEvent event(type, local, window->mapToGlobal(QPoint()) + local, b, held, Qt::NoModifier);
            QApplication::sendEvent(window.get(), &event);
        };
        const auto b = Qt::MouseButton(button);
        mouse(QEvent::MouseButtonPress, QPoint(50, 50), b, b);
        mouse(QEvent::MouseMove, QPoint(80, 70), Qt::NoButton, b);
        mouse(QEvent::MouseButtonRelease, QPoint(80, 70), b, Qt::NoButton);
        QCOMPARE(window->pos(), moves ? start + QPoint(30, 20) : start);
        // After the release, moving does nothing.
        const QPoint afterRelease = window->pos();
        mouse(QEvent::MouseMove, QPoint(10, 10), Qt::NoButton, Qt::NoButton);
        QCOMPARE(window->pos(), afterRelease);
    }

    void exitNoticeOnClose()
    {
        openWindow();
        window->findChild<QPushButton*>(QStringLiteral("pushButton"))->click();
        QVERIFY(!window->isVisible());
        QVERIFY(peer.waitForBytes(20));
        QCOMPARE(peer.bytes(), QByteArray("{\"FrameIndex\":4496}\n"));
    }

    void nothingSentAfterLinkLost()
    {
        openWindow();
        QSignalSpy written(session->socket(), &QIODevice::bytesWritten);
        peer.disconnectClient();
        QTRY_VERIFY(!window->isVisible());
        session->send(frameIndex(2));
        window->close();
        QTest::qWait(50);
        QCOMPARE(written.count(), 0);
        QCOMPARE(session->socket()->bytesToWrite(), 0);
    }

    void finalNotice_data()
    {
        QTest::addColumn<int>("n");
        QTest::newRow("16") << 16;
        QTest::newRow("32") << 32;
    }

    void finalNotice()
    {
        QFETCH(int, n);
        openWindow();
        const std::string text = LocalText::encode(QString::fromUtf8("세션이 만료되었습니다.\n다시 로그인해주세요."));
        peer.send(notice(n, text), false);
        QTRY_VERIFY(!window->isVisible());
        QCOMPARE(boxTexts, QStringList{QString::fromUtf8("세션이 만료되었습니다.\n다시 로그인해주세요.")});
        QVERIFY(peer.waitForBytes(20));
        QCOMPARE(peer.bytes(), QByteArray("{\"FrameIndex\":4496}\n"));
    }

    void acknowledgedNotices()
    {
        openWindow();
        peer.send(notice(256, "hello"), false);
        QVERIFY(peer.waitForBytes(17));
        QCOMPARE(peer.bytes(), QByteArray("{\"FrameIndex\":256}\n"));
        QVERIFY(window->isVisible());
        peer.clear();
        peer.send(frameIndex(1024), false);
        QVERIFY(peer.waitForBytes(18));
        QCOMPARE(peer.bytes(), QByteArray("{\"FrameIndex\":1024}\n"));
        QCOMPARE(boxTexts,
                 (QStringList{QStringLiteral("hello"), QString::fromUtf8("최신버전으로 업데이트를 진행합니다.")}));
        // A notice without "Info" shows an empty text.
        peer.clear();
        peer.send(frameIndex(256), false);
        QVERIFY(peer.waitForBytes(17));
        QCOMPARE(boxTexts.last(), QString());
    }

    void screensAndUpdates()
    {
        openWindow();
        Json::Value show = frameIndex(1);
        show["Info"]["user"] = "kim";
        peer.send(show, false);
        QTRY_COMPARE(window->frameManager()->currentNumber(), 1);
        auto* screen = qobject_cast<TestScreen*>(window->frameManager()->currentScreen());
        QVERIFY(screen);
        QCOMPARE(screen->startData["user"].asString(), std::string("kim"));
        peer.send(notice(97, "wrong"), false);
        QTRY_COMPARE(screen->received.size(), size_t(1));
        QCOMPARE(screen->received[0]["FrameIndex"].asInt(), 97);
        QVERIFY(boxTexts.isEmpty());
        peer.send(frameIndex(4), false);
        QTRY_VERIFY(!window->frameManager()->currentScreen());
        // Text that is not JSON reads as a null message: the frame is emptied.
        peer.send(frameIndex(1), false);
        QTRY_VERIFY(window->frameManager()->currentScreen());
        peer.sendRaw("this is not json");
        QTRY_VERIFY(!window->frameManager()->currentScreen());
        QVERIFY(window->isVisible());
    }

    // Once keyed, a message that does not decipher shows the integrity error; the window closes
    // after it, with the exit notice under the key.
    void integrityErrorClosesTheWindow()
    {
        openWindow();
        QVERIFY(peer.exchangeKey(false));
        peer.sendRaw(QByteArray("{\"QUJDRA==\":\"\"}"));
        QTRY_VERIFY(!window->isVisible());
        QCOMPARE(boxTexts,
                 QStringList{QString::fromUtf8("무결성 검사중 오류가 생겼습니다.\n관리자에게 문의해주세요.")});
        QVERIFY(peer.waitForMessages(1, true));
        QCOMPARE(peer.messages(true).front()["FrameIndex"].asInt(), 4496);
    }

    // Boxes of every kind share one queue: the link is read while a box is open, the next box
    // opens only when the one before has been dismissed, and each follow-up (acknowledgement,
    // close) comes once, after its own box, in the order the boxes were asked for.
    void queueAcrossKinds()
    {
        openWindow();
        peer.send(frameIndex(1), false);
        QTRY_COMPARE(window->frameManager()->currentNumber(), 1);
        auto* screen = qobject_cast<TestScreen*>(window->frameManager()->currentScreen());
        TestScreen::onReceive = [this](TestScreen* s, const Json::Value&) {
            window->notifications()->show(s->notificationBox, QStringLiteral("screen"), s);
        };
        answer = [](NotificationBox*) {};
        NotificationQueue* queue = window->notifications();

        peer.send(notice(256, "first"), false);
        QTRY_VERIFY(queue->openBox());
        peer.send(frameIndex(1024), false);
        QTRY_COMPARE(queue->waitingCount(), 1);
        peer.send(notice(97, "update"), false);
        QTRY_COMPARE(screen->received.size(), size_t(1));
        QCOMPARE(queue->waitingCount(), 2);
        peer.send(notice(16, "bye"), false);
        QTRY_COMPARE(queue->waitingCount(), 3);
        QTest::qWait(50);
        QCOMPARE(peer.bytes(), QByteArray());

        const QByteArray acks[] = {"{\"FrameIndex\":256}\n", "{\"FrameIndex\":1024}\n", "", "{\"FrameIndex\":4496}\n"};
        for (const QByteArray& ack : acks) {
            QPointer<NotificationBox> open = queue->openBox();
            QVERIFY(open && open->isVisible());
            pressOk(open);
            if (!ack.isEmpty()) {
                QVERIFY(peer.waitForBytes(ack.size()));
            }
            QCOMPARE(peer.bytes(), ack);
            peer.clear();
        }
        QCOMPARE(boxTexts, (QStringList{QStringLiteral("first"), QString::fromUtf8("최신버전으로 업데이트를 진행합니다."),
                                        QStringLiteral("screen"), QStringLiteral("bye")}));
        QVERIFY(!window->isVisible());
        QVERIFY(!queue->openBox());
    }

    // A box whose owner goes while it is open closes with it, without its follow-up, and the
    // next box opens.
    void ownerGoneWhileBoxOpen()
    {
        openWindow();
        peer.send(frameIndex(1), false);
        QTRY_COMPARE(window->frameManager()->currentNumber(), 1);
        auto* screen = qobject_cast<TestScreen*>(window->frameManager()->currentScreen());
        answer = [](NotificationBox*) {};
        bool followedUp = false;
        window->notifications()->show(screen->notificationBox, QStringLiteral("mine"), screen,
                                      [&followedUp] { followedUp = true; });
        QPointer<NotificationBox> box = screen->notificationBox;
        QVERIFY(box && box->isVisible());
        peer.send(notice(256, "next"), false);
        QTRY_COMPARE(window->notifications()->waitingCount(), 1);
        // The main program shows another screen: the old one goes, and its box with it.
        peer.send(frameIndex(4), false);
        QTRY_VERIFY(!box);
        QTRY_VERIFY(window->notifications()->openBox());
        QCOMPARE(window->notifications()->openBox()->text(), QStringLiteral("next"));
        pressOk(window->notifications()->openBox());
        QVERIFY(peer.waitForBytes(19));
        QCOMPARE(peer.bytes(), QByteArray("{\"FrameIndex\":256}\n"));
        QVERIFY(!followedUp);
    }

    void boxesOneAtATime()
    {
        openWindow();
        QList<QPointer<NotificationBox>> shown;
        int openAtOnce = 0;
        answer = [&](NotificationBox* box) {
            shown << box;
            int visible = 0;
            for (NotificationBox* b : window->findChildren<NotificationBox*>()) {
                visible += b->isVisible() ? 1 : 0;
            }
            openAtOnce = std::max(openAtOnce, visible);
            if (shown.size() == 1) {
                peer.send(notice(256, "second"), false);
                // The second must not open, nor be answered, while the first waits.
                QTimer::singleShot(300, [&] {
                    QCOMPARE(peer.bytes(), QByteArray());
                    pressOk(shown[0]);
                });
                return;
            }
            pressOk(box);
        };
        peer.send(notice(256, "first"), false);
        QVERIFY(peer.waitForMessages(2, false));
        QCOMPARE(peer.bytes(), QByteArray("{\"FrameIndex\":256}\n{\"FrameIndex\":256}\n"));
        QCOMPARE(boxTexts, (QStringList{QStringLiteral("first"), QStringLiteral("second")}));
        QCOMPARE(openAtOnce, 1);
        // The box shown before is released once the next takes its place.
        QTRY_VERIFY(!shown[0]);
        QVERIFY(shown[1]);
    }

    void linkLostWhileBoxOpen()
    {
        openWindow();
        QPointer<NotificationBox> box;
        answer = [&](NotificationBox* b) {
            box = b;
            peer.disconnectClient();
            QTimer::singleShot(100, [&] {
                if (box) {
                    pressOk(box);
                }
            });
        };
        QSignalSpy written(session->socket(), &QIODevice::bytesWritten);
        peer.send(notice(256, "pending"), false);
        QTRY_VERIFY(!window->isVisible());
        QTRY_VERIFY(box && !box->isVisible());
        QTest::qWait(20);
        // The acknowledgement after the box finds the link gone and is not written.
        QCOMPARE(written.count(), 0);
        QCOMPARE(session->socket()->bytesToWrite(), 0);
    }
};

QTEST_MAIN(TestMainWindow)
#include "TestMainWindow.moc"
