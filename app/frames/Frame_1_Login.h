#pragma once

#include "JsonMetaType.h"

#include <json/value.h>

#include <QPointer>
#include <QWidget>

#include <memory>

class NotificationBox;
class NotificationQueue;
class OtpStep;

namespace Ui {
class Frame_1_Login;
}

// Sign-in in two steps: user ID and password, then the one-time password within its
// three-minute window, with a re-request once the 30-second hold-off has passed.
class Frame_1_Login : public QWidget
{
    Q_OBJECT

public:
    // `boxes`: the window's queue, which shows this screen's boxes.
    Frame_1_Login(QWidget* parent, const Json::Value& data, NotificationQueue& boxes);
    ~Frame_1_Login() override;

signals:
    void sendSignalData(Json::Value message);

public slots:
    void slot_recvinfo(Json::Value result);
    void le_input_flag();
    void bt_confirm_clicked();
    void bt_otp_confirm_clicked();
    void bt_reset_pw_clicked();
    // One tick of the one-time password's validity and of its hold-off.
    void otp_time_update();
    void re_request_otp_time_update();

private:
    std::unique_ptr<Ui::Frame_1_Login> ui;
    NotificationQueue& boxes;
    QPointer<NotificationBox> notificationBox;
    OtpStep* otpStep = nullptr;
};
