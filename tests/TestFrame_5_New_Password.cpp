// The new-password screen: the initial-password box before the screen is built, the mismatch
// and rule messages, the digest sent as NewPW, the completion box before the way back, and
// the exact bytes on the link.
#include "AccountScreens.h"
#include "Frame_5_New_Password.h"

#include <QLabel>
#include <QLineEdit>

using namespace AccountScreens;

namespace {

const char* const kInitialText =
    "초기 비밀번호입니다.\n비밀번호 변경 후 접속할 수 있습니다.\n비밀번호 변경화면으로 이동합니다.";

// SHA-512 of "Ak3!Pz9%" (Python's hashlib).
const QByteArray kDigest = "5f65751745abfb8228c7734aa1a5edea0e1b79635dbcd88d763062ccfa29ebb6"
                           "9c2df532fa768e5530bc0f304c1f1abfc30717798434c5b512e7d474dd81bdd5";

} // namespace

class TestFrame_5_New_Password : public QObject
{
    Q_OBJECT

private:
    TestPeer peer;
    std::unique_ptr<BoxRecorder> boxes;
    std::unique_ptr<Frame_5_New_Password> screen;
    std::unique_ptr<QSignalSpy> sent;

    QLineEdit* edit(const char* name) const { return child<QLineEdit>(screen.get(), name); }
    QPushButton* button(const char* name) const { return child<QPushButton>(screen.get(), name); }

    QString sentText(int i) const
    {
        if (i >= sent->count()) {
            return QString();
        }
        return QString::fromStdString(JsonText::writeCompact(sent->at(i).at(0).value<Json::Value>()));
    }

    void type(const QString& first, const QString& second)
    {
        QTest::keyClicks(edit("le_newPassword"), first);
        QTest::keyClicks(edit("le_newPasswordConfirm"), second);
    }

private slots:
    void initTestCase() { AccountScreens::initTestCase(peer); }

    void init()
    {
        boxes = std::make_unique<BoxRecorder>();
        screen = std::make_unique<Frame_5_New_Password>(nullptr, Json::Value());
        screen->show();
        sent = std::make_unique<QSignalSpy>(screen.get(), &Frame_5_New_Password::sendSignalData);
        boxes->texts.clear();
    }

    void cleanup()
    {
        sent.reset();
        screen.reset();
        boxes.reset();
    }

    void initialBoxBeforeTheWidgets()
    {
        screen.reset();
        bool fieldsExisted = true;
        boxes->answer = [&](NotificationBox* box) {
            fieldsExisted = box->parentWidget()->findChild<QLineEdit*>() != nullptr;
            pressOk(box);
        };
        Frame_5_New_Password built(nullptr, Json::Value());
        QCOMPARE(boxes->texts, QStringList{QString::fromUtf8(kInitialText)});
        QVERIFY(!fieldsExisted);
        QVERIFY(built.findChild<QLineEdit*>(QStringLiteral("le_newPassword")));
    }

    void widgets_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("lb_coment") << "lb_coment" << QRect(0, 20, 420, 41) << "비밀번호 변경" << true;
        QTest::newRow("bt_back") << "bt_back" << QRect(25, 30, 25, 25) << "" << true;
        QTest::newRow("label") << "label" << QRect(40, 90, 140, 20) << "신규 비밀번호" << true;
        QTest::newRow("le_newPassword") << "le_newPassword" << QRect(40, 120, 350, 40) << "" << true;
        QTest::newRow("label_2") << "label_2" << QRect(40, 200, 160, 20) << "신규 비밀번호 확인" << true;
        QTest::newRow("le_newPasswordConfirm") << "le_newPasswordConfirm" << QRect(40, 230, 350, 40) << "" << true;
        QTest::newRow("le_passCondition")
            << "le_passCondition" << QRect(48, 272, 271, 20) << "8자리 이상, 영문자+숫자+특수문자 조합" << true;
        QTest::newRow("bt_confirm") << "bt_confirm" << QRect(150, 340, 120, 35) << "확인" << false;
    }

    void widgets()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        QFETCH(bool, enabled);
        auto* widget = screen->findChild<QWidget*>(name);
        QVERIFY(widget);
        QCOMPARE(widget->geometry(), geometry);
        QCOMPARE(widget->isEnabled(), enabled);
        QVERIFY(widget->isVisible());
        QCOMPARE(widget->property("text").toString(), text);
        if (qobject_cast<QPushButton*>(widget)) {
            QCOMPARE(widget->focusPolicy(), Qt::NoFocus);
        }
    }

    void screenAndFields()
    {
        QCOMPARE(screen->objectName(), QStringLiteral("Frame_5_New_Password"));
        QCOMPARE(screen->windowTitle(), QStringLiteral("Frame_5_New_Password"));
        QCOMPARE(screen->size(), QSize(436, 459));
        for (const char* name : {"le_newPassword", "le_newPasswordConfirm"}) {
            QCOMPARE(edit(name)->maxLength(), 20);
            QCOMPARE(edit(name)->echoMode(), QLineEdit::Password);
            QVERIFY(!edit(name)->hasFrame());
        }
        QCOMPARE(child<QLabel>(screen.get(), "label")->buddy(), edit("le_newPassword"));
        QCOMPARE(child<QLabel>(screen.get(), "label_2")->buddy(), edit("le_newPasswordConfirm"));
        QCOMPARE(child<QLabel>(screen.get(), "lb_coment")->alignment(), Qt::AlignCenter);
        QCOMPARE(nextTabStop(edit("le_newPassword")), edit("le_newPasswordConfirm"));
        // The back arrow lies over the title and must stay clickable.
        QCOMPARE(screen->children().last(), button("bt_back"));
        QVERIFY(screen->styleSheet().contains(QStringLiteral("url(:/image/button/left_arrow.png)")));
    }

    void confirmEnabling()
    {
        QTest::keyClicks(edit("le_newPassword"), QStringLiteral("x"));
        QVERIFY(!button("bt_confirm")->isEnabled());
        QTest::keyClick(edit("le_newPasswordConfirm"), Qt::Key_Return);
        QVERIFY(boxes->texts.isEmpty());
        QTest::keyClicks(edit("le_newPasswordConfirm"), QStringLiteral("y"));
        QVERIFY(button("bt_confirm")->isEnabled());
        edit("le_newPassword")->clear();
        QVERIFY(!button("bt_confirm")->isEnabled());
        QTest::keyClick(edit("le_newPasswordConfirm"), Qt::Key_Return);
        QVERIFY(boxes->texts.isEmpty());
        QCOMPARE(sent->count(), 0);
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QString>("message");
        QTest::newRow("case differs") << "Ak3!Pz9%"
                                      << "ak3!Pz9%"
                                      << "비밀번호가 일치하지 않습니다.";
        // A mismatch is reported before the rules are tested.
        QTest::newRow("mismatch and short") << "a b"
                                            << "a c"
                                            << "비밀번호가 일치하지 않습니다.";
        QTest::newRow("7 characters") << "Ak3!Pz9"
                                      << "Ak3!Pz9"
                                      << "비밀번호를 8~20자리로 입력해주세요.";
        QTest::newRow("space") << "Ak3! Pz9%"
                               << "Ak3! Pz9%"
                               << "비밀번호에 공백이 존재합니다.";
        QTest::newRow("no special") << "Ak3mPz9qW"
                                    << "Ak3mPz9qW"
                                    << "비밀번호에 영문, 숫자, 특수문자를 넣어주세요.";
        QTest::newRow("equal neighbours") << "Akk3!Pz9"
                                          << "Akk3!Pz9"
                                          << "연속된 2자리 영문, 숫자는 사용할 수 없습니다.";
    }

    void refusals()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QString, message);
        type(first, second);
        QTest::keyClick(edit("le_newPasswordConfirm"), Qt::Key_Return);
        QCOMPARE(boxes->texts, QStringList{message});
        QCOMPARE(sent->count(), 0);
        QCOMPARE(edit("le_newPassword")->text(), first);
    }

    void acceptedPasswordSent()
    {
        type(QStringLiteral("Ak3!Pz9%"), QStringLiteral("Ak3!Pz9%"));
        button("bt_confirm")->click();
        QCOMPARE(sent->count(), 1);
        QCOMPARE(sentText(0), QString::fromLatin1("{\"FrameIndex\":7,\"NewPW\":\"" + kDigest + "\\u0000\"}\n"));
        QVERIFY(boxes->texts.isEmpty());
        QVERIFY(button("bt_confirm")->isEnabled());
        QCOMPARE(edit("le_newPasswordConfirm")->text(), QStringLiteral("Ak3!Pz9%"));
    }

    void noticeOnly()
    {
        screen->slot_recvinfo(update(97, LocalText::encode(QString::fromUtf8("이전 비밀번호와 같습니다."))));
        QCOMPARE(boxes->texts, QStringList{QString::fromUtf8("이전 비밀번호와 같습니다.")});
        QCOMPARE(sent->count(), 0);
    }

    void confirmationThenBackRoutine_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("result") << QByteArray(R"({"FrameIndex":64,"Info":{"result":"CHANGE-PASSWORD-OK"}})");
        // The content is not examined: an odd Info is still the confirmation.
        QTest::newRow("no Info") << QByteArray(R"({"FrameIndex":65})");
        QTest::newRow("Info array") << QByteArray(R"({"FrameIndex":64,"Info":[1]})");
    }

    void confirmationThenBackRoutine()
    {
        QFETCH(QByteArray, json);
        Json::Value message;
        std::string errors;
        QVERIFY(JsonText::parse(json.toStdString(), message, errors));
        int sentWhileOpen = -1;
        boxes->answer = [&](NotificationBox* box) {
            sentWhileOpen = sent->count();
            pressOk(box);
        };
        screen->slot_recvinfo(message);
        QCOMPARE(boxes->texts, QStringList{QString::fromUtf8("비밀번호 변경 완료")});
        QCOMPARE(sentWhileOpen, 0);
        QCOMPARE(sent->count(), 1);
        QCOMPARE(sentText(0), QStringLiteral("{\"FrameIndex\":7,\"Info\":\"BackRutin\"}\n"));
    }

    void badMessagesIgnored_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("FrameIndex text") << QByteArray(R"({"FrameIndex":"97","Info":{"result":"x"}})");
        QTest::newRow("FrameIndex object") << QByteArray(R"({"FrameIndex":{"n":64}})");
        QTest::newRow("notice, result array") << QByteArray(R"({"FrameIndex":97,"Info":{"result":["x"]}})");
        QTest::newRow("notice, Info text") << QByteArray(R"({"FrameIndex":97,"Info":"x"})");
        QTest::newRow("not an object") << QByteArray(R"([64])");
    }

    void badMessagesIgnored()
    {
        QFETCH(QByteArray, json);
        Json::Value message;
        std::string errors;
        QVERIFY(JsonText::parse(json.toStdString(), message, errors));
        screen->slot_recvinfo(message);
        QVERIFY(boxes->texts.isEmpty());
        QCOMPARE(sent->count(), 0);
    }

    // Shown by the main program, typed into, answered: the bytes it reads.
    void bytesOnTheWire()
    {
        screen.reset();
        LinkedWindow link(peer);
        QVERIFY(link.open());
        auto* screen7 = link.showScreen<Frame_5_New_Password>(7);
        QVERIFY(screen7);
        QCOMPARE(boxes->texts, QStringList{QString::fromUtf8(kInitialText)});
        link.peer.clear();

        QTest::keyClicks(child<QLineEdit>(screen7, "le_newPassword"), QStringLiteral("Ak3!Pz9%"));
        QTest::keyClicks(child<QLineEdit>(screen7, "le_newPasswordConfirm"), QStringLiteral("Ak3!Pz9%"));
        QTest::keyClick(child<QLineEdit>(screen7, "le_newPasswordConfirm"), Qt::Key_Return);
        const QByteArray newPassword = "{\"FrameIndex\":7,\"NewPW\":\"" + kDigest + "\\u0000\"}\n";
        QCOMPARE(link.take(newPassword.size()), newPassword);

        peer.send(update(64, "OK"), false);
        const QByteArray back = "{\"FrameIndex\":7,\"Info\":\"BackRutin\"}\n";
        QCOMPARE(link.take(back.size()), back);

        child<QPushButton>(screen7, "bt_back")->click();
        QCOMPARE(link.take(16), QByteArray("{\"FrameIndex\":1}\n"));
    }

    // Replaced while the completion box waits: nothing is sent for a screen that is gone.
    void replacedWhileTheCompletionBoxIsOpen()
    {
        screen.reset();
        LinkedWindow link(peer);
        QVERIFY(link.open());
        QPointer<Frame_5_New_Password> screen7 = link.showScreen<Frame_5_New_Password>(7);
        QVERIFY(screen7);
        link.peer.clear();
        QPointer<NotificationBox> open;
        boxes->answer = [&](NotificationBox* box) {
            open = box;
            peer.send(frameIndex(1), false);
            // Only if the box outlived its screen would this answer it.
            QTimer::singleShot(3000, box, [box] { pressOk(box); });
        };
        peer.send(update(64, "OK"), false);
        QTRY_VERIFY(!screen7);
        QVERIFY(!open);
        QTRY_COMPARE(link.window->frameManager()->currentNumber(), 1);
        QTest::qWait(50);
        QCOMPARE(peer.bytes(), QByteArray());
    }

    // Asked for again while its initial box waits: the newer screen is the one shown.
    void askedForAgainWhileBeingBuilt()
    {
        screen.reset();
        LinkedWindow link(peer);
        QVERIFY(link.open());
        int opened = 0;
        boxes->answer = [&](NotificationBox* box) {
            if (++opened == 1) {
                peer.send(frameIndex(7), false);
                QTimer::singleShot(200, box, [box] { pressOk(box); });
                return;
            }
            pressOk(box);
        };
        peer.send(frameIndex(7), false);
        QTRY_COMPARE(opened, 2);
        QTRY_COMPARE(link.window->frameManager()->currentNumber(), 7);
        QTest::qWait(300);
        auto* shown = qobject_cast<Frame_5_New_Password*>(link.window->frameManager()->currentScreen());
        QVERIFY(shown);
        QVERIFY(shown->findChild<QLineEdit*>(QStringLiteral("le_newPassword")));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(link.window->findChildren<Frame_5_New_Password*>().size(), 1);
    }
};

QTEST_MAIN(TestFrame_5_New_Password)
#include "TestFrame_5_New_Password.moc"
