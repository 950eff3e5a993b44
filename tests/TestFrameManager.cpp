// The frame manager: one screen at a time, replacement with deferred deletion even while the
// old screen's code is on the stack, numbers without screens, and the screens' messages.
#include "AppState.h"
#include "FrameManager.h"
#include "NotificationBox.h"
#include "SecureUtil.h"
#include "StartUp.h"
#include "TAVO_DSK_GUI.h"
#include "TestPeer.h"
#include "TestScreen.h"

#include <QApplication>
#include <QFrame>
#include <QLayout>
#include <QPushButton>
#include <QtTest>

#include <memory>

namespace {

using LinkMessages::frameIndex;

void runDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QStringList logged;

void captureLog(QtMsgType, const QMessageLogContext&, const QString& message)
{
    logged << message;
}

} // namespace

class TestFrameManager : public QObject
{
    Q_OBJECT

private:
    TestPeer peer;
    std::unique_ptr<TAVO_DSK_GUI> window;

    FrameManager* manager() const { return window->frameManager(); }
    TestScreen* screen() const { return qobject_cast<TestScreen*>(manager()->currentScreen()); }
    QLayout* frameLayout() const { return window->findChild<QFrame*>(QStringLiteral("frame"))->layout(); }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<Json::Value>();
        QApplication::setQuitOnLastWindowClosed(false);
        StartUp::initResources();
        QVERIFY(peer.listenForThisProcess());
    }

    void init()
    {
        AppState::setKeyEstablished(false);
        SecureUtil::clearLinkKeyMaterial();
        TestScreen::onReceive = nullptr;
        TestScreen::onConstruct = nullptr;
        NotificationBox::setExecHook(nullptr);
        window = std::make_unique<TAVO_DSK_GUI>(nullptr, false);
        manager()->registerScreen<TestScreen>(1);
        manager()->registerScreen<TestScreen>(2);
        window->show();
        QVERIFY(peer.waitForClient());
        QTRY_COMPARE(window->socket()->state(), QAbstractSocket::ConnectedState);
    }

    void cleanup()
    {
        window.reset();
        runDeferredDeletes();
        QCOMPARE(TestScreen::instances, 0);
    }

    void replacementIsDeferred()
    {
        Json::Value first(Json::objectValue);
        first["n"] = 1;
        manager()->showFrame(window.get(), 1, first);
        QPointer<TestScreen> old = screen();
        QVERIFY(old);
        QCOMPARE(old->startData["n"].asInt(), 1);
        QCOMPARE(old->parentWidget(), window->findChild<QFrame*>(QStringLiteral("frame")));

        Json::Value second(Json::objectValue);
        second["n"] = 2;
        manager()->showFrame(window.get(), 1, second);
        QVERIFY(screen() != old.data());
        QCOMPARE(screen()->startData["n"].asInt(), 2);
        QCOMPARE(frameLayout()->count(), 1);
        QCOMPARE(frameLayout()->itemAt(0)->widget(), screen());
        // The old screen is off the frame at once and gone once the event loop runs.
        QVERIFY(old);
        QVERIFY(!old->isVisible());
        runDeferredDeletes();
        QVERIFY(!old);
        QCOMPARE(TestScreen::instances, 1);
    }

    void replacedFromItsOwnSlot()
    {
        manager()->showFrame(window.get(), 1, Json::Value());
        QPointer<TestScreen> old = screen();
        TestScreen::onReceive = [this](TestScreen*, const Json::Value&) {
            TestScreen::onReceive = nullptr;
            manager()->showFrame(window.get(), 2, Json::Value());
            return true;
        };
        manager()->sendDataToFrame(65, frameIndex(65));
        // The old screen finished its slot on live memory, and updates now go to the new one.
        QVERIFY(old);
        QCOMPARE(old->afterHook, 1);
        QCOMPARE(manager()->currentNumber(), 2);
        manager()->sendDataToFrame(65, frameIndex(65));
        QCOMPARE(old->received.size(), size_t(1));
        QCOMPARE(screen()->received.size(), size_t(1));
        runDeferredDeletes();
        QVERIFY(!old);
    }

    void replacedWhileItsBoxIsOpen()
    {
        manager()->showFrame(window.get(), 1, Json::Value());
        QPointer<TestScreen> old = screen();
        bool stillAliveAfterBox = true;
        NotificationBox::setExecHook([this](NotificationBox* box) {
            // A message for another screen arrives while the box waits; then the user answers.
            manager()->showFrame(window.get(), 2, Json::Value());
            QTimer::singleShot(0, box, [box] { box->findChild<QPushButton*>(QStringLiteral("bt_ok"))->click(); });
        });
        TestScreen::onReceive = [&](TestScreen* s, const Json::Value&) {
            stillAliveAfterBox = NotificationBox::showNotification(s->notificationBox, QStringLiteral("x"), s);
            return stillAliveAfterBox;
        };
        manager()->sendDataToFrame(65, frameIndex(65));
        QCOMPARE(manager()->currentNumber(), 2);
        runDeferredDeletes();
        QVERIFY(!old);
        QCOMPARE(TestScreen::instances, 1);
    }

    void screenAskingForAnotherWhileBuilt()
    {
        // The first screen's constructor runs a nested message that asks for screen 2.
        TestScreen::onConstruct = [this](TestScreen*) {
            TestScreen::onConstruct = nullptr;
            manager()->showFrame(window.get(), 2, Json::Value());
        };
        manager()->showFrame(window.get(), 1, Json::Value());
        QCOMPARE(manager()->currentNumber(), 2);
        QCOMPARE(frameLayout()->count(), 1);
        runDeferredDeletes();
        QCOMPARE(TestScreen::instances, 1);
    }

    void numbersWithoutScreens_data()
    {
        QTest::addColumn<int>("n");
        for (int n : {0, 4, 6, 10, 128, 2048, -7}) {
            QTest::newRow(qPrintable(QString::number(n))) << n;
        }
    }

    void numbersWithoutScreens()
    {
        QFETCH(int, n);
        manager()->showFrame(window.get(), 1, Json::Value());
        manager()->showFrame(window.get(), n, Json::Value());
        QVERIFY(!manager()->currentScreen());
        QCOMPARE(frameLayout()->count(), 0);
        runDeferredDeletes();
        QCOMPARE(TestScreen::instances, 0);
        // An update then reaches nobody, after its log line.
        QSignalSpy data(manager(), &FrameManager::dataSignal);
        logged.clear();
        const QtMessageHandler previous = qInstallMessageHandler(captureLog);
        manager()->sendDataToFrame(65, frameIndex(65));
        qInstallMessageHandler(previous);
        QCOMPARE(data.count(), 1);
        QCOMPARE(logged, QStringList{QStringLiteral("SendDataToFrame :  65")});
        QVERIFY(window->isVisible());
    }

    void closeRequests_data()
    {
        QTest::addColumn<int>("n");
        QTest::newRow("128") << 128;
        QTest::newRow("129") << 129;
        QTest::newRow("130") << 130;
    }

    void closeRequests()
    {
        QFETCH(int, n);
        manager()->showFrame(window.get(), 1, Json::Value());
        QSignalSpy closing(manager(), &FrameManager::closeMainWindow);
        screen()->send(frameIndex(n));
        QCOMPARE(closing.count(), 1);
        QVERIFY(!window->isVisible());
        QVERIFY(peer.waitForBytes(20));
        QCOMPARE(peer.bytes(), QByteArray("{\"FrameIndex\":4496}\n"));
    }

    void screenMessagesWritten()
    {
        manager()->showFrame(window.get(), 2, Json::Value());
        Json::Value message = frameIndex(9);
        message["extra"]["b"] = 2;
        message["extra"]["a"] = "x";
        screen()->send(message);
        const QByteArray expected("{\"FrameIndex\":9,\"extra\":{\"a\":\"x\",\"b\":2}}\n");
        QVERIFY(peer.waitForBytes(expected.size()));
        QCOMPARE(peer.bytes(), expected);

        const unsigned char key[16] = {1, 2, 3};
        const unsigned char iv[16] = {4, 5, 6};
        SecureUtil::setLinkKeyMaterial(key, iv);
        AppState::setKeyEstablished(true);
        peer.clear();
        screen()->send(message);
        QVERIFY(peer.waitForMessages(1, true));
        QCOMPARE(peer.messages(true).front(), message);
        QVERIFY(peer.bytes().endsWith("\":\"\"}"));
    }
};

QTEST_MAIN(TestFrameManager)
#include "TestFrameManager.moc"
