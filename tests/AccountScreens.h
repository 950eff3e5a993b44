#pragma once

// Shared by the tests of the sign-in, reset and new-password screens: messages as the main
// program sends them, a recorder that answers every box, and the real window against the
// loopback peer.
#include "FrameManager.h"
#include "JsonMetaType.h"
#include "JsonText.h"
#include "LinkSession.h"
#include "LocalText.h"
#include "NotificationBox.h"
#include "NotificationQueue.h"
#include "StartUp.h"
#include "TAVO_DSK_GUI.h"
#include "TestPeer.h"
#include "BoxRecorder.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

namespace AccountScreens {

// SHA-512 of "Ak3!Pz9%", computed with Python's hashlib.
inline const QByteArray kDigestAk3 = "5f65751745abfb8228c7734aa1a5edea0e1b79635dbcd88d763062ccfa29ebb6"
                                     "9c2df532fa768e5530bc0f304c1f1abfc30717798434c5b512e7d474dd81bdd5";

using LinkMessages::frameIndex;
using LinkMessages::notice;

inline Json::Value parse(const QByteArray& json)
{
    Json::Value message;
    std::string errors;
    JsonText::parse(json.toStdString(), message, errors);
    return message;
}

// The compact text of the i-th message a screen emitted; empty when there is none.
inline QString sentText(const QSignalSpy& spy, int i)
{
    if (i >= spy.count()) {
        return QString();
    }
    return QString::fromStdString(JsonText::writeCompact(spy.at(i).at(0).value<Json::Value>()));
}

template <class T> T* child(QObject* parent, const char* name)
{
    return parent->findChild<T*>(QString::fromLatin1(name));
}

// `n` ticks of one of a screen's count-down slots.
template <class Screen> void ticks(Screen* screen, int n, void (Screen::*tick)())
{
    for (int i = 0; i < n; ++i) {
        (screen->*tick)();
    }
}

// Korean text arrives the way an input method delivers it: as a committed string.
inline void commitText(QWidget* field, const QString& text)
{
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(field, &event);
}

using ::BoxRecorder;

inline void pressOk(NotificationBox* box)
{
    BoxRecorder::pressOk(box);
}

// The real main window connected to the peer.
class LinkedWindow
{
public:
    explicit LinkedWindow(TestPeer& testPeer) : peer(testPeer) {}
    ~LinkedWindow() { window.reset(); }

    bool open()
    {
        session = std::make_unique<LinkSession>(QHostAddress(QHostAddress::LocalHost), peer.port());
        window = std::make_unique<TAVO_DSK_GUI>(nullptr, false, *session);
        window->show();
        return peer.waitForClient() &&
               QTest::qWaitFor([this] { return session->socket()->state() == QAbstractSocket::ConnectedState; });
    }

    // The screen the peer asked for with {"FrameIndex":n}; nothing the window wrote before stays.
    template <class Screen> Screen* showScreen(int n)
    {
        peer.send(frameIndex(n), false);
        if (!QTest::qWaitFor([this, n] { return window->frameManager()->currentNumber() == n; })) {
            return nullptr;
        }
        peer.clear();
        return qobject_cast<Screen*>(window->frameManager()->currentScreen());
    }

    // Everything the window wrote since the last call, once at least `atLeast` bytes are there.
    QByteArray take(int atLeast)
    {
        (void)peer.waitForBytes(atLeast);
        const QByteArray bytes = peer.bytes();
        peer.clear();
        return bytes;
    }

    // The main program shows another screen while a box of the current one waits; only a box
    // that outlived its screen would be answered by the fallback.
    void replaceWhileBoxOpen(BoxRecorder& boxes, QPointer<NotificationBox>& open)
    {
        boxes.answer = [this, &open](NotificationBox* box) {
            open = box;
            peer.send(frameIndex(1), false);
            QTimer::singleShot(3000, box, [box] { pressOk(box); });
        };
    }

    TestPeer& peer;
    std::unique_ptr<LinkSession> session;
    std::unique_ptr<TAVO_DSK_GUI> window;
};

inline void initTestCase(TestPeer& peer)
{
    qRegisterMetaType<Json::Value>();
    QApplication::setQuitOnLastWindowClosed(false);
    StartUp::initResources();
    QVERIFY(peer.listen(0));
}

} // namespace AccountScreens
