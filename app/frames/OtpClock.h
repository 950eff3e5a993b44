#pragma once

#include <QString>
#include <QTime>

// The one-time-password window shared by the sign-in and the reset screens: three minutes of
// validity, and a re-request allowed once the hold-off of 30 ticks has passed.
namespace OtpClock {

constexpr quint32 kValiditySeconds = 180;
constexpr quint32 kHoldOffTicks = 30;
constexpr int kTickMs = 1000;

// The time left after `elapsed` seconds as the count-down shows it ("m:ss").
inline QString remainingText(quint32 elapsed)
{
    const quint32 left = elapsed >= kValiditySeconds ? 0 : kValiditySeconds - elapsed;
    return QTime(0, int(left / 60), int(left % 60)).toString(QStringLiteral("m:ss"));
}

} // namespace OtpClock
