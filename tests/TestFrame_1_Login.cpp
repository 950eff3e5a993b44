// The sign-in screen: the enabling of its buttons, the password rules before a request, the
// one-time-password step with its count-down and hold-off, the main program's texts in boxes,
// and the exact bytes each button puts on the link.
#include "AccountScreens.h"
#include "FocusWalk.h"
#include "Frame_1_Login.h"

#include <QLabel>
#include <QLineEdit>

using namespace AccountScreens;

class TestFrame_1_Login : public QObject
{
    Q_OBJECT

private:
    TestPeer peer;
    std::unique_ptr<BoxRecorder> boxes;
    std::unique_ptr<NotificationQueue> queue;
    std::unique_ptr<Frame_1_Login> screen;
    std::unique_ptr<QSignalSpy> sent;

    QLineEdit* edit(const char* name) const { return child<QLineEdit>(screen.get(), name); }
    QPushButton* button(const char* name) const { return child<QPushButton>(screen.get(), name); }
    QString timerText() const { return child<QLabel>(screen.get(), "label_timer")->text(); }
    QTimer* timer(const char* name) const { return child<QTimer>(screen.get(), name); }

    void signIn(const QString& password = QStringLiteral("Ak3!Pz9%"))
    {
        QTest::keyClicks(edit("le_userID"), QStringLiteral("kim"));
        QTest::keyClicks(edit("le_password"), password);
    }

    void otpNeeded() { screen->slot_recvinfo(notice(64, "AUTHENTICATE-OTP-NEED")); }

private slots:
    void initTestCase() { AccountScreens::initTestCase(peer); }

    void init()
    {
        boxes = std::make_unique<BoxRecorder>();
        queue = std::make_unique<NotificationQueue>(nullptr, false);
        screen = std::make_unique<Frame_1_Login>(nullptr, Json::Value(), *queue);
        screen->show();
        sent = std::make_unique<QSignalSpy>(screen.get(), &Frame_1_Login::sendSignalData);
    }

    void cleanup()
    {
        sent.reset();
        screen.reset();
        queue.reset();
        boxes.reset();
    }

    void requestEnabling()
    {
        QVERIFY(!edit("le_otp")->isEnabled());
        QVERIFY(!button("bt_otp_confirm")->isEnabled());
        QVERIFY(!child<QLabel>(screen.get(), "label_timer")->isVisible());
        QCOMPARE(edit("le_password")->echoMode(), QLineEdit::Password);
        QCOMPARE(edit("le_otp")->echoMode(), QLineEdit::Password);
        QTest::keyClicks(edit("le_userID"), QStringLiteral("kim"));
        QVERIFY(!button("bt_confirm")->isEnabled());
        QTest::keyClicks(edit("le_password"), QStringLiteral("x"));
        QVERIFY(button("bt_confirm")->isEnabled());
        edit("le_userID")->clear();
        QVERIFY(!button("bt_confirm")->isEnabled());
        // Return with an empty ID does nothing: no box, no message.
        QTest::keyClick(edit("le_password"), Qt::Key_Return);
        QCOMPARE(sent->count(), 0);
        QVERIFY(boxes->texts.isEmpty());
    }

    void ruleMessages_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("message");
        QTest::newRow("7 characters") << "Ak3!Pz9"
                                      << "비밀번호를 8~20자리로 입력해주세요.";
        QTest::newRow("space and short") << "a b"
                                         << "비밀번호에 공백이 존재합니다.";
    }

    void ruleMessages()
    {
        QFETCH(QString, password);
        QFETCH(QString, message);
        signIn(password);
        QTest::keyClick(edit("le_password"), Qt::Key_Return);
        QCOMPARE(boxes->texts, QStringList{message});
        QCOMPARE(sent->count(), 0);
        QCOMPARE(edit("le_password")->text(), password);
    }

    // The step itself is OtpStep's (TestOtpStep); here: what this screen makes of it, and
    // that its tick slots and widgets are the step's.
    void oneTimePasswordStep()
    {
        signIn();
        otpNeeded();
        QVERIFY(child<QLabel>(screen.get(), "label_timer")->isVisible());
        QCOMPARE(timerText(), QStringLiteral("3:00"));
        QVERIFY(!edit("le_userID")->isEnabled() && !edit("le_password")->isEnabled());
        QVERIFY(edit("le_otp")->isEnabled());
        QCOMPARE(screen->focusWidget(), edit("le_otp"));
        QCOMPARE(button("bt_confirm")->text(), QString::fromUtf8("재요청"));
        QVERIFY(!button("bt_confirm")->isEnabled());
        QVERIFY(timer("otpTimer")->isActive() && timer("reRequestTimer")->isActive());

        screen->otp_time_update();
        QCOMPARE(timerText(), QStringLiteral("2:59"));
        QTest::keyClicks(edit("le_otp"), QStringLiteral("a1b"));
        QTest::keyClick(edit("le_otp"), Qt::Key_Return);
        QCOMPARE(sent->count(), 0);
        QTest::keyClicks(edit("le_otp"), QStringLiteral("2"));
        QVERIFY(button("bt_otp_confirm")->isEnabled());

        ticks(screen.get(), 31, &Frame_1_Login::re_request_otp_time_update);
        QVERIFY(button("bt_confirm")->isEnabled());
        // The request again, with the ID and password of the locked fields.
        button("bt_confirm")->click();
        QCOMPARE(sentText(*sent, 0),
                 QStringLiteral("{\"FrameIndex\":1,\"login\":{\"id\":\"kim\",\"pw\":\"") + kDigestAk3 +
                     QStringLiteral("\\u0000\"}}\n"));
    }

    void noticesAndOtherResults()
    {
        signIn();
        screen->slot_recvinfo(notice(65, "AUTHENTICATE-OTP-NEED "));
        screen->slot_recvinfo(notice(64, "authenticate-otp-need"));
        QVERIFY(edit("le_userID")->isEnabled());
        QVERIFY(boxes->texts.isEmpty());

        otpNeeded();
        ticks(screen.get(), 5, &Frame_1_Login::otp_time_update);
        QTest::keyClicks(edit("le_otp"), QStringLiteral("a1b2"));
        screen->slot_recvinfo(notice(97, LocalText::encode(QString::fromUtf8("인증번호가 일치하지 않습니다."))));
        // Bit 32 wins over the result: the text is shown, the step does not restart.
        screen->slot_recvinfo(notice(96, "AUTHENTICATE-OTP-NEED"));
        QTRY_COMPARE(boxes->texts, (QStringList{QString::fromUtf8("인증번호가 일치하지 않습니다."),
                                                QStringLiteral("AUTHENTICATE-OTP-NEED")}));
        QCOMPARE(edit("le_otp")->text(), QStringLiteral("a1b2"));
        QVERIFY(button("bt_otp_confirm")->isEnabled());
        QCOMPARE(timerText(), QStringLiteral("2:55"));
        QCOMPARE(sent->count(), 0);
    }

    void badMessagesIgnored_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("FrameIndex text") << QByteArray(R"({"FrameIndex":"97","Info":{"result":"x"}})");
        QTest::newRow("FrameIndex too large")
            << QByteArray(R"({"FrameIndex":4294967360,"Info":{"result":"AUTHENTICATE-OTP-NEED"}})");
        QTest::newRow("Info array") << QByteArray(R"({"FrameIndex":64,"Info":["AUTHENTICATE-OTP-NEED"]})");
        QTest::newRow("result object") << QByteArray(R"({"FrameIndex":97,"Info":{"result":{"a":1}}})");
        QTest::newRow("not an object") << QByteArray(R"([97,"x"])");
    }

    void badMessagesIgnored()
    {
        QFETCH(QByteArray, json);
        signIn();
        screen->slot_recvinfo(parse(json));
        QVERIFY(boxes->texts.isEmpty());
        QVERIFY(edit("le_userID")->isEnabled());
    }

    // A second notice arrives while the first box is open: it opens once the first has been
    // dismissed, and the newest box is the one the screen keeps.
    void boxesInTurn()
    {
        QList<QPointer<NotificationBox>> open;
        int textsWhileFirstOpen = 0;
        boxes->answer = [&](NotificationBox* box) {
            open << box;
            if (open.size() == 1) {
                screen->slot_recvinfo(notice(97, "second"));
                textsWhileFirstOpen = boxes->texts.size();
            }
            pressOk(box);
        };
        screen->slot_recvinfo(notice(97, "first"));
        QTRY_COMPARE(boxes->texts, (QStringList{QStringLiteral("first"), QStringLiteral("second")}));
        QCOMPARE(textsWhileFirstOpen, 1);
        QTRY_COMPARE(open.size(), 2);
        QTRY_VERIFY(!open[0]);
        QCOMPARE(screen->findChildren<NotificationBox*>(), QList<NotificationBox*>{open[1].data()});
    }

    // What the main program reads: the request with the ID in CP949 and the digest, the
    // one-time password, the way to the reset screen.
    // By keys alone: the ID field first, then Tab through every enabled control in reading
    // order and back; Return and Space on a focused button press it.
    void keyboardWay()
    {
        QVERIFY(FocusWalk::activate(screen.get()));
        QCOMPARE(screen->focusWidget(), edit("le_userID"));
        signIn();
        const QStringList order = {"le_userID", "le_password", "bt_confirm", "bt_reset_pw"};
        QCOMPARE(FocusWalk::walk(screen.get()), order);
        QCOMPARE(FocusWalk::unreachedOrUnnamed(screen.get(), order), QStringList());
        QCOMPARE(FocusWalk::walk(screen.get(), false),
                 QStringList({"le_userID", "bt_reset_pw", "bt_confirm", "le_password"}));

        button("bt_confirm")->setFocus(Qt::TabFocusReason);
        QTest::keyClick(button("bt_confirm"), Qt::Key_Space);
        QCOMPARE(sent->count(), 1);
        otpNeeded();
        QCOMPARE(screen->focusWidget(), edit("le_otp"));
        QVERIFY(!FocusWalk::accessibleName(edit("le_otp")).isEmpty());
        screen->otp_time_update();
        QCOMPARE(edit("le_otp")->accessibleDescription(), QString::fromUtf8("남은 시간 2:59"));
        QTest::keyClicks(edit("le_otp"), QStringLiteral("1234"));
        const QStringList step = {"le_otp", "bt_otp_confirm", "bt_reset_pw"};
        QCOMPARE(FocusWalk::walk(screen.get()), step);
        QCOMPARE(FocusWalk::unreachedOrUnnamed(screen.get(), step), QStringList());
        // A tick of the count-downs leaves the focus where the user put it.
        button("bt_reset_pw")->setFocus(Qt::TabFocusReason);
        ticks(screen.get(), 31, &Frame_1_Login::re_request_otp_time_update);
        screen->otp_time_update();
        QCOMPARE(screen->focusWidget(), button("bt_reset_pw"));
        QTest::keyClick(button("bt_reset_pw"), Qt::Key_Return);
        QCOMPARE(sent->count(), 2);
        QCOMPARE(sentText(*sent, 1), QStringLiteral("{\"FrameIndex\":5}\n"));
    }

    void bytesOnTheWire()
    {
        screen.reset();
        LinkedWindow link(peer);
        QVERIFY(link.open());
        auto* login = link.showScreen<Frame_1_Login>(1);
        QVERIFY(login);

        commitText(child<QLineEdit>(login, "le_userID"), QString::fromUtf8("김철수"));
        QTest::keyClicks(child<QLineEdit>(login, "le_password"), QStringLiteral("Ak3!Pz9%"));
        QTest::keyClick(child<QLineEdit>(login, "le_password"), Qt::Key_Return);
        const QByteArray request =
            "{\"FrameIndex\":1,\"login\":{\"id\":\"\xb1\xe8\xc3\xb6\xbc\xf6\",\"pw\":\"" + kDigestAk3 + "\\u0000\"}}\n";
        QCOMPARE(link.take(request.size()), request);

        peer.send(notice(64, "AUTHENTICATE-OTP-NEED"), false);
        QTRY_VERIFY(child<QLineEdit>(login, "le_otp")->isEnabled());
        QTest::keyClicks(child<QLineEdit>(login, "le_otp"), QStringLiteral("7x9Z"));
        QTest::keyClick(child<QLineEdit>(login, "le_otp"), Qt::Key_Return);
        const QByteArray otp = "{\"FrameIndex\":1,\"login\":{\"otp\":\"7x9Z\"}}\n";
        QCOMPARE(link.take(otp.size()), otp);

        child<QPushButton>(login, "bt_reset_pw")->click();
        QCOMPARE(link.take(16), QByteArray("{\"FrameIndex\":5}\n"));
    }
};

QTEST_MAIN(TestFrame_1_Login)
#include "TestFrame_1_Login.moc"
