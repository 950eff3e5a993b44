#pragma once

// Shared by the screen tests: the real main window connected to a TestPeer, messages to send
// from the peer, and pictures of the window on request.
#include "FrameManager.h"
#include "JsonMetaType.h"
#include "JsonText.h"
#include "LinkSession.h"
#include "NotificationBox.h"
#include "NotificationQueue.h"
#include "StartUp.h"
#include "TAVO_DSK_GUI.h"
#include "TestPeer.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QtTest>

#include <memory>

namespace ScreenTest {

inline Json::Value message(int frameIndex)
{
    Json::Value value(Json::objectValue);
    value["FrameIndex"] = frameIndex;
    return value;
}

inline Json::Value message(int frameIndex, const Json::Value& info)
{
    Json::Value value = message(frameIndex);
    value["Info"] = info;
    return value;
}

// Parses a JSON text written in a test; the text is the test's own, so it always parses.
inline Json::Value json(const char* text)
{
    Json::Value value;
    std::string errors;
    JsonText::parse(text, value, errors);
    return value;
}

inline void pressOk(NotificationBox* box)
{
    box->findChild<QPushButton*>(QStringLiteral("bt_ok"))->click();
}

// Once per test program: resources, the program's font, the message type, no quitting when
// the window closes.
inline void initProgram()
{
    qRegisterMetaType<Json::Value>();
    QApplication::setQuitOnLastWindowClosed(false);
    StartUp::initResources();
    StartUp::applyApplicationFont();
}

// With TAVO_GRAB_DIR set (for instance under xvfb-run), saves a picture of `widget` there.
inline void grab(QWidget* widget, const QString& name)
{
    const QString dir = qEnvironmentVariable("TAVO_GRAB_DIR");
    if (dir.isEmpty()) {
        return;
    }
    QDir().mkpath(dir);
    QCoreApplication::processEvents();
    widget->grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
}

// The real main window talking to the peer over loopback, in the plain form of the link.
class LinkedWindow
{
public:
    explicit LinkedWindow(TestPeer& peer) : peer(peer) {}

    bool open()
    {
        session = std::make_unique<LinkSession>(QHostAddress(QHostAddress::LocalHost), peer.port());
        window = std::make_unique<TAVO_DSK_GUI>(nullptr, false, *session);
        window->setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        window->show();
        return peer.waitForClient() &&
               QTest::qWaitFor([this] { return session->socket()->state() == QAbstractSocket::ConnectedState; });
    }

    void close()
    {
        window.reset();
        session.reset();
    }

    // Sends a message from the peer and waits until a new screen of type Screen is on show.
    template <class Screen> Screen* show(const Json::Value& msg)
    {
        peer.send(msg, false);
        const auto shown = [this] {
            Screen* now = screen<Screen>();
            return now != nullptr && now != previous && now->isVisible();
        };
        if (!QTest::qWaitFor(shown)) {
            return nullptr;
        }
        previous = screen<Screen>();
        return screen<Screen>();
    }

    // Sends an update for the screen on show and waits until the window has handed it over.
    // One at a time: the window reads each batch of bytes as one message.
    bool update(const Json::Value& msg)
    {
        QSignalSpy handed(window->frameManager(), &FrameManager::dataSignal);
        peer.send(msg, false);
        return handed.wait();
    }

    template <class Screen> Screen* screen() const
    {
        return qobject_cast<Screen*>(window->frameManager()->currentScreen());
    }

    TAVO_DSK_GUI* get() const { return window.get(); }

private:
    TestPeer& peer;
    std::unique_ptr<LinkSession> session;
    std::unique_ptr<TAVO_DSK_GUI> window;
    QPointer<QObject> previous;
};

} // namespace ScreenTest
