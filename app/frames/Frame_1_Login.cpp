#include "Frame_1_Login.h"
#include "ui_Frame_1_Login.h"

#include "JsonText.h"
#include "KeyFocus.h"
#include "LocalText.h"
#include "NotificationBox.h"
#include "NotificationQueue.h"
#include "OtpStep.h"
#include "PasswordRule.h"
#include "Protocol.h"

#include <QtDebug>

namespace {

const char* const kOtpNeeded = "AUTHENTICATE-OTP-NEED";

} // namespace

Frame_1_Login::Frame_1_Login(QWidget* parent, const Json::Value& /*data*/, NotificationQueue& windowBoxes)
    : QWidget(parent), ui(std::make_unique<Ui::Frame_1_Login>()), boxes(windowBoxes)
{
    ui->setupUi(this);
    otpStep = new OtpStep({{ui->le_userID, ui->le_password}, ui->le_otp, ui->label_timer, ui->bt_confirm,
                           ui->bt_otp_confirm},
                          this);

    connect(ui->le_userID, &QLineEdit::textChanged, this, &Frame_1_Login::le_input_flag);
    connect(ui->le_password, &QLineEdit::textChanged, this, &Frame_1_Login::le_input_flag);
    connect(ui->bt_confirm, &QPushButton::clicked, this, &Frame_1_Login::bt_confirm_clicked);
    connect(ui->le_password, &QLineEdit::returnPressed, ui->bt_confirm, &QPushButton::click);
    connect(ui->bt_reset_pw, &QPushButton::clicked, this, &Frame_1_Login::bt_reset_pw_clicked);
    connect(ui->bt_otp_confirm, &QPushButton::clicked, this, &Frame_1_Login::bt_otp_confirm_clicked);
    connect(ui->le_otp, &QLineEdit::textChanged, this, &Frame_1_Login::le_input_flag);
    connect(ui->le_otp, &QLineEdit::returnPressed, ui->bt_otp_confirm, &QPushButton::click);
    new KeyFocus(this, nullptr);
}

Frame_1_Login::~Frame_1_Login() = default;

void Frame_1_Login::slot_recvinfo(Json::Value result)
{
    qInfo("Frame 1 Login recv Data");
    const std::optional<int> frameIndex = JsonText::frameIndexOf(result);
    const std::optional<std::string> text = JsonText::resultText(result);
    if (!frameIndex || !text) {
        qWarning("Frame 1 Login: ignored a message whose FrameIndex or result is not readable");
        return;
    }
    if (*frameIndex & Protocol::BitShowText) {
        boxes.show(notificationBox, LocalText::decode(*text), this);
        return;
    }
    if (*text == kOtpNeeded) {
        otpStep->begin();
        ui->bt_confirm->setText(QString::fromUtf8("재요청"));
    }
}

void Frame_1_Login::le_input_flag()
{
    otpStep->updateButtons(!ui->le_userID->text().isEmpty() && !ui->le_password->text().isEmpty());
}

void Frame_1_Login::bt_confirm_clicked()
{
    const QString userId = ui->le_userID->text();
    const std::string password = ui->le_password->text().toUtf8().toStdString();

    const int code = PasswordRule().checkPassword(password);
    const QString problem = PasswordRule::message(code);
    if (!problem.isEmpty()) {
        boxes.show(notificationBox, problem, this);
        return;
    }

    Json::Value request(Json::objectValue);
    request["FrameIndex"] = Protocol::ScreenSignIn;
    request["login"]["id"] = LocalText::encode(userId);
    request["login"]["pw"] = passwordDigestField(password);
    emit sendSignalData(request);
}

void Frame_1_Login::bt_otp_confirm_clicked()
{
    Json::Value request(Json::objectValue);
    request["FrameIndex"] = Protocol::ScreenSignIn;
    request["login"]["otp"] = LocalText::encode(ui->le_otp->text());
    emit sendSignalData(request);
}

void Frame_1_Login::bt_reset_pw_clicked()
{
    qDebug("Find Password Clicked");
    Json::Value request(Json::objectValue);
    request["FrameIndex"] = Protocol::ScreenResetPassword;
    emit sendSignalData(request);
}

void Frame_1_Login::otp_time_update()
{
    otpStep->otp_time_update();
}

void Frame_1_Login::re_request_otp_time_update()
{
    otpStep->re_request_otp_time_update();
}
