// The sign-in screen: its widgets, the enabling of its buttons, the password rules before a
// request, the one-time-password step with its count-down and hold-off, the main program's
// texts in boxes, and the exact bytes each button puts on the link.
#include "AccountScreens.h"
#include "Frame_1_Login.h"

#include <QLabel>
#include <QLineEdit>

using namespace AccountScreens;

namespace {

// SHA-512 of "Ak3!Pz9%" (Python's hashlib).
const QByteArray kDigest = "5f65751745abfb8228c7734aa1a5edea0e1b79635dbcd88d763062ccfa29ebb6"
                           "9c2df532fa768e5530bc0f304c1f1abfc30717798434c5b512e7d474dd81bdd5";

} // namespace

class TestFrame_1_Login : public QObject
{
    Q_OBJECT

private:
    TestPeer peer;
    std::unique_ptr<BoxRecorder> boxes;
    std::unique_ptr<Frame_1_Login> screen;
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

    void signIn(const char* id = "kim", const char* password = "Ak3!Pz9%")
    {
        QTest::keyClicks(edit("le_userID"), QString::fromUtf8(id));
        QTest::keyClicks(edit("le_password"), QString::fromUtf8(password));
    }

    void otpNeeded() { screen->slot_recvinfo(update(64, "AUTHENTICATE-OTP-NEED")); }

    void ticks(int n, void (Frame_1_Login::*tick)())
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
        screen = std::make_unique<Frame_1_Login>(nullptr, Json::Value());
        screen->show();
        sent = std::make_unique<QSignalSpy>(screen.get(), &Frame_1_Login::sendSignalData);
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
        QTest::newRow("label_user") << "label_user" << QRect(30, 30, 91, 20) << "사용자 ID" << true << true;
        QTest::newRow("le_userID") << "le_userID" << QRect(30, 60, 350, 40) << "" << true << true;
        QTest::newRow("label_pass") << "label_pass" << QRect(30, 115, 91, 20) << "비밀번호" << true << true;
        QTest::newRow("le_password") << "le_password" << QRect(30, 145, 350, 40) << "" << true << true;
        QTest::newRow("label_auth") << "label_auth" << QRect(30, 200, 190, 20) << "인증번호" << true << true;
        QTest::newRow("le_otp") << "le_otp" << QRect(30, 230, 210, 40) << "" << false << true;
        QTest::newRow("label_timer") << "label_timer" << QRect(200, 240, 41, 21) << "3:00" << true << false;
        QTest::newRow("bt_confirm") << "bt_confirm" << QRect(260, 230, 120, 40) << "요청" << false << true;
        QTest::newRow("bt_otp_confirm") << "bt_otp_confirm" << QRect(30, 300, 350, 50) << "로그인" << false << true;
        QTest::newRow("bt_reset_pw") << "bt_reset_pw" << QRect(30, 360, 111, 20) << "비밀번호 초기화" << true << true;
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
        QCOMPARE(screen->objectName(), QStringLiteral("Frame_1_Login"));
        QCOMPARE(screen->windowTitle(), QStringLiteral("Frame_1_Login"));
        QCOMPARE(screen->font().weight(), int(QFont::Bold));
        QCOMPARE(button("bt_otp_confirm")->font().weight(), int(QFont::Bold));
        QCOMPARE(edit("le_userID")->echoMode(), QLineEdit::Normal);
        QCOMPARE(edit("le_password")->echoMode(), QLineEdit::Password);
        QCOMPARE(edit("le_otp")->echoMode(), QLineEdit::Password);
        QCOMPARE(edit("le_userID")->maxLength(), 20);
        QCOMPARE(edit("le_password")->maxLength(), 20);
        QCOMPARE(edit("le_otp")->maxLength(), 4);
        QVERIFY(!edit("le_userID")->hasFrame());
        QCOMPARE(child<QLabel>(screen.get(), "label_user")->buddy(), edit("le_userID"));
        QCOMPARE(child<QLabel>(screen.get(), "label_pass")->buddy(), edit("le_password"));
        QCOMPARE(child<QLabel>(screen.get(), "label_auth")->buddy(), edit("le_otp"));
        QVERIFY(!timer("otpTimer")->isActive());
        QVERIFY(!timer("reRequestTimer")->isActive());
        QVERIFY(screen->styleSheet().contains(QStringLiteral("#bt_confirm:disabled")));
    }

    void requestEnabling()
    {
        QTest::keyClicks(edit("le_userID"), QStringLiteral("kim"));
        QVERIFY(!button("bt_confirm")->isEnabled());
        QTest::keyClick(edit("le_password"), Qt::Key_Return);
        QTest::keyClicks(edit("le_password"), QStringLiteral("x"));
        QVERIFY(button("bt_confirm")->isEnabled());
        edit("le_userID")->clear();
        QVERIFY(!button("bt_confirm")->isEnabled());
        // Return with an empty ID does nothing: no box, no message.
        QTest::keyClick(edit("le_password"), Qt::Key_Return);
        QCOMPARE(sent->count(), 0);
        QVERIFY(boxes->texts.isEmpty());
        QVERIFY(!button("bt_otp_confirm")->isEnabled());
        QVERIFY(!edit("le_otp")->isEnabled());
    }

    void returnActsLikeTheButton()
    {
        signIn();
        QTest::keyClick(edit("le_password"), Qt::Key_Return);
        button("bt_confirm")->click();
        QCOMPARE(sent->count(), 2);
        QCOMPARE(sentText(0), sentText(1));
        // Nothing changes until the main program answers; each press sends again.
        QVERIFY(button("bt_confirm")->isEnabled());
        QCOMPARE(edit("le_password")->text(), QStringLiteral("Ak3!Pz9%"));
    }

    void ruleMessages_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("message");
        QTest::newRow("7 characters") << "Ak3!Pz9"
                                      << "비밀번호를 8~20자리로 입력해주세요.";
        QTest::newRow("space and short") << "a b"
                                         << "비밀번호에 공백이 존재합니다.";
        QTest::newRow("no special") << "Ak3mPz9qW"
                                    << "비밀번호에 영문, 숫자, 특수문자를 넣어주세요.";
        QTest::newRow("equal neighbours") << "Akk3!Pz9"
                                          << "연속된 2자리 영문, 숫자는 사용할 수 없습니다.";
    }

    void ruleMessages()
    {
        QFETCH(QString, password);
        QFETCH(QString, message);
        signIn("kim", password.toUtf8().constData());
        button("bt_confirm")->click();
        QCOMPARE(boxes->texts, QStringList{message});
        QCOMPARE(sent->count(), 0);
        QCOMPARE(edit("le_password")->text(), password);
        QVERIFY(button("bt_confirm")->isEnabled());
    }

    void otpStepBegins()
    {
        signIn();
        otpNeeded();
        QVERIFY(timerLabel()->isVisible());
        QCOMPARE(timerLabel()->text(), QStringLiteral("3:00"));
        QVERIFY(!edit("le_userID")->isEnabled());
        QVERIFY(!edit("le_password")->isEnabled());
        QVERIFY(edit("le_otp")->isEnabled());
        QCOMPARE(screen->focusWidget(), edit("le_otp"));
        QVERIFY(!button("bt_confirm")->isEnabled());
        QCOMPARE(button("bt_confirm")->text(), QString::fromUtf8("재요청"));
        QVERIFY(!button("bt_otp_confirm")->isEnabled());
        QVERIFY(timer("otpTimer")->isActive());
        QCOMPARE(timer("otpTimer")->interval(), 1000);
        QVERIFY(timer("reRequestTimer")->isActive());
        QCOMPARE(timer("reRequestTimer")->interval(), 1000);
        QVERIFY(boxes->texts.isEmpty());
    }

    void otherResultsIgnored_data()
    {
        QTest::addColumn<int>("frameIndex");
        QTest::addColumn<QByteArray>("result");
        QTest::newRow("other result") << 65 << QByteArray("LOGIN-FAIL");
        QTest::newRow("extra character") << 64 << QByteArray("AUTHENTICATE-OTP-NEED ");
        QTest::newRow("lower case") << 64 << QByteArray("authenticate-otp-need");
    }

    void otherResultsIgnored()
    {
        QFETCH(int, frameIndex);
        QFETCH(QByteArray, result);
        signIn();
        screen->slot_recvinfo(update(frameIndex, result.toStdString()));
        QVERIFY(!timerLabel()->isVisible());
        QVERIFY(edit("le_userID")->isEnabled());
        QVERIFY(button("bt_confirm")->isEnabled());
        QVERIFY(!timer("otpTimer")->isActive());
        QVERIFY(boxes->texts.isEmpty());
    }

    void countDownAndExpiry()
    {
        signIn();
        otpNeeded();
        screen->otp_time_update();
        QCOMPARE(timerLabel()->text(), QStringLiteral("2:59"));
        QTest::keyClicks(edit("le_otp"), QStringLiteral("a1b"));
        QVERIFY(!button("bt_otp_confirm")->isEnabled());
        QTest::keyClick(edit("le_otp"), Qt::Key_Return);
        QCOMPARE(sent->count(), 0);
        QTest::keyClicks(edit("le_otp"), QStringLiteral("2"));
        QVERIFY(button("bt_otp_confirm")->isEnabled());

        ticks(58, &Frame_1_Login::otp_time_update);
        QCOMPARE(timerLabel()->text(), QStringLiteral("2:01"));
        screen->otp_time_update();
        QCOMPARE(timerLabel()->text(), QStringLiteral("2:00"));
        ticks(119, &Frame_1_Login::otp_time_update);
        QCOMPARE(timerLabel()->text(), QStringLiteral("0:01"));
        QVERIFY(button("bt_otp_confirm")->isEnabled());
        QVERIFY(timer("otpTimer")->isActive());
        screen->otp_time_update();
        QCOMPARE(timerLabel()->text(), QStringLiteral("0:00"));
        QVERIFY(!timer("otpTimer")->isActive());
        QVERIFY(!button("bt_otp_confirm")->isEnabled());

        // Expired: retyping does not enable sign-in, and Return sends nothing.
        edit("le_otp")->backspace();
        QTest::keyClicks(edit("le_otp"), QStringLiteral("9"));
        QCOMPARE(edit("le_otp")->text().size(), 4);
        QVERIFY(!button("bt_otp_confirm")->isEnabled());
        QTest::keyClick(edit("le_otp"), Qt::Key_Return);
        QCOMPARE(sent->count(), 0);
        // A stray tick after the end changes nothing.
        screen->otp_time_update();
        QCOMPARE(timerLabel()->text(), QStringLiteral("0:00"));
    }

    void holdOff()
    {
        signIn();
        otpNeeded();
        ticks(30, &Frame_1_Login::re_request_otp_time_update);
        QVERIFY(!button("bt_confirm")->isEnabled());
        QVERIFY(timer("reRequestTimer")->isActive());
        // Typing the one-time password does not open the re-request early.
        QTest::keyClicks(edit("le_otp"), QStringLiteral("a1b2"));
        QVERIFY(!button("bt_confirm")->isEnabled());
        screen->re_request_otp_time_update();
        QVERIFY(button("bt_confirm")->isEnabled());
        QVERIFY(!timer("reRequestTimer")->isActive());
        button("bt_confirm")->click();
        QCOMPARE(sent->count(), 1);
        QCOMPARE(sentText(0), QString::fromLatin1("{\"FrameIndex\":1,\"login\":{\"id\":\"kim\",\"pw\":\"" + kDigest +
                                                  "\\u0000\"}}\n"));
    }

    void secondOtpNeedRestarts()
    {
        signIn();
        otpNeeded();
        ticks(31, &Frame_1_Login::re_request_otp_time_update);
        ticks(40, &Frame_1_Login::otp_time_update);
        QTest::keyClicks(edit("le_otp"), QStringLiteral("a1b2"));
        QVERIFY(button("bt_confirm")->isEnabled());
        QVERIFY(button("bt_otp_confirm")->isEnabled());

        otpNeeded();
        QVERIFY(edit("le_otp")->text().isEmpty());
        QVERIFY(!button("bt_confirm")->isEnabled());
        QVERIFY(!button("bt_otp_confirm")->isEnabled());
        QVERIFY(timer("otpTimer")->isActive());
        QVERIFY(timer("reRequestTimer")->isActive());
        // The label keeps its last value until the first tick of the new window.
        QCOMPARE(timerLabel()->text(), QStringLiteral("2:20"));
        screen->otp_time_update();
        QCOMPARE(timerLabel()->text(), QStringLiteral("2:59"));
        ticks(30, &Frame_1_Login::re_request_otp_time_update);
        QVERIFY(!button("bt_confirm")->isEnabled());
        screen->re_request_otp_time_update();
        QVERIFY(button("bt_confirm")->isEnabled());
    }

    void restartAfterExpiry()
    {
        signIn();
        otpNeeded();
        ticks(180, &Frame_1_Login::otp_time_update);
        QVERIFY(!timer("otpTimer")->isActive());
        otpNeeded();
        QTest::keyClicks(edit("le_otp"), QStringLiteral("a1b2"));
        QVERIFY(button("bt_otp_confirm")->isEnabled());
        screen->otp_time_update();
        QCOMPARE(timerLabel()->text(), QStringLiteral("2:59"));
    }

    void noticeChangesNothing()
    {
        signIn();
        otpNeeded();
        ticks(5, &Frame_1_Login::otp_time_update);
        QTest::keyClicks(edit("le_otp"), QStringLiteral("a1b2"));
        const std::string text = LocalText::encode(QString::fromUtf8("인증번호가 일치하지 않습니다."));
        screen->slot_recvinfo(update(97, text));
        QCOMPARE(boxes->texts, QStringList{QString::fromUtf8("인증번호가 일치하지 않습니다.")});
        QCOMPARE(edit("le_otp")->text(), QStringLiteral("a1b2"));
        QVERIFY(button("bt_otp_confirm")->isEnabled());
        QVERIFY(timer("otpTimer")->isActive());
        QCOMPARE(timerLabel()->text(), QStringLiteral("2:55"));
        // Bit 32 wins over the result: the text is shown, the step does not restart.
        screen->slot_recvinfo(update(96, "AUTHENTICATE-OTP-NEED"));
        QCOMPARE(boxes->texts.last(), QStringLiteral("AUTHENTICATE-OTP-NEED"));
        QCOMPARE(edit("le_otp")->text(), QStringLiteral("a1b2"));
        QCOMPARE(sent->count(), 0);
    }

    void countDownGoesOnWhileABoxWaits()
    {
        signIn();
        otpNeeded();
        boxes->answer = [this](NotificationBox* box) {
            screen->otp_time_update();
            pressOk(box);
        };
        screen->slot_recvinfo(update(97, "x"));
        QCOMPARE(timerLabel()->text(), QStringLiteral("2:59"));
    }

    void badMessagesIgnored_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("FrameIndex text") << QByteArray(R"({"FrameIndex":"97","Info":{"result":"x"}})");
        QTest::newRow("FrameIndex array")
            << QByteArray(R"({"FrameIndex":[64],"Info":{"result":"AUTHENTICATE-OTP-NEED"}})");
        QTest::newRow("FrameIndex fraction")
            << QByteArray(R"({"FrameIndex":64.5,"Info":{"result":"AUTHENTICATE-OTP-NEED"}})");
        QTest::newRow("Info text") << QByteArray(R"({"FrameIndex":97,"Info":"AUTHENTICATE-OTP-NEED"})");
        QTest::newRow("Info array") << QByteArray(R"({"FrameIndex":64,"Info":["AUTHENTICATE-OTP-NEED"]})");
        QTest::newRow("result object") << QByteArray(R"({"FrameIndex":97,"Info":{"result":{"a":1}}})");
        QTest::newRow("result array") << QByteArray(R"({"FrameIndex":64,"Info":{"result":["AUTHENTICATE-OTP-NEED"]}})");
        QTest::newRow("not an object") << QByteArray(R"([97,"x"])");
    }

    void badMessagesIgnored()
    {
        QFETCH(QByteArray, json);
        Json::Value message;
        std::string errors;
        QVERIFY(JsonText::parse(json.toStdString(), message, errors));
        signIn();
        screen->slot_recvinfo(message);
        QVERIFY(boxes->texts.isEmpty());
        QVERIFY(!timerLabel()->isVisible());
        QVERIFY(edit("le_userID")->isEnabled());
    }

    void missingResultShowsEmptyText()
    {
        screen->slot_recvinfo(frameIndex(96));
        QCOMPARE(boxes->texts, QStringList{QString()});
    }

    // A second notice arrives while the first box waits: both boxes live until their own
    // waits end, and the newest is the one kept.
    void nestedBoxes()
    {
        QList<QPointer<NotificationBox>> open;
        bool firstAliveDuringSecond = false;
        boxes->answer = [&](NotificationBox* box) {
            open << box;
            if (open.size() == 1) {
                screen->slot_recvinfo(update(97, "second"));
                firstAliveDuringSecond = !open[0].isNull() && open[0]->isVisible();
                pressOk(box);
                return;
            }
            pressOk(box);
        };
        screen->slot_recvinfo(update(97, "first"));
        QCOMPARE(boxes->texts, (QStringList{QStringLiteral("first"), QStringLiteral("second")}));
        QVERIFY(firstAliveDuringSecond);
        // The replaced box is released once its own wait is over.
        QVERIFY(!open[0]);
        QVERIFY(open[1]);
        QCOMPARE(screen->findChildren<NotificationBox*>().size(), 1);
        QCOMPARE(screen->findChild<NotificationBox*>(), open[1].data());
    }

    // What the main program reads: the request with the ID in CP949 and the digest, the
    // one-time password, the way to the reset screen.
    void bytesOnTheWire()
    {
        screen.reset();
        LinkedWindow link(peer);
        QVERIFY(link.open());
        auto* login = link.showScreen<Frame_1_Login>(1);
        QVERIFY(login);
        link.peer.clear();

        commitText(child<QLineEdit>(login, "le_userID"), QString::fromUtf8("김철수"));
        QTest::keyClicks(child<QLineEdit>(login, "le_password"), QStringLiteral("Ak3!Pz9%"));
        child<QPushButton>(login, "bt_confirm")->click();
        const QByteArray request =
            "{\"FrameIndex\":1,\"login\":{\"id\":\"\xb1\xe8\xc3\xb6\xbc\xf6\",\"pw\":\"" + kDigest + "\\u0000\"}}\n";
        QCOMPARE(link.take(request.size()), request);

        peer.send(update(64, "AUTHENTICATE-OTP-NEED"), false);
        QTRY_VERIFY(child<QLineEdit>(login, "le_otp")->isEnabled());
        QTest::keyClicks(child<QLineEdit>(login, "le_otp"), QStringLiteral("7x9Z"));
        QTest::keyClick(child<QLineEdit>(login, "le_otp"), Qt::Key_Return);
        const QByteArray otp = "{\"FrameIndex\":1,\"login\":{\"otp\":\"7x9Z\"}}\n";
        QCOMPARE(link.take(otp.size()), otp);

        peer.send(update(97, LocalText::encode(QString::fromUtf8("인증번호 오류"))), false);
        QTRY_COMPARE(boxes->texts, QStringList{QString::fromUtf8("인증번호 오류")});

        child<QPushButton>(login, "bt_reset_pw")->click();
        QCOMPARE(link.take(16), QByteArray("{\"FrameIndex\":5}\n"));
    }

    // The main program asks for another screen while this screen's box waits: the box goes
    // with the screen, and nothing touches the screen afterwards.
    void replacedWhileItsBoxIsOpen()
    {
        screen.reset();
        LinkedWindow link(peer);
        QVERIFY(link.open());
        QPointer<Frame_1_Login> login = link.showScreen<Frame_1_Login>(1);
        QVERIFY(login);
        QPointer<NotificationBox> open;
        boxes->answer = [&](NotificationBox* box) {
            open = box;
            peer.send(frameIndex(1), false);
            // Only if the box outlived its screen would this answer it.
            QTimer::singleShot(3000, box, [box] { pressOk(box); });
        };
        QTest::keyClicks(child<QLineEdit>(login, "le_userID"), QStringLiteral("kim"));
        QTest::keyClicks(child<QLineEdit>(login, "le_password"), QStringLiteral("short"));
        child<QPushButton>(login, "bt_confirm")->click();
        QVERIFY(!login);
        QVERIFY(!open);
        auto* fresh = qobject_cast<Frame_1_Login*>(link.window->frameManager()->currentScreen());
        QVERIFY(fresh);
        QVERIFY(child<QLineEdit>(fresh, "le_userID")->text().isEmpty());
        QCOMPARE(peer.bytes(), QByteArray());
    }
};

QTEST_MAIN(TestFrame_1_Login)
#include "TestFrame_1_Login.moc"
