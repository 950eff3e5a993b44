#include "OtpCountdown.h"

#include <QTime>
#include <QTimer>

namespace {

constexpr quint32 kValiditySeconds = 180;
constexpr quint32 kHoldOffTicks = 30;
constexpr int kTickMs = 1000;

} // namespace

OtpCountdown::OtpCountdown(QObject* parent) : QObject(parent)
{
    otpTimer = new QTimer(this);
    otpTimer->setObjectName(QStringLiteral("otpTimer"));
    reRequestTimer = new QTimer(this);
    reRequestTimer->setObjectName(QStringLiteral("reRequestTimer"));
    connect(otpTimer, &QTimer::timeout, this, &OtpCountdown::otp_time_update);
    connect(reRequestTimer, &QTimer::timeout, this, &OtpCountdown::re_request_otp_time_update);
}

OtpCountdown::~OtpCountdown() = default;

void OtpCountdown::start()
{
    otpTimer->start(kTickMs);
    reRequestTimer->start(kTickMs);
    reRequestCount = 0;
    otpCount = 0;
}

bool OtpCountdown::isValid() const
{
    return otpCount < kValiditySeconds;
}

QString OtpCountdown::remainingText() const
{
    const quint32 left = otpCount >= kValiditySeconds ? 0 : kValiditySeconds - otpCount;
    return QTime(0, static_cast<int>(left / 60), static_cast<int>(left % 60)).toString(QStringLiteral("m:ss"));
}

void OtpCountdown::otp_time_update()
{
    // The window has closed: further ticks change nothing, so the count never wraps.
    if (otpCount >= kValiditySeconds) {
        return;
    }
    ++otpCount;
    emit remainingChanged(remainingText());
    if (otpCount == kValiditySeconds) {
        emit expired();
        otpTimer->stop();
    }
}

void OtpCountdown::re_request_otp_time_update()
{
    if (reRequestCount >= kHoldOffTicks) {
        reRequestTimer->stop();
        emit reRequestAllowed();
        return;
    }
    ++reRequestCount;
}
