// The password-reset screen: identity by ID and the eleven digits of the phone mask, the
// one-time-password step with its re-request pictures, the completion box before the way
// back, and the exact bytes on the link.
#include "AccountScreens.h"
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
    std::unique_ptr<Frame_4_Reset_Password> screen;
    std::unique_ptr<QSignalSpy> sent;

    QLineEdit* edit(const char* name) const { return child<QLineEdit>(screen.get(), name); }
    QPushButton* button(const char* name) const { return child<QPushButton>(screen.get(), name); }
    QLabel* timerLabel() const { return child<QLabel>(screen.get(), "label_timer"); }
    QTimer* timer(const char* name) const { return child<QTimer>(screen.get(), name); }

    // Empty when there is no such message, so a missing message fails the comparison.
    QString sentText(int i) const
    {
        if (i >= sent->count()) {
            return QString();
        }
        return QString::fromStdString(JsonText::writeCompact(sent->at(i).at(0).value<Json::Value>()));
    }

    void identity(const char* phoneDigits = "01012345678")
    {
        QTest::keyClicks(edit("le_userID"), QStringLiteral("kim"));
        QTest::keyClicks(edit("le_phoneNum"), QString::fromLatin1(phoneDigits));
    }

    void proved() { screen->slot_recvinfo(update(64, "USER-PROVE-OK")); }

    void ticks(int n, void (Frame_4_Reset_Password::*tick)())
    {
        for (int i = 0; i < n; ++i) {
            (screen.get()->*tick)();
        }
    }

private slots:
    void initTestCase() { AccountScreens::initTestCase(peer); }

    void init()
    {
        boxes = std::make_unique<BoxRecorder>();
        screen = std::make_unique<Frame_4_Reset_Password>(nullptr, Json::Value());
        screen->show();
        sent = std::make_unique<QSignalSpy>(screen.get(), &Frame_4_Reset_Password::sendSignalData);
    }

    void cleanup()
    {
        sent.reset();
        screen.reset();
        boxes.reset();
    }

    void widgets_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("visible");
        QTest::newRow("label_id") << "label_id" << QRect(30, 30, 190, 20) << "사용자 ID" << true << true;
        QTest::newRow("le_userID") << "le_userID" << QRect(30, 60, 350, 40) << "" << true << true;
        QTest::newRow("label_phone") << "label_phone" << QRect(30, 115, 190, 20) << "휴대폰 번호" << true << true;
        QTest::newRow("le_phoneNum") << "le_phoneNum" << QRect(30, 145, 350, 40) << " -  - " << true << true;
        QTest::newRow("label_auth") << "label_auth" << QRect(30, 200, 190, 20) << "인증번호" << true << true;
        QTest::newRow("le_otp") << "le_otp" << QRect(30, 230, 210, 40) << "" << true << true;
        QTest::newRow("label_timer") << "label_timer" << QRect(200, 240, 41, 21) << "3:00" << true << false;
        QTest::newRow("bt_req_OTP") << "bt_req_OTP" << QRect(260, 230, 120, 40) << "요청" << false << true;
        QTest::newRow("bt_confirm") << "bt_confirm" << QRect(30, 300, 350, 50) << "비밀번호 초기화" << false << true;
        QTest::newRow("bt_back") << "bt_back" << QRect(30, 360, 61, 20) << "돌아가기" << true << true;
    }

    void widgets()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        QFETCH(bool, enabled);
        QFETCH(bool, visible);
        auto* widget = screen->findChild<QWidget*>(name);
        QVERIFY(widget);
        QCOMPARE(widget->geometry(), geometry);
        QCOMPARE(widget->isEnabled(), enabled);
        QCOMPARE(widget->isVisible(), visible);
        QCOMPARE(widget->property("text").toString(), text);
        if (qobject_cast<QPushButton*>(widget)) {
            QCOMPARE(widget->focusPolicy(), Qt::NoFocus);
        }
    }

    void screenAndFields()
    {
        QCOMPARE(screen->objectName(), QStringLiteral("Frame_4_Reset_Password"));
        QCOMPARE(screen->windowTitle(), QStringLiteral("Frame_4_Reset_Password"));
        QCOMPARE(screen->size(), QSize(420, 420));
        QCOMPARE(edit("le_phoneNum")->inputMask(), QStringLiteral("999 - 9999 - 9999;_"));
        QCOMPARE(edit("le_phoneNum")->cursorPosition(), 0);
        QCOMPARE(edit("le_phoneNum")->focusPolicy(), Qt::StrongFocus);
        QCOMPARE(edit("le_otp")->focusPolicy(), Qt::StrongFocus);
        QCOMPARE(edit("le_otp")->echoMode(), QLineEdit::Password);
        QCOMPARE(edit("le_otp")->maxLength(), 4);
        QCOMPARE(edit("le_userID")->maxLength(), 20);
        QCOMPARE(child<QLabel>(screen.get(), "label_phone")->buddy(), edit("le_phoneNum"));
        QCOMPARE(nextTabStop(edit("le_userID")), edit("le_phoneNum"));
        QCOMPARE(nextTabStop(edit("le_phoneNum")), edit("le_otp"));
        // The count-down sits over the right end of the field.
        const QObjectList& order = screen->children();
        QVERIFY(order.indexOf(timerLabel()) > order.indexOf(edit("le_otp")));
        QVERIFY(button("bt_req_OTP")->styleSheet().isEmpty());
    }

    void phoneCompletesTheIdentity()
    {
        QTest::keyClicks(edit("le_userID"), QStringLiteral("kim"));
        QTest::keyClicks(edit("le_phoneNum"), QStringLiteral("0101234567"));
        QCOMPARE(edit("le_phoneNum")->text(), QStringLiteral("010 - 1234 - 567"));
        QVERIFY(!button("bt_req_OTP")->isEnabled());
        QTest::keyClick(edit("le_phoneNum"), Qt::Key_Return);
        QCOMPARE(sent->count(), 0);
        QTest::keyClicks(edit("le_phoneNum"), QStringLiteral("8"));
        QCOMPARE(edit("le_phoneNum")->text(), QStringLiteral("010 - 1234 - 5678"));
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
        QVERIFY(button("bt_confirm")->isEnabled());
        QTest::keyClick(edit("le_otp"), Qt::Key_Return);
        QCOMPARE(sent->count(), 1);
        QCOMPARE(sentText(0), QStringLiteral("{\"FrameIndex\":6,\"otp\":\"1234\"}\n"));
    }

    void otpStepBegins()
    {
        identity();
        QTest::keyClicks(edit("le_otp"), QStringLiteral("99"));
        proved();
        QVERIFY(!edit("le_userID")->isEnabled());
        QVERIFY(!edit("le_phoneNum")->isEnabled());
        QVERIFY(edit("le_otp")->text().isEmpty());
        QCOMPARE(screen->focusWidget(), edit("le_otp"));
        QVERIFY(timerLabel()->isVisible());
        QCOMPARE(timerLabel()->text(), QStringLiteral("3:00"));
        QVERIFY(!button("bt_req_OTP")->isEnabled());
        QVERIFY(!button("bt_confirm")->isEnabled());
        QCOMPARE(button("bt_req_OTP")->text(), QString::fromUtf8("요청"));
        QCOMPARE(button("bt_req_OTP")->styleSheet(),
                 QStringLiteral("#bt_req_OTP{border-image:url(:/resource/reotp_selected.png) 0 0 0 0 stretch "
                                "stretch;}#bt_req_OTP:disabled{border-image:url(:/resource/reotp_gray.png) 0 0 0 0 "
                                "stretch stretch;}"));
        QVERIFY(QFile::exists(QStringLiteral(":/resource/reotp_selected.png")));
        QVERIFY(QFile::exists(QStringLiteral(":/resource/reotp_gray.png")));
        QVERIFY(timer("otpTimer")->isActive());
        QVERIFY(timer("reRequestTimer")->isActive());
        QCOMPARE(timer("otpTimer")->interval(), 1000);
    }

    void holdOffAndCountDown()
    {
        identity();
        // Text in the one-time-password field before the step must not open the re-request.
        QTest::keyClicks(edit("le_otp"), QStringLiteral("99"));
        proved();
        QTest::keyClicks(edit("le_otp"), QStringLiteral("5678"));
        QVERIFY(button("bt_confirm")->isEnabled());
        ticks(30, &Frame_4_Reset_Password::re_request_otp_time_update);
        QVERIFY(!button("bt_req_OTP")->isEnabled());
        screen->re_request_otp_time_update();
        QVERIFY(button("bt_req_OTP")->isEnabled());
        QVERIFY(!timer("reRequestTimer")->isActive());

        screen->otp_time_update();
        QCOMPARE(timerLabel()->text(), QStringLiteral("2:59"));
        ticks(178, &Frame_4_Reset_Password::otp_time_update);
        QCOMPARE(timerLabel()->text(), QStringLiteral("0:01"));
        QVERIFY(button("bt_confirm")->isEnabled());
        screen->otp_time_update();
        QCOMPARE(timerLabel()->text(), QStringLiteral("0:00"));
        QVERIFY(!button("bt_confirm")->isEnabled());
        QVERIFY(!timer("otpTimer")->isActive());
        QTest::keyClick(edit("le_otp"), Qt::Key_Backspace);
        QTest::keyClicks(edit("le_otp"), QStringLiteral("9"));
        QVERIFY(!button("bt_confirm")->isEnabled());
        QTest::keyClick(edit("le_otp"), Qt::Key_Return);
        QCOMPARE(sent->count(), 0);

        // The re-request sends the locked identity again; a new proof restarts the window.
        button("bt_req_OTP")->click();
        QCOMPARE(sentText(0),
                 QStringLiteral("{\"FrameIndex\":5,\"user_prove\":{\"id\":\"kim\",\"phone\":\"01012345678\"}}\n"));
        proved();
        QVERIFY(!button("bt_req_OTP")->isEnabled());
        QTest::keyClicks(edit("le_otp"), QStringLiteral("1234"));
        QVERIFY(button("bt_confirm")->isEnabled());
        screen->otp_time_update();
        QCOMPARE(timerLabel()->text(), QStringLiteral("2:59"));
    }

    void resultsMatchExactly_data()
    {
        QTest::addColumn<QByteArray>("result");
        QTest::newRow("extra character") << QByteArray("USER-PROVE-OK.");
        QTest::newRow("lower case") << QByteArray("user-prove-ok");
        QTest::newRow("reset, lower case") << QByteArray("reset-password-ok");
        QTest::newRow("other") << QByteArray("AUTHENTICATE-OTP-NEED");
    }

    void resultsMatchExactly()
    {
        QFETCH(QByteArray, result);
        identity();
        screen->slot_recvinfo(update(64, result.toStdString()));
        QVERIFY(edit("le_userID")->isEnabled());
        QVERIFY(!timerLabel()->isVisible());
        QVERIFY(boxes->texts.isEmpty());
        QCOMPARE(sent->count(), 0);
    }

    void noticeKeepsTheStep()
    {
        identity();
        proved();
        ticks(3, &Frame_4_Reset_Password::otp_time_update);
        screen->slot_recvinfo(update(97, LocalText::encode(QString::fromUtf8("인증번호가 틀렸습니다."))));
        QCOMPARE(boxes->texts, QStringList{QString::fromUtf8("인증번호가 틀렸습니다.")});
        QVERIFY(timer("otpTimer")->isActive());
        QCOMPARE(timerLabel()->text(), QStringLiteral("2:57"));
        // Bit 32 wins: the text is shown and the reset is not taken as done.
        screen->slot_recvinfo(update(96, "RESET-PASSWORD-OK"));
        QCOMPARE(boxes->texts.last(), QStringLiteral("RESET-PASSWORD-OK"));
        QCOMPARE(sent->count(), 0);
    }

    void badMessagesIgnored_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("FrameIndex text") << QByteArray(R"({"FrameIndex":"64","Info":{"result":"USER-PROVE-OK"}})");
        QTest::newRow("FrameIndex huge") << QByteArray(
            R"({"FrameIndex":4294967360,"Info":{"result":"USER-PROVE-OK"}})");
        QTest::newRow("Info array") << QByteArray(R"({"FrameIndex":64,"Info":["RESET-PASSWORD-OK"]})");
        QTest::newRow("result object") << QByteArray(R"({"FrameIndex":97,"Info":{"result":{}}})");
        QTest::newRow("not an object") << QByteArray(R"("USER-PROVE-OK")");
    }

    void badMessagesIgnored()
    {
        QFETCH(QByteArray, json);
        Json::Value message;
        std::string errors;
        QVERIFY(JsonText::parse(json.toStdString(), message, errors));
        identity();
        screen->slot_recvinfo(message);
        QVERIFY(boxes->texts.isEmpty());
        QVERIFY(edit("le_userID")->isEnabled());
        QCOMPARE(sent->count(), 0);
    }

    void backRoutineOnlyAfterTheBox()
    {
        int sentWhileOpen = -1;
        boxes->answer = [&](NotificationBox* box) {
            sentWhileOpen = sent->count();
            pressOk(box);
        };
        screen->slot_recvinfo(update(64, "RESET-PASSWORD-OK"));
        QCOMPARE(boxes->texts, QStringList{QString::fromUtf8("비밀번호 초기화 완료")});
        QCOMPARE(sentWhileOpen, 0);
        QCOMPARE(sent->count(), 1);
        QCOMPARE(sentText(0), QStringLiteral("{\"FrameIndex\":6,\"Info\":\"BackRutin\"}\n"));
    }

    // Each button's message as the main program reads it.
    void bytesOnTheWire()
    {
        screen.reset();
        LinkedWindow link(peer);
        QVERIFY(link.open());
        auto* reset = link.showScreen<Frame_4_Reset_Password>(5);
        QVERIFY(reset);
        link.peer.clear();

        commitText(child<QLineEdit>(reset, "le_userID"), QString::fromUtf8("김철수"));
        QTest::keyClicks(child<QLineEdit>(reset, "le_phoneNum"), QStringLiteral("01098765432"));
        QTest::keyClick(child<QLineEdit>(reset, "le_phoneNum"), Qt::Key_Return);
        const QByteArray prove = "{\"FrameIndex\":5,\"user_prove\":{\"id\":\"\xb1\xe8\xc3\xb6\xbc\xf6\","
                                 "\"phone\":\"01098765432\"}}\n";
        QCOMPARE(link.take(prove.size()), prove);

        peer.send(update(64, "USER-PROVE-OK"), false);
        QTRY_VERIFY(!child<QLineEdit>(reset, "le_phoneNum")->isEnabled());
        QTest::keyClicks(child<QLineEdit>(reset, "le_otp"), QStringLiteral("4821"));
        child<QPushButton>(reset, "bt_confirm")->click();
        const QByteArray otp = "{\"FrameIndex\":6,\"otp\":\"4821\"}\n";
        QCOMPARE(link.take(otp.size()), otp);

        peer.send(update(64, "RESET-PASSWORD-OK"), false);
        const QByteArray back = "{\"FrameIndex\":6,\"Info\":\"BackRutin\"}\n";
        QCOMPARE(link.take(back.size()), back);
        QCOMPARE(boxes->texts, QStringList{QString::fromUtf8("비밀번호 초기화 완료")});

        child<QPushButton>(reset, "bt_back")->click();
        QCOMPARE(link.take(16), QByteArray("{\"FrameIndex\":1}\n"));
    }

    // The main program replaces the screen while the completion box waits: the box goes
    // with the screen and the way back is not sent from a screen that no longer exists.
    void replacedWhileTheCompletionBoxIsOpen()
    {
        screen.reset();
        LinkedWindow link(peer);
        QVERIFY(link.open());
        QPointer<Frame_4_Reset_Password> reset = link.showScreen<Frame_4_Reset_Password>(5);
        QVERIFY(reset);
        link.peer.clear();
        QPointer<NotificationBox> open;
        boxes->answer = [&](NotificationBox* box) {
            open = box;
            peer.send(frameIndex(1), false);
            // Only if the box outlived its screen would this answer it.
            QTimer::singleShot(3000, box, [box] { pressOk(box); });
        };
        peer.send(update(64, "RESET-PASSWORD-OK"), false);
        QTRY_VERIFY(!reset);
        QVERIFY(!open);
        QTRY_COMPARE(link.window->frameManager()->currentNumber(), 1);
        QTest::qWait(50);
        QCOMPARE(peer.bytes(), QByteArray());
        QVERIFY(link.window->isVisible());
    }
};

QTEST_MAIN(TestFrame_4_Reset_Password)
#include "TestFrame_4_Reset_Password.moc"
