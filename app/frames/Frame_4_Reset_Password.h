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
class Frame_4_Reset_Password;
}

// Password reset: the user proves identity with user ID and phone number, then confirms the
// reset with a one-time password, with the same count-down and hold-off as the sign-in screen.
class Frame_4_Reset_Password : public QWidget
{
    Q_OBJECT

public:
    // `boxes`: the window's queue, which shows this screen's boxes.
    Frame_4_Reset_Password(QWidget* parent, const Json::Value& data, NotificationQueue& boxes);
    ~Frame_4_Reset_Password() override;

signals:
    void sendSignalData(Json::Value message);

public slots:
    void slot_recvinfo(Json::Value result);
    void le_input_flag();
    void bt_confirm_clicked();
    void bt_req_OTP_clicked();
    void bt_back_clicked();
    // One tick of the one-time password's validity and of its hold-off.
    void otp_time_update();
    void re_request_otp_time_update();

private:
    void showResetDone();

    std::unique_ptr<Ui::Frame_4_Reset_Password> ui;
    NotificationQueue& boxes;
    QPointer<NotificationBox> notificationBox;
    OtpStep* otpStep = nullptr;
};
