#include "OtpStep.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTime>
#include <QTimer>

namespace {

constexpr quint32 kValiditySeconds = 180;
constexpr quint32 kHoldOffTicks = 30;
constexpr int kTickMs = 1000;
// A one-time password has four characters.
constexpr int kCodeLength = 4;

} // namespace

OtpStep::OtpStep(const Widgets& widgets, QObject* parent) : QObject(parent), ui(widgets)
{
    otpTimer = new QTimer(this);
    otpTimer->setObjectName(QStringLiteral("otpTimer"));
    reRequestTimer = new QTimer(this);
    reRequestTimer->setObjectName(QStringLiteral("reRequestTimer"));
    connect(otpTimer, &QTimer::timeout, this, &OtpStep::otp_time_update);
    connect(reRequestTimer, &QTimer::timeout, this, &OtpStep::re_request_otp_time_update);
    ui.timer->hide();
    ui.timer->setText(remainingText());
}

OtpStep::~OtpStep() = default;

void OtpStep::begin()
{
    ui.timer->show();
    for (QWidget* field : ui.identity) {
        field->setEnabled(false);
    }
    ui.request->setEnabled(false);
    ui.confirm->setEnabled(false);
    // Before the code field is cleared: its change runs the enabling rule, which must not
    // enable the request again.
    requestAllowed = false;
    ui.code->clear();
    ui.code->setEnabled(true);
    otpTimer->start(kTickMs);
    reRequestTimer->start(kTickMs);
    reRequestCount = 0;
    otpCount = 0;
    ui.code->setAccessibleDescription(timeLeftText());
    ui.code->setFocus(Qt::OtherFocusReason);
}

void OtpStep::updateButtons(bool identityComplete)
{
    if (!identityComplete) {
        ui.request->setEnabled(false);
    } else if (requestAllowed) {
        ui.request->setEnabled(true);
    }

    if (ui.code->text().length() < kCodeLength) {
        ui.confirm->setEnabled(false);
    } else if (isValid()) {
        ui.confirm->setEnabled(true);
    }
}

bool OtpStep::isValid() const
{
    return otpCount < kValiditySeconds;
}

QString OtpStep::remainingText() const
{
    const quint32 left = otpCount >= kValiditySeconds ? 0 : kValiditySeconds - otpCount;
    return QTime(0, static_cast<int>(left / 60), static_cast<int>(left % 60)).toString(QStringLiteral("m:ss"));
}

QString OtpStep::timeLeftText() const
{
    return QString::fromUtf8("남은 시간 %1").arg(remainingText());
}

void OtpStep::otp_time_update()
{
    // The window has closed: further ticks change nothing, so the count never wraps.
    if (otpCount >= kValiditySeconds) {
        return;
    }
    ++otpCount;
    ui.timer->setText(remainingText());
    ui.code->setAccessibleDescription(timeLeftText());
    if (otpCount == kValiditySeconds) {
        ui.confirm->setEnabled(false);
        otpTimer->stop();
    }
}

void OtpStep::re_request_otp_time_update()
{
    if (reRequestCount >= kHoldOffTicks) {
        reRequestTimer->stop();
        ui.request->setEnabled(true);
        return;
    }
    ++reRequestCount;
}
