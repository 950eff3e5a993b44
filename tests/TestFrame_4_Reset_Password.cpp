// The password-reset screen: identity by ID and the eleven digits of the phone mask, the
// one-time-password step with its re-request pictures, the completion box before the way
// back, and the exact bytes on the link.
#include "AccountScreens.h"
#include "FocusWalk.h"
#include "Frame_4_Reset_Password.h"

#include <QLabel>
#include <QLineEdit>

using namespace AccountScreens;

class TestFrame_4_Reset_Password : public QObject
{
    Q_OBJECT

private:
    TestPeer peer;
    std::unique_ptr<BoxRecorder> boxes;
    std::unique_ptr<NotificationQueue> queue;
    std::unique_ptr<Frame_4_Reset_Password> screen;
    std::unique_ptr<QSignalSpy> sent;

    QLineEdit* edit(const char* name) const { return child<QLineEdit>(screen.get(), name); }
    QPushButton* button(const char* name) const { return child<QPushButton>(screen.get(), name); }
    QString timerText() const { return child<QLabel>(screen.get(), "label_timer")->text(); }

    void identity()
    {
        QTest::keyClicks(edit("le_userID"), QStringLiteral("kim"));
        QTest::keyClicks(edit("le_phoneNum"), QStringLiteral("01012345678"));
    }

    void proved() { screen->slot_recvinfo(notice(64, "USER-PROVE-OK")); }

private slots:
    void initTestCase() { AccountScreens::initTestCase(peer); }

    void init()
    {
        boxes = std::make_unique<BoxRecorder>();
        queue = std::make_unique<NotificationQueue>(nullptr, false);
        screen = std::make_unique<Frame_4_Reset_Password>(nullptr, Json::Value(), *queue);
        screen->show();
        sent = std::make_unique<QSignalSpy>(screen.get(), &Frame_4_Reset_Password::sendSignalData);
    }

    void cleanup()
    {
        sent.reset();
        screen.reset();
        queue.reset();
        boxes.reset();
    }

    // By keys alone: the ID field first, Tab through every enabled control and the way back;
    // the phone field reads as what was typed, and as nothing while it is empty.
    void keyboardWay()
    {
        QVERIFY(FocusWalk::activate(screen.get()));
        QCOMPARE(screen->focusWidget(), edit("le_userID"));
        QAccessibleInterface* phone = QAccessible::queryAccessibleInterface(edit("le_phoneNum"));
        QCOMPARE(phone->text(QAccessible::Value), QString());
        QCOMPARE(phone->textInterface()->characterCount(), 0);
        QCOMPARE(phone->text(QAccessible::Name), QString::fromUtf8("휴대폰 번호"));
        identity();
        QCOMPARE(phone->text(QAccessible::Value), QStringLiteral("010-1234-5678"));
        const QStringList order = {"le_userID", "le_phoneNum", "le_otp", "bt_req_OTP", "bt_back"};
        QCOMPARE(FocusWalk::walk(screen.get()), order);
        QCOMPARE(FocusWalk::unreachedOrUnnamed(screen.get(), order), QStringList());

        button("bt_back")->setFocus(Qt::TabFocusReason);
        QTest::keyClick(button("bt_back"), Qt::Key_Return);
        QCOMPARE(sent->count(), 1);
        QCOMPARE(sentText(*sent, 0), QStringLiteral("{\"FrameIndex\":1}\n"));
    }

    void phoneCompletesTheIdentity()
    {
        QCOMPARE(edit("le_phoneNum")->cursorPosition(), 0);
        QTest::keyClicks(edit("le_userID"), QStringLiteral("kim"));
        QTest::keyClicks(edit("le_phoneNum"), QStringLiteral("0101234567"));
        QCOMPARE(edit("le_phoneNum")->text(), QStringLiteral("010 - 1234 - 567"));
        QVERIFY(!button("bt_req_OTP")->isEnabled());
        QTest::keyClick(edit("le_phoneNum"), Qt::Key_Return);
        QCOMPARE(sent->count(), 0);
        QTest::keyClicks(edit("le_phoneNum"), QStringLiteral("8"));
        QVERIFY(button("bt_req_OTP")->isEnabled());
        QTest::keyClick(edit("le_phoneNum"), Qt::Key_Backspace);
        QVERIFY(!button("bt_req_OTP")->isEnabled());
        QTest::keyClicks(edit("le_phoneNum"), QStringLiteral("8"));
        edit("le_userID")->clear();
        QVERIFY(!button("bt_req_OTP")->isEnabled());
    }

    void otpBeforeAnyRequest()
    {
        QTest::keyClicks(edit("le_otp"), QStringLiteral("123"));
        QVERIFY(!button("bt_confirm")->isEnabled());
        QTest::keyClick(edit("le_otp"), Qt::Key_Return);
        QCOMPARE(sent->count(), 0);
        QTest::keyClicks(edit("le_otp"), QStringLiteral("4"));
        QTest::keyClick(edit("le_otp"), Qt::Key_Return);
        QCOMPARE(sentText(*sent, 0), QStringLiteral("{\"FrameIndex\":6,\"otp\":\"1234\"}\n"));
    }

    void oneTimePasswordStep()
    {
        identity();
        // Text in the one-time-password field before the step must not open the re-request.
        QTest::keyClicks(edit("le_otp"), QStringLiteral("99"));
        proved();
        QVERIFY(!edit("le_userID")->isEnabled() && !edit("le_phoneNum")->isEnabled());
        QVERIFY(edit("le_otp")->text().isEmpty());
        QCOMPARE(screen->focusWidget(), edit("le_otp"));
        QVERIFY(child<QLabel>(screen.get(), "label_timer")->isVisible());
        QCOMPARE(timerText(), QStringLiteral("3:00"));
        QCOMPARE(button("bt_req_OTP")->text(), QString::fromUtf8("요청"));
        QCOMPARE(button("bt_req_OTP")->styleSheet(),
                 QStringLiteral("#bt_req_OTP{border-image:url(:/resource/reotp_selected.png) 0 0 0 0 stretch "
                                "stretch;}#bt_req_OTP:disabled{border-image:url(:/resource/reotp_gray.png) 0 0 0 0 "
                                "stretch stretch;}"));
        QVERIFY(QFile::exists(QStringLiteral(":/resource/reotp_gray.png")));

        QTest::keyClicks(edit("le_otp"), QStringLiteral("5678"));
        QVERIFY(button("bt_confirm")->isEnabled());
        // The step's ticks (OtpStep, tested on its own) come through the screen's slots, and
        // its request is the screen's.
        screen->otp_time_update();
        QCOMPARE(timerText(), QStringLiteral("2:59"));
        ticks(screen.get(), 31, &Frame_4_Reset_Password::re_request_otp_time_update);
        QVERIFY(button("bt_req_OTP")->isEnabled());

        // The re-request sends the locked identity again; a new proof restarts the step.
        button("bt_req_OTP")->click();
        QCOMPARE(sentText(*sent, 0),
                 QStringLiteral("{\"FrameIndex\":5,\"user_prove\":{\"id\":\"kim\",\"phone\":\"01012345678\"}}\n"));
        proved();
        QVERIFY(!button("bt_req_OTP")->isEnabled());
        QTest::keyClicks(edit("le_otp"), QStringLiteral("1234"));
        QVERIFY(button("bt_confirm")->isEnabled());
    }

    void resultsAndNotices()
    {
        identity();
        screen->slot_recvinfo(notice(64, "USER-PROVE-OK."));
        screen->slot_recvinfo(notice(64, "user-prove-ok"));
        screen->slot_recvinfo(notice(64, "reset-password-ok"));
        QVERIFY(edit("le_userID")->isEnabled());
        QVERIFY(boxes->texts.isEmpty());
        // Bit 32 wins: the text is shown and the reset is not taken as done.
        screen->slot_recvinfo(notice(97, LocalText::encode(QString::fromUtf8("인증번호가 틀렸습니다."))));
        screen->slot_recvinfo(notice(96, "RESET-PASSWORD-OK"));
        QTRY_COMPARE(boxes->texts,
                     (QStringList{QString::fromUtf8("인증번호가 틀렸습니다."), QStringLiteral("RESET-PASSWORD-OK")}));
        QCOMPARE(sent->count(), 0);
        for (const char* bad : {R"({"FrameIndex":"64","Info":{"result":"USER-PROVE-OK"}})",
                                R"({"FrameIndex":4294967360,"Info":{"result":"USER-PROVE-OK"}})",
                                R"({"FrameIndex":64,"Info":["RESET-PASSWORD-OK"]})", R"("USER-PROVE-OK")"}) {
            screen->slot_recvinfo(parse(bad));
        }
        QCOMPARE(boxes->texts.size(), 2);
        QVERIFY(edit("le_userID")->isEnabled());
    }

    void backRoutineOnlyAfterTheBox()
    {
        int sentWhileOpen = -1;
        boxes->answer = [&](NotificationBox* box) {
            sentWhileOpen = sent->count();
            pressOk(box);
        };
        screen->slot_recvinfo(notice(64, "RESET-PASSWORD-OK"));
        QCOMPARE(boxes->texts, QStringList{QString::fromUtf8("비밀번호 초기화 완료")});
        QTRY_COMPARE(sent->count(), 1);
        QCOMPARE(sentWhileOpen, 0);
        QCOMPARE(sentText(*sent, 0), QStringLiteral("{\"FrameIndex\":6,\"Info\":\"BackRutin\"}\n"));
    }

    // Each button's message as the main program reads it.
    void bytesOnTheWire()
    {
        screen.reset();
        LinkedWindow link(peer);
        QVERIFY(link.open());
        auto* reset = link.showScreen<Frame_4_Reset_Password>(5);
        QVERIFY(reset);

        commitText(child<QLineEdit>(reset, "le_userID"), QString::fromUtf8("김철수"));
        QTest::keyClicks(child<QLineEdit>(reset, "le_phoneNum"), QStringLiteral("01098765432"));
        QTest::keyClick(child<QLineEdit>(reset, "le_phoneNum"), Qt::Key_Return);
        const QByteArray prove = "{\"FrameIndex\":5,\"user_prove\":{\"id\":\"\xb1\xe8\xc3\xb6\xbc\xf6\","
                                 "\"phone\":\"01098765432\"}}\n";
        QCOMPARE(link.take(prove.size()), prove);

        peer.send(notice(64, "USER-PROVE-OK"), false);
        QTRY_VERIFY(!child<QLineEdit>(reset, "le_phoneNum")->isEnabled());
        QTest::keyClicks(child<QLineEdit>(reset, "le_otp"), QStringLiteral("4821"));
        child<QPushButton>(reset, "bt_confirm")->click();
        const QByteArray otp = "{\"FrameIndex\":6,\"otp\":\"4821\"}\n";
        QCOMPARE(link.take(otp.size()), otp);

        peer.send(notice(64, "RESET-PASSWORD-OK"), false);
        const QByteArray back = "{\"FrameIndex\":6,\"Info\":\"BackRutin\"}\n";
        QCOMPARE(link.take(back.size()), back);

        child<QPushButton>(reset, "bt_back")->click();
        QCOMPARE(link.take(16), QByteArray("{\"FrameIndex\":1}\n"));
    }

    // Replaced while the completion box waits: the box goes with the screen, and the way back
    // is not sent from a screen that no longer exists.
    void replacedWhileTheCompletionBoxIsOpen()
    {
        screen.reset();
        LinkedWindow link(peer);
        QVERIFY(link.open());
        QPointer<Frame_4_Reset_Password> reset = link.showScreen<Frame_4_Reset_Password>(5);
        QVERIFY(reset);
        QPointer<NotificationBox> open;
        link.replaceWhileBoxOpen(*boxes, open);
        peer.send(notice(64, "RESET-PASSWORD-OK"), false);
        QTRY_VERIFY(!reset);
        QVERIFY(!open);
        QTRY_COMPARE(link.window->frameManager()->currentNumber(), 1);
        QTest::qWait(50);
        QCOMPARE(peer.bytes(), QByteArray());
    }
};

QTEST_MAIN(TestFrame_4_Reset_Password)
#include "TestFrame_4_Reset_Password.moc"
