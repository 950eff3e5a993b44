// The new-password screen: the initial-password box before the form shows, the mismatch
// and rule messages, the completion box before the way back, and the exact bytes on the link.
#include "AccountScreens.h"
#include "FocusWalk.h"
#include "Frame_5_New_Password.h"

#include <QLineEdit>

using namespace AccountScreens;

namespace {

const char* const kInitialText =
    "초기 비밀번호입니다.\n비밀번호 변경 후 접속할 수 있습니다.\n비밀번호 변경화면으로 이동합니다.";

} // namespace

class TestFrame_5_New_Password : public QObject
{
    Q_OBJECT

private:
    TestPeer peer;
    std::unique_ptr<BoxRecorder> boxes;
    std::unique_ptr<NotificationQueue> queue;
    std::unique_ptr<Frame_5_New_Password> screen;
    std::unique_ptr<QSignalSpy> sent;

    QLineEdit* edit(const char* name) const { return child<QLineEdit>(screen.get(), name); }
    QPushButton* button(const char* name) const { return child<QPushButton>(screen.get(), name); }

    // The form shows once the initial box has been answered.
    static bool formShown(QWidget* screen7)
    {
        return QTest::qWaitFor([screen7] { return child<QLineEdit>(screen7, "le_newPassword")->isVisible(); });
    }

private slots:
    void initTestCase() { AccountScreens::initTestCase(peer); }

    void init()
    {
        boxes = std::make_unique<BoxRecorder>();
        queue = std::make_unique<NotificationQueue>(nullptr, false);
        screen = std::make_unique<Frame_5_New_Password>(nullptr, Json::Value(), *queue);
        screen->show();
        sent = std::make_unique<QSignalSpy>(screen.get(), &Frame_5_New_Password::sendSignalData);
        QVERIFY(formShown(screen.get()));
        boxes->texts.clear();
    }

    void cleanup()
    {
        sent.reset();
        screen.reset();
        queue.reset();
        boxes.reset();
    }

    // By keys alone: the first field once the form shows, then Tab through every enabled
    // control; Return on the focused back arrow leaves.
    void keyboardWay()
    {
        QVERIFY(FocusWalk::activate(screen.get()));
        QCOMPARE(screen->focusWidget(), child<QLineEdit>(screen.get(), "le_newPassword"));
        QCOMPARE(FocusWalk::accessibleName(child<QPushButton>(screen.get(), "bt_back")), QString::fromUtf8("뒤로"));
        QTest::keyClicks(child<QLineEdit>(screen.get(), "le_newPassword"), QStringLiteral("Ak3!Pz9%"));
        QTest::keyClicks(child<QLineEdit>(screen.get(), "le_newPasswordConfirm"), QStringLiteral("Ak3!Pz9%"));
        const QStringList order = {"le_newPassword", "le_newPasswordConfirm", "bt_confirm", "bt_back"};
        QCOMPARE(FocusWalk::walk(screen.get()), order);
        QCOMPARE(FocusWalk::unreachedOrUnnamed(screen.get(), order), QStringList());
        child<QPushButton>(screen.get(), "bt_back")->setFocus(Qt::TabFocusReason);
        QTest::keyClick(child<QPushButton>(screen.get(), "bt_back"), Qt::Key_Return);
        QCOMPARE(sent->count(), 1);
        QCOMPARE(sentText(*sent, 0), QStringLiteral("{\"FrameIndex\":1}\n"));
    }

    // While the initial box is open the form is hidden, and the main program's messages are
    // not for it: nothing is shown or sent for them, before or after the box.
    void initialBoxBeforeTheForm()
    {
        int visibleWhileOpen = -1;
        NotificationQueue builtQueue(nullptr, false);
        Frame_5_New_Password built(nullptr, Json::Value(), builtQueue);
        QSignalSpy builtSent(&built, &Frame_5_New_Password::sendSignalData);
        boxes->answer = [&](NotificationBox* box) {
            visibleWhileOpen = 0;
            for (QWidget* part : built.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
                visibleWhileOpen += part->isVisible() && part != box ? 1 : 0;
            }
            built.slot_recvinfo(notice(64, "OK"));
            pressOk(box);
        };
        built.show();
        QCOMPARE(boxes->texts, QStringList{QString::fromUtf8(kInitialText)});
        QVERIFY(formShown(&built));
        QCOMPARE(visibleWhileOpen, 0);
        QTest::qWait(20);
        QCOMPARE(boxes->texts.size(), 1);
        QCOMPARE(builtSent.count(), 0);
        // The back arrow lies over the title and must stay clickable.
        QWidget* top = nullptr;
        for (QWidget* part : built.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            top = part->isWindow() ? top : part;
        }
        QCOMPARE(top, built.findChild<QPushButton*>(QStringLiteral("bt_back")));
    }

    void confirmEnabling()
    {
        QVERIFY(!button("bt_confirm")->isEnabled());
        QCOMPARE(edit("le_newPassword")->echoMode(), QLineEdit::Password);
        QCOMPARE(edit("le_newPasswordConfirm")->echoMode(), QLineEdit::Password);
        QTest::keyClicks(edit("le_newPassword"), QStringLiteral("x"));
        QVERIFY(!button("bt_confirm")->isEnabled());
        QTest::keyClick(edit("le_newPasswordConfirm"), Qt::Key_Return);
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
        const QString mismatch = QString::fromUtf8("비밀번호가 일치하지 않습니다.");
        QTest::newRow("case differs") << "Ak3!Pz9%"
                                      << "ak3!Pz9%" << mismatch;
        // A mismatch is reported before the rules are tested.
        QTest::newRow("mismatch and short") << "a b"
                                            << "a c" << mismatch;
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
        QTest::keyClicks(edit("le_newPassword"), first);
        QTest::keyClicks(edit("le_newPasswordConfirm"), second);
        QTest::keyClick(edit("le_newPasswordConfirm"), Qt::Key_Return);
        // Where the box breaks a long line depends on the platform's font metrics.
        QCOMPARE(boxes->texts.size(), 1);
        QCOMPARE(boxes->texts.first().replace(QLatin1Char('\n'), QLatin1Char(' ')), message);
        QCOMPARE(sent->count(), 0);
    }

    void updates()
    {
        int sentWhileOpen = -1;
        boxes->answer = [&](NotificationBox* box) {
            sentWhileOpen = sent->count();
            pressOk(box);
        };
        screen->slot_recvinfo(notice(97, LocalText::encode(QString::fromUtf8("이전 비밀번호와 같습니다."))));
        QCOMPARE(sent->count(), 0);
        for (const char* bad : {R"({"FrameIndex":"97","Info":{"result":"x"}})", R"({"FrameIndex":{"n":64}})",
                                R"({"FrameIndex":97,"Info":{"result":["x"]}})", R"([64])"}) {
            screen->slot_recvinfo(parse(bad));
        }
        QCOMPARE(boxes->texts.size(), 1);
        QCOMPARE(sent->count(), 0);
        // Anything else is the confirmation, whatever its content; the way back follows the box.
        screen->slot_recvinfo(parse(R"({"FrameIndex":65,"Info":[1]})"));
        QTRY_COMPARE(boxes->texts, (QStringList{QString::fromUtf8("이전 비밀번호와 같습니다."),
                                                QString::fromUtf8("비밀번호 변경 완료")}));
        QTRY_COMPARE(sent->count(), 1);
        QCOMPARE(sentWhileOpen, 0);
        QCOMPARE(sentText(*sent, 0), QStringLiteral("{\"FrameIndex\":7,\"Info\":\"BackRutin\"}\n"));
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
        QVERIFY(formShown(screen7));

        QTest::keyClicks(child<QLineEdit>(screen7, "le_newPassword"), QStringLiteral("Ak3!Pz9%"));
        QTest::keyClicks(child<QLineEdit>(screen7, "le_newPasswordConfirm"), QStringLiteral("Ak3!Pz9%"));
        QTest::keyClick(child<QLineEdit>(screen7, "le_newPasswordConfirm"), Qt::Key_Return);
        const QByteArray newPassword = "{\"FrameIndex\":7,\"NewPW\":\"" + kDigestAk3 + "\\u0000\"}\n";
        QCOMPARE(link.take(newPassword.size()), newPassword);
        QVERIFY(child<QPushButton>(screen7, "bt_confirm")->isEnabled());

        peer.send(notice(64, "OK"), false);
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
        QVERIFY(formShown(screen7));
        QPointer<NotificationBox> open;
        link.replaceWhileBoxOpen(*boxes, open);
        peer.send(notice(64, "OK"), false);
        QTRY_VERIFY(!screen7);
        QVERIFY(!open);
        QTRY_COMPARE(link.window->frameManager()->currentNumber(), 1);
        QTest::qWait(50);
        QCOMPARE(peer.bytes(), QByteArray());
    }
};

QTEST_MAIN(TestFrame_5_New_Password)
#include "TestFrame_5_New_Password.moc"
