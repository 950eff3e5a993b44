#pragma once

// Shared by the tests of the sign-in, reset and new-password screens: messages as the main
// program sends them, a recorder that answers every box, and the real window against the
// loopback peer.
#include "AppState.h"
#include "FrameManager.h"
#include "JsonMetaType.h"
#include "LocalText.h"
#include "NotificationBox.h"
#include "SecureUtil.h"
#include "StartUp.h"
#include "TAVO_DSK_GUI.h"
#include "TestPeer.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

namespace AccountScreens {

inline Json::Value frameIndex(int n)
{
    Json::Value message(Json::objectValue);
    message["FrameIndex"] = n;
    return message;
}

inline Json::Value update(int n, const std::string& result)
{
    Json::Value message = frameIndex(n);
    message["Info"]["result"] = result;
    return message;
}

inline QByteArray wire(const std::string& text)
{
    return QByteArray(text.data(), static_cast<int>(text.size()));
}

template <class T> T* child(QObject* parent, const char* name)
{
    return parent->findChild<T*>(QString::fromLatin1(name));
}

// Korean text arrives the way an input method delivers it: as a committed string.
inline void commitText(QWidget* field, const QString& text)
{
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(field, &event);
}

// The widget Tab moves to from `widget`.
inline QWidget* nextTabStop(QWidget* widget)
{
    QWidget* next = widget->nextInFocusChain();
    while (next != widget && !(next->focusPolicy() & Qt::TabFocus)) {
        next = next->nextInFocusChain();
    }
    return next;
}

inline void pressOk(NotificationBox* box)
{
    child<QPushButton>(box, "bt_ok")->click();
}

// Answers every box from inside its modal loop and keeps what it showed. `answer` may act
// while the box is open; it must close the box (or have it destroyed) itself.
class BoxRecorder
{
public:
    BoxRecorder()
    {
        NotificationBox::setExecHook([this](NotificationBox* box) {
            texts << box->text();
            if (answer) {
                answer(box);
            } else {
                pressOk(box);
            }
        });
    }
    ~BoxRecorder() { NotificationBox::setExecHook(nullptr); }

    QStringList texts;
    std::function<void(NotificationBox*)> answer;
};

// The real main window connected to the peer, with the screen of `n` asked for by the peer.
class LinkedWindow
{
public:
    explicit LinkedWindow(TestPeer& testPeer) : peer(testPeer) {}

    bool open()
    {
        window = std::make_unique<TAVO_DSK_GUI>(nullptr, false);
        window->setWindowFlags(Qt::FramelessWindowHint);
        window->show();
        return peer.waitForClient() &&
               QTest::qWaitFor([this] { return window->socket()->state() == QAbstractSocket::ConnectedState; });
    }

    template <class Screen> Screen* showScreen(int n)
    {
        peer.send(frameIndex(n), false);
        if (!QTest::qWaitFor([this, n] { return window->frameManager()->currentNumber() == n; })) {
            return nullptr;
        }
        return qobject_cast<Screen*>(window->frameManager()->currentScreen());
    }

    // Everything the window wrote since the last call.
    QByteArray take(int atLeast)
    {
        (void)peer.waitForBytes(atLeast);
        const QByteArray bytes = peer.bytes();
        peer.clear();
        return bytes;
    }

    ~LinkedWindow()
    {
        window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    TestPeer& peer;
    std::unique_ptr<TAVO_DSK_GUI> window;
};

inline void initTestCase(TestPeer& peer)
{
    qRegisterMetaType<Json::Value>();
    QApplication::setQuitOnLastWindowClosed(false);
    StartUp::initResources();
    AppState::setKeyEstablished(false);
    QVERIFY(peer.listen());
}

} // namespace AccountScreens
