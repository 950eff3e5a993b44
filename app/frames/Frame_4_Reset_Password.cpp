#include "Frame_4_Reset_Password.h"
#include "ui_Frame_4_Reset_Password.h"

#include "JsonText.h"
#include "KeyFocus.h"
#include "LocalText.h"
#include "NotificationBox.h"
#include "NotificationQueue.h"
#include "OtpStep.h"
#include "Protocol.h"
#include "SignInReturn.h"

#include <QtDebug>

namespace {

constexpr int kProveUser = 5;
constexpr int kResetOtp = 6;
// A filled mask without spaces is 11 digits and two "-".
constexpr int kPhoneCompleteAbove = 12;
const char* const kUserProved = "USER-PROVE-OK";
const char* const kResetDone = "RESET-PASSWORD-OK";
const char* const kReRequestStyle =
    "#bt_req_OTP{border-image:url(:/resource/reotp_selected.png) 0 0 0 0 stretch stretch;}"
    "#bt_req_OTP:disabled{border-image:url(:/resource/reotp_gray.png) 0 0 0 0 stretch stretch;}";

QString withoutSpaces(QString text)
{
    return text.remove(QLatin1Char(' '));
}

} // namespace

Frame_4_Reset_Password::Frame_4_Reset_Password(QWidget* parent, const Json::Value& /*data*/,
                                               NotificationQueue& windowBoxes)
    : QWidget(parent), ui(std::make_unique<Ui::Frame_4_Reset_Password>()), boxes(windowBoxes)
{
    ui->setupUi(this);
    otpStep = new OtpStep({{ui->le_userID, ui->le_phoneNum}, ui->le_otp, ui->label_timer, ui->bt_req_OTP,
                           ui->bt_confirm},
                          this);
    ui->le_phoneNum->setText(QString());
    ui->le_phoneNum->setCursorPosition(0);

    connect(ui->bt_req_OTP, &QPushButton::clicked, this, &Frame_4_Reset_Password::bt_req_OTP_clicked);
    connect(ui->bt_confirm, &QPushButton::clicked, this, &Frame_4_Reset_Password::bt_confirm_clicked);
    connect(ui->bt_back, &QPushButton::clicked, this, &Frame_4_Reset_Password::bt_back_clicked);
    connect(ui->le_userID, &QLineEdit::textChanged, this, &Frame_4_Reset_Password::le_input_flag);
    connect(ui->le_phoneNum, &QLineEdit::textChanged, this, &Frame_4_Reset_Password::le_input_flag);
    connect(ui->le_otp, &QLineEdit::textChanged, this, &Frame_4_Reset_Password::le_input_flag);
    connect(ui->le_phoneNum, &QLineEdit::returnPressed, ui->bt_req_OTP, &QPushButton::click);
    connect(ui->le_otp, &QLineEdit::returnPressed, ui->bt_confirm, &QPushButton::click);
    new KeyFocus(this, nullptr);
}

Frame_4_Reset_Password::~Frame_4_Reset_Password() = default;

void Frame_4_Reset_Password::slot_recvinfo(Json::Value result)
{
    qInfo("Frame 4 reset pw recv Data");
    const std::optional<int> frameIndex = JsonText::frameIndexOf(result);
    const std::optional<std::string> text = JsonText::resultText(result);
    if (!frameIndex || !text) {
        qWarning("Frame 4 reset pw: ignored a message whose FrameIndex or result is not readable");
        return;
    }
    if (*frameIndex & Protocol::BitShowText) {
        boxes.show(notificationBox, LocalText::decode(*text), this);
    } else if (*text == kUserProved) {
        otpStep->begin();
        ui->bt_req_OTP->setStyleSheet(QString::fromLatin1(kReRequestStyle));
    } else if (*text == kResetDone) {
        showResetDone();
    }
}

void Frame_4_Reset_Password::le_input_flag()
{
    otpStep->updateButtons(!ui->le_userID->text().isEmpty() &&
                           withoutSpaces(ui->le_phoneNum->text()).length() > kPhoneCompleteAbove);
}

void Frame_4_Reset_Password::bt_confirm_clicked()
{
    Json::Value request(Json::objectValue);
    request["FrameIndex"] = kResetOtp;
    request["otp"] = LocalText::encode(ui->le_otp->text());
    emit sendSignalData(request);
}

void Frame_4_Reset_Password::bt_req_OTP_clicked()
{
    const QString digits = withoutSpaces(ui->le_phoneNum->text()).remove(QLatin1Char('-'));
    Json::Value request(Json::objectValue);
    request["FrameIndex"] = kProveUser;
    request["user_prove"]["id"] = LocalText::encode(ui->le_userID->text());
    request["user_prove"]["phone"] = LocalText::encode(digits);
    emit sendSignalData(request);
}

void Frame_4_Reset_Password::bt_back_clicked()
{
    emit sendSignalData(SignInReturn::back());
}

// The main program takes over only once the user has read that the reset is done.
void Frame_4_Reset_Password::showResetDone()
{
    boxes.show(notificationBox, QString::fromUtf8("비밀번호 초기화 완료"), this,
               [this] { emit sendSignalData(SignInReturn::afterDone(kResetOtp)); });
}

void Frame_4_Reset_Password::otp_time_update()
{
    otpStep->otp_time_update();
}

void Frame_4_Reset_Password::re_request_otp_time_update()
{
    otpStep->re_request_otp_time_update();
}
