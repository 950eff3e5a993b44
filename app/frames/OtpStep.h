#pragma once

#include <QObject>
#include <QString>

#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QWidget;

// The one-time-password step of the sign-in and the reset screens: three minutes of validity
// counted down by the second, and a hold-off of 30 ticks before the user may ask for a new
// password. It owns the count-downs and the enabling of the code field and of the screen's two
// buttons: the request (first the identity, then again a new password) and the confirmation.
class OtpStep : public QObject
{
    Q_OBJECT

public:
    struct Widgets
    {
        // The fields that identify the user; locked once the step has begun.
        std::vector<QWidget*> identity;
        QLineEdit* code = nullptr;
        QLabel* timer = nullptr;
        QPushButton* request = nullptr;
        QPushButton* confirm = nullptr;
    };

    OtpStep(const Widgets& widgets, QObject* parent);
    ~OtpStep() override;

    // The step's start, and its restart on a new password: identity locked, both buttons off,
    // the code field cleared and focused, both counts from zero. The shown time stays as it is
    // until the first tick.
    void begin();

    // The enabling rule, on every change of the fields: the request while the identity is
    // complete (once the step has begun, only the hold-off enables it again), the confirmation
    // while four characters are typed and the password is still valid.
    void updateButtons(bool identityComplete);

    // Whether a one-time password typed now may still be sent: true until a window has run out.
    bool isValid() const;

public slots:
    // One tick of the validity and of the hold-off, as the timers give them once a second.
    void otp_time_update();
    void re_request_otp_time_update();

private:
    QString remainingText() const;
    // What a screen reader says about the code field: the time left, as the timer shows it.
    QString timeLeftText() const;

    const Widgets ui;
    QTimer* otpTimer = nullptr;
    QTimer* reRequestTimer = nullptr;
    quint32 reRequestCount = 0;
    quint32 otpCount = 0;
    // Once the step has begun, only the hold-off may enable the request again.
    bool requestAllowed = true;
};
