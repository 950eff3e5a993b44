#pragma once

#include "JsonMetaType.h"
#include "RunState.h"

#include <json/value.h>

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <map>
#include <type_traits>

class NotificationQueue;
class QVBoxLayout;

// Owns the one screen on show, hands it the main program's updates and passes on its messages
// for the main program. Exactly one screen, or none, exists for the user at any time.
class FrameManager : public QObject
{
    Q_OBJECT

public:
    using ScreenFactory = std::function<QWidget*(QWidget*, const Json::Value&)>;

    // `layout` belongs to the window's frame; the screens are put into it. `boxes` is the
    // window's queue, handed to the screens that show boxes.
    FrameManager(QVBoxLayout* layout, NotificationQueue& boxes, QObject* parent);
    ~FrameManager() override;

    void showFrame(QWidget* parent, int n, const Json::Value& data);
    void sendDataToFrame(int n, const Json::Value& message);
    void clearFrames();

    // The screen on show, if any, and the number it was shown for.
    QWidget* currentScreen() const { return current.data(); }
    int currentNumber() const { return currentIndex; }

    // Makes `n` show a `Screen`: a widget with a (QWidget*, Json::Value) constructor (or one that
    // also takes the run's RunState*, or the window's NotificationQueue&), the slot
    // slot_recvinfo(Json::Value) and the signal sendSignalData(Json::Value).
    template <class Screen> void registerScreen(int n)
    {
        screens[n] = [this](QWidget* parent, const Json::Value& data) -> QWidget* {
            Screen* screen = nullptr;
            if constexpr (std::is_constructible_v<Screen, QWidget*, const Json::Value&, RunState*>) {
                screen = new Screen(parent, data, &run);
            } else if constexpr (std::is_constructible_v<Screen, QWidget*, const Json::Value&, NotificationQueue&>) {
                screen = new Screen(parent, data, boxes);
            } else {
                screen = new Screen(parent, data);
            }
            connect(this, &FrameManager::dataSignal, screen, &Screen::slot_recvinfo);
            connect(screen, &Screen::sendSignalData, this, &FrameManager::sendMainProg);
            return screen;
        };
    }

signals:
    void dataSignal(Json::Value message);
    void closeMainWindow();
    // A screen's message for the main program; the window's link writes it.
    void messageForMainProgram(const Json::Value& message);

public slots:
    void sendMainProg(Json::Value message);

private:
    void registerScreens();

    std::map<int, ScreenFactory> screens;
    QPointer<QWidget> current;
    int currentIndex = 0;
    QVBoxLayout* layout;
    NotificationQueue& boxes;
    RunState run;
};
