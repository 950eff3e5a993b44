#include "Frame_6_ForgeryCheck.h"
#include "ui_Frame_6_ForgeryCheck.h"

#include "JsonText.h"
#include "NotificationBox.h"
#include "NotificationQueue.h"
#include "Protocol.h"

#include <QMovie>
#include <QtDebug>

namespace {

constexpr int kUpdateAccepted = 8;
constexpr int kStageProgress = 0;
constexpr int kStageFailed = -1;
constexpr int kSpinnerSide = 280;
constexpr int kLineHeightPercent = 80;

const char* const kBrandLine = "Nimbara Workspace";

// One paragraph of the status label; the label holds two, the brand line above the status line.
QString paragraph(const QString& text)
{
    return QStringLiteral("<p style=\"line-height:%1%\">%2</p>").arg(kLineHeightPercent).arg(text);
}

QString statusText(const QString& statusLine)
{
    return paragraph(QString::fromLatin1(kBrandLine)) + paragraph(statusLine);
}

QString checkingLine()
{
    return QString::fromUtf8("위변조 검사 중입니다.");
}

QString downloadingLine()
{
    return QString::fromUtf8("최신버전 다운로드 중입니다.");
}

QString downloadErrorText()
{
    return QString::fromUtf8("다운로드 중 오류가 발생했습니다.\n관리자에게 문의해주세요.");
}

Json::Value updateAccepted()
{
    Json::Value message(Json::objectValue);
    message["FrameIndex"] = kUpdateAccepted;
    return message;
}

Json::Value closeRequest()
{
    Json::Value message(Json::objectValue);
    message["FrameIndex"] = Protocol::BitClose;
    message["Info"] = "Hash values do not match";
    return message;
}

} // namespace

Frame_6_ForgeryCheck::Frame_6_ForgeryCheck(QWidget* parent, const Json::Value& /*info*/, NotificationQueue& windowBoxes)
    : QWidget(parent), ui(std::make_unique<Ui::Frame_6_ForgeryCheck>()), boxes(windowBoxes)
{
    ui->setupUi(this);
    ui->lb_status->setText(statusText(checkingLine()));
    ui->lb_update->hide();

    movie = std::make_unique<QMovie>(QStringLiteral(":/image/loading/spinner.gif"));
    movie->setScaledSize(QSize(kSpinnerSide, kSpinnerSide));
    ui->lb_spinner->play(movie.get());
    ui->lb_spinner->show();
    movie->start();
}

Frame_6_ForgeryCheck::~Frame_6_ForgeryCheck() = default;

QString Frame_6_ForgeryCheck::percentText(float percent)
{
    return QString::asprintf(" %5.2f%%", static_cast<double>(percent));
}

void Frame_6_ForgeryCheck::slot_recvinfo(Json::Value result)
{
    const Json::Value& info = JsonText::member(result, "Info");
    if (!info.isObject() && !info.isNull()) {
        qWarning("Frame_6_ForgeryCheck: update ignored, \"Info\" is not an object");
        return;
    }
    const std::optional<bool> update = JsonText::toBool(JsonText::member(info, "Update"));
    if (!update) {
        qWarning("Frame_6_ForgeryCheck: update ignored, \"Update\" is not a boolean");
        return;
    }
    if (*update) {
        emit sendSignalData(updateAccepted());
        return;
    }

    const Json::Value& data = JsonText::member(info, "data");
    if (data.isNull()) {
        showDownloadStart();
        return;
    }
    const std::optional<int> stage = JsonText::readInt(data);
    if (!stage) {
        qWarning("Frame_6_ForgeryCheck: update ignored, \"data\" is not an integer");
        return;
    }
    if (*stage == kStageProgress) {
        const std::optional<float> percent = JsonText::toFloat(JsonText::member(info, "per"));
        if (!percent) {
            qWarning("Frame_6_ForgeryCheck: progress ignored, \"per\" is not a number");
            return;
        }
        // The percentage is only shown once the download has started.
        ui->lb_update->setText(percentText(*percent));
        return;
    }
    if (*stage == kStageFailed) {
        showDownloadError();
    }
}

void Frame_6_ForgeryCheck::showDownloadStart()
{
    movie->stop();
    ui->lb_status->setText(statusText(downloadingLine()));
    ui->lb_update->setText(percentText(0.0F));
    ui->lb_update->show();
    movie->start();
}

void Frame_6_ForgeryCheck::showDownloadError()
{
    // When a newer screen replaced this one while the box was open, the close request would
    // end a program that has moved on: it is dropped with the screen.
    boxes.show(notificationBox, downloadErrorText(), this, [this] { emit sendSignalData(closeRequest()); });
}
