#pragma once

// A minimal screen for the frame manager: records what reaches it and can act from inside its
// own slot, the way real screens do when they show a box or send a message.
#include "JsonMetaType.h"
#include "NotificationBox.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <vector>

class TestScreen : public QWidget
{
    Q_OBJECT

public:
    TestScreen(QWidget* parent, const Json::Value& data) : QWidget(parent), startData(data) { ++instances; }
    ~TestScreen() override { --instances; }

    Json::Value startData;
    QPointer<NotificationBox> notificationBox;
    std::vector<Json::Value> received;

    inline static int instances = 0;
    // Runs inside slot_recvinfo.
    inline static std::function<void(TestScreen*, const Json::Value&)> onReceive;

    void send(const Json::Value& message) { emit sendSignalData(message); }

signals:
    void sendSignalData(Json::Value message);

public slots:
    void slot_recvinfo(Json::Value message)
    {
        received.push_back(message);
        if (onReceive) {
            onReceive(this, message);
        }
    }
};
