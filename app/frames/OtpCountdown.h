#pragma once

#include <QObject>
#include <QString>

class QTimer;

// The one-time-password window of the sign-in and the reset screens: three minutes of
// validity counted down by the second, and a hold-off of 30 ticks before the user may ask for
// a new password. The screen owns the widgets and follows the signals.
class OtpCountdown : public QObject
{
    Q_OBJECT

public:
    explicit OtpCountdown(QObject* parent);
    ~OtpCountdown() override;

    // A new window: both counts from zero, both timers (re)started. The shown time is left as
    // it is until the first tick.
    void start();

    // Whether a one-time password typed now may still be sent: true until a window has run out.
    bool isValid() const;

    // The time left as the count-down shows it ("m:ss").
    QString remainingText() const;

signals:
    void remainingChanged(const QString& text);
    // On the tick that closes the window.
    void expired();
    // The hold-off is over: a new password may be asked for.
    void reRequestAllowed();

public slots:
    void otp_time_update();
    void re_request_otp_time_update();

private:
    QTimer* otpTimer = nullptr;
    QTimer* reRequestTimer = nullptr;
    quint32 reRequestCount = 0;
    quint32 otpCount = 0;
};
