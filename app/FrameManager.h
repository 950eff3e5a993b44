#pragma once

#include "JsonMetaType.h"

#include <json/value.h>

#include <QObject>
#include <QPointer>
#include <QSharedPointer>
#include <QWidget>

#include <functional>
#include <map>
#include <vector>

class QTcpSocket;
class QVBoxLayout;

// Owns the one screen on show, hands it the main program's updates and takes its messages
// for the main program. Exactly one screen, or none, exists for the user at any time.
class FrameManager : public QObject
{
    Q_OBJECT

public:
    using ScreenFactory = std::function<QWidget*(QWidget*, const Json::Value&)>;

    FrameManager(QSharedPointer<QVBoxLayout> layout, QSharedPointer<QTcpSocket> socket, QObject* parent);
    ~FrameManager() override;

    void showFrame(QWidget* parent, int n, const Json::Value& data);
    void sendDataToFrame(int n, const Json::Value& message);
    void clearFrames();

    // The screen on show, if any, and the number it was shown for.
    QWidget* currentScreen() const { return current.data(); }
    int currentNumber() const { return currentIndex; }

    // Makes `n` show a `Screen`: a widget with a (QWidget*, Json::Value) constructor, the slot
    // slot_recvinfo(Json::Value) and the signal sendSignalData(Json::Value).
    template <class Screen> void registerScreen(int n)
    {
        screens[n] = [this](QWidget* parent, const Json::Value& data) -> QWidget* {
            auto* screen = new Screen(parent, data);
            connect(this, &FrameManager::dataSignal, screen, &Screen::slot_recvinfo);
            connect(screen, &Screen::sendSignalData, this, &FrameManager::sendMainProg);
            return screen;
        };
    }
    void unregisterScreen(int n) { screens.erase(n); }

signals:
    void dataSignal(Json::Value message);
    void closeMainWindow();

public slots:
    void sendMainProg(Json::Value message);

private:
    void retire(QWidget* screen);
    void registerScreens();

    std::map<int, ScreenFactory> screens;
    // Counts showFrame calls, so a screen whose constructor ran a modal box can tell that a
    // newer screen was asked for meanwhile.
    quint64 generation = 0;
    QPointer<QWidget> current;
    int currentIndex = 0;
    // Screens taken off the frame whose deletion waits for the event loop.
    std::vector<QPointer<QWidget>> retired;
    QSharedPointer<QTcpSocket> socket;
    QSharedPointer<QVBoxLayout> layout;
};
