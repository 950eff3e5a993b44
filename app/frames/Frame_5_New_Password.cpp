#include "Frame_5_New_Password.h"
#include "ui_Frame_5_New_Password.h"

#include "JsonText.h"
#include "KeyFocus.h"
#include "LocalText.h"
#include "NotificationBox.h"
#include "NotificationQueue.h"
#include "PasswordRule.h"
#include "Protocol.h"
#include "SignInReturn.h"

#include <QtDebug>

namespace {

constexpr int kNewPassword = 7;

} // namespace

Frame_5_New_Password::Frame_5_New_Password(QWidget* parent, const Json::Value& /*data*/, NotificationQueue& windowBoxes)
    : QWidget(parent), ui(std::make_unique<Ui::Frame_5_New_Password>()), boxes(windowBoxes)
{
    ui->setupUi(this);
    connect(ui->bt_back, &QPushButton::clicked, this, &Frame_5_New_Password::bt_back_clicked);
    connect(ui->bt_confirm, &QPushButton::clicked, this, &Frame_5_New_Password::bt_confirm_clicked);
    connect(ui->le_newPassword, &QLineEdit::textChanged, this, &Frame_5_New_Password::le_input_flag);
    connect(ui->le_newPasswordConfirm, &QLineEdit::textChanged, this, &Frame_5_New_Password::le_input_flag);
    connect(ui->le_newPasswordConfirm, &QLineEdit::returnPressed, ui->bt_confirm, &QPushButton::click);
    auto* keys = new KeyFocus(this, nullptr);
    ui->bt_confirm->setEnabled(false);

    // The user learns why this screen appears before the form shows.
    const QList<QWidget*> form = findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget* part : form) {
        part->hide();
    }
    boxes.show(notificationBox,
               QString::fromUtf8("초기 비밀번호입니다.\n비밀번호 변경 후 접속할 수 "
                                 "있습니다.\n비밀번호 변경화면으로 이동합니다."),
               this, [this, form, keys] {
                   for (QWidget* part : form) {
                       part->show();
                   }
                   formShown = true;
                   keys->focusFirst();
               });
}

Frame_5_New_Password::~Frame_5_New_Password() = default;

void Frame_5_New_Password::slot_recvinfo(Json::Value result)
{
    qInfo("Recv Data Frame NewPW");
    if (!formShown) {
        qWarning("Frame NewPW: ignored a message that came before the form was shown");
        return;
    }
    const std::optional<int> frameIndex = JsonText::frameIndexOf(result);
    if (!frameIndex) {
        qWarning("Frame NewPW: ignored a message whose FrameIndex is not readable");
        return;
    }
    if (*frameIndex & Protocol::BitShowText) {
        const std::optional<std::string> text = JsonText::resultText(result);
        if (!text) {
            qWarning("Frame NewPW: ignored a notice whose result is not a text");
            return;
        }
        boxes.show(notificationBox, LocalText::decode(*text), this);
        return;
    }
    // Anything else is the main program's confirmation that the password was changed.
    boxes.show(notificationBox, QString::fromUtf8("비밀번호 변경 완료"), this,
               [this] { emit sendSignalData(SignInReturn::afterDone(kNewPassword)); });
}

void Frame_5_New_Password::bt_back_clicked()
{
    emit sendSignalData(SignInReturn::back());
}

void Frame_5_New_Password::bt_confirm_clicked()
{
    const QString password = ui->le_newPassword->text();
    if (password != ui->le_newPasswordConfirm->text()) {
        boxes.show(notificationBox, QString::fromUtf8("비밀번호가 일치하지 않습니다."), this);
        return;
    }

    const std::string bytes = password.toUtf8().toStdString();
    const QString problem = PasswordRule::message(PasswordRule().checkPassword(bytes));
    if (!problem.isEmpty()) {
        boxes.show(notificationBox, problem, this);
        return;
    }

    Json::Value request(Json::objectValue);
    request["FrameIndex"] = kNewPassword;
    request["NewPW"] = passwordDigestField(bytes);
    emit sendSignalData(request);
}

void Frame_5_New_Password::le_input_flag()
{
    ui->bt_confirm->setEnabled(!ui->le_newPassword->text().isEmpty() && !ui->le_newPasswordConfirm->text().isEmpty());
}
