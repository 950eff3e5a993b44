// The frame manager: one screen at a time, numbers without screens, and the screens' messages.
#include "FrameManager.h"
#include "LinkSession.h"
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
    std::unique_ptr<LinkSession> session;
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
        QVERIFY(peer.listen(0));
    }

    void init()
    {
        TestScreen::onReceive = nullptr;
        session = std::make_unique<LinkSession>(QHostAddress(QHostAddress::LocalHost), peer.port());
        window = std::make_unique<TAVO_DSK_GUI>(nullptr, false, *session);
        manager()->registerScreen<TestScreen>(1);
        manager()->registerScreen<TestScreen>(2);
        window->show();
        QVERIFY(peer.waitForClient());
        QTRY_COMPARE(session->socket()->state(), QAbstractSocket::ConnectedState);
    }

    void cleanup()
    {
        window.reset();
        session.reset();
        QCOMPARE(TestScreen::instances, 0);
    }

    void replacement()
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
        QVERIFY(!old);
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

        // Once the key is agreed, the same message leaves wrapped, under the key the peer agreed.
        QVERIFY(peer.exchangeKey(false));
        QVERIFY(session->isKeyed());
        screen()->send(message);
        QVERIFY(peer.waitForMessages(1, true));
        QCOMPARE(peer.messages(true).front(), message);
        QVERIFY(peer.bytes().endsWith("\":\"\"}"));
    }
};

QTEST_MAIN(TestFrameManager)
#include "TestFrameManager.moc"
