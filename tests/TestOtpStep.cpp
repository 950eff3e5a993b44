// The one-time-password step both account screens use: the enabling of the code field's
// confirmation and of the request, the three-minute count-down and the 30-tick hold-off, and a
// restart. The ticks are the test's to give, one call a second of the real timers.
#include "OtpStep.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <QtTest>

class TestOtpStep : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QWidget> form;
    QLineEdit* id = nullptr;
    QLineEdit* code = nullptr;
    QLabel* timer = nullptr;
    QPushButton* request = nullptr;
    QPushButton* confirm = nullptr;
    OtpStep* step = nullptr;

    // The screens' rule: the identity is complete while the ID field holds text.
    void typed(QLineEdit* field, const QString& text)
    {
        QTest::keyClicks(field, text);
        step->updateButtons(!id->text().isEmpty());
    }

    void validityTicks(int n)
    {
        for (int i = 0; i < n; ++i) {
            step->otp_time_update();
        }
    }

    void holdOffTicks(int n)
    {
        for (int i = 0; i < n; ++i) {
            step->re_request_otp_time_update();
        }
    }

    QTimer* timerNamed(const char* name) const { return step->findChild<QTimer*>(QLatin1String(name)); }

private slots:
    void init()
    {
        form = std::make_unique<QWidget>();
        id = new QLineEdit(form.get());
        code = new QLineEdit(form.get());
        timer = new QLabel(QStringLiteral("timer"), form.get());
        request = new QPushButton(form.get());
        confirm = new QPushButton(form.get());
        request->setEnabled(false);
        confirm->setEnabled(false);
        step = new OtpStep({{id}, code, timer, request, confirm}, form.get());
        connect(code, &QLineEdit::textChanged, this, [this] { step->updateButtons(!id->text().isEmpty()); });
        form->show();
    }

    void cleanup() { form.reset(); }

    void beforeTheStep()
    {
        QVERIFY(timer->isHidden());
        QCOMPARE(timer->text(), QStringLiteral("3:00"));
        typed(id, QStringLiteral("kim"));
        QVERIFY(request->isEnabled());
        id->clear();
        step->updateButtons(false);
        QVERIFY(!request->isEnabled());
        // Three characters are not a password; the fourth is, while no window has run out.
        typed(code, QStringLiteral("a1b"));
        QVERIFY(!confirm->isEnabled());
        typed(code, QStringLiteral("2"));
        QVERIFY(confirm->isEnabled());
    }

    void countDownAndExpiry()
    {
        typed(id, QStringLiteral("kim"));
        typed(code, QStringLiteral("99"));
        step->begin();
        QVERIFY(timer->isVisible());
        QCOMPARE(timer->text(), QStringLiteral("3:00"));
        QVERIFY(!id->isEnabled());
        QVERIFY(code->isEnabled() && code->text().isEmpty());
        QCOMPARE(form->focusWidget(), code);
        QVERIFY(!request->isEnabled() && !confirm->isEnabled());
        QVERIFY(timerNamed("otpTimer")->isActive() && timerNamed("reRequestTimer")->isActive());
        QCOMPARE(timerNamed("otpTimer")->interval(), 1000);
        QCOMPARE(timerNamed("reRequestTimer")->interval(), 1000);

        validityTicks(1);
        QCOMPARE(timer->text(), QStringLiteral("2:59"));
        typed(code, QStringLiteral("a1b2"));
        QVERIFY(confirm->isEnabled());
        validityTicks(59);
        QCOMPARE(timer->text(), QStringLiteral("2:00"));
        validityTicks(119);
        QCOMPARE(timer->text(), QStringLiteral("0:01"));
        QVERIFY(confirm->isEnabled());
        validityTicks(1);
        QCOMPARE(timer->text(), QStringLiteral("0:00"));
        QVERIFY(!timerNamed("otpTimer")->isActive());
        QVERIFY(!confirm->isEnabled());
        QVERIFY(!step->isValid());

        // Expired: retyping does not enable the confirmation, and a stray tick changes nothing.
        code->backspace();
        typed(code, QStringLiteral("9"));
        QVERIFY(!confirm->isEnabled());
        validityTicks(1);
        QCOMPARE(timer->text(), QStringLiteral("0:00"));

        // A new password opens a new window.
        step->begin();
        typed(code, QStringLiteral("a1b2"));
        QVERIFY(confirm->isEnabled());
    }

    void holdOffAndRestart()
    {
        typed(id, QStringLiteral("kim"));
        step->begin();
        holdOffTicks(30);
        // Typing (the rule runs on every change) does not open the request early.
        typed(code, QStringLiteral("a1b2"));
        QVERIFY(!request->isEnabled());
        holdOffTicks(1);
        QVERIFY(request->isEnabled());
        QVERIFY(!timerNamed("reRequestTimer")->isActive());
        validityTicks(40);

        // A new password: everything from zero; the shown time waits for the first tick.
        step->begin();
        QVERIFY(code->text().isEmpty());
        QVERIFY(!request->isEnabled() && !confirm->isEnabled());
        QVERIFY(timerNamed("otpTimer")->isActive() && timerNamed("reRequestTimer")->isActive());
        QCOMPARE(timer->text(), QStringLiteral("2:20"));
        validityTicks(1);
        QCOMPARE(timer->text(), QStringLiteral("2:59"));
        holdOffTicks(30);
        QVERIFY(!request->isEnabled());
        holdOffTicks(1);
        QVERIFY(request->isEnabled());
    }

    // The real timers drive the same ticks.
    void timersTick()
    {
        step->begin();
        QTRY_COMPARE_WITH_TIMEOUT(timer->text(), QStringLiteral("2:59"), 3000);
    }
};

QTEST_MAIN(TestOtpStep)
#include "TestOtpStep.moc"
