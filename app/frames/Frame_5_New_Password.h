#pragma once

#include "JsonMetaType.h"

#include <json/value.h>

#include <QPointer>
#include <QWidget>

#include <memory>

class NotificationBox;
class NotificationQueue;

namespace Ui {
class Frame_5_New_Password;
}

// A user who signed in with an initial password sets a new one here, tested against the local
// password rules and sent only as its digest.
class Frame_5_New_Password : public QWidget
{
    Q_OBJECT

public:
    // `boxes`: the window's queue, which shows this screen's boxes.
    Frame_5_New_Password(QWidget* parent, const Json::Value& data, NotificationQueue& boxes);
    ~Frame_5_New_Password() override;

signals:
    void sendSignalData(Json::Value message);

public slots:
    void slot_recvinfo(Json::Value result);
    void bt_back_clicked();
    void bt_confirm_clicked();
    void le_input_flag();

private:
    std::unique_ptr<Ui::Frame_5_New_Password> ui;
    NotificationQueue& boxes;
    QPointer<NotificationBox> notificationBox;
    // Until the user has read why this screen appears, the form is hidden and the main
    // program's messages are not for it.
    bool formShown = false;
};
