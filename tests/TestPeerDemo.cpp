// The decisions of `tavo_peer --demo`: which message answers which, and that what the client
// cannot read gets a line and no message. The demo walk (tools/demo-walk.sh) runs them against
// the real client.
#include "DemoMainProgram.h"
#include "JsonText.h"
#include "LocalText.h"

#include <QtTest>

namespace {

Json::Value parsed(const char* text)
{
    Json::Value value;
    std::string errors;
    JsonText::parse(text, value, errors);
    return value;
}

QString compact(const Json::Value& value)
{
    return QString::fromStdString(JsonText::writeCompact(value)).trimmed();
}

// The messages of the steps, in order, as compact text.
QStringList sent(const DemoMainProgram::Steps& steps)
{
    QStringList out;
    for (const DemoMainProgram::Step& step : steps) {
        if (step.message) {
            out << compact(*step.message);
        }
    }
    return out;
}

const Json::Value& onlyMessage(const DemoMainProgram::Steps& steps)
{
    static const Json::Value none;
    int count = 0;
    const Json::Value* found = &none;
    for (const DemoMainProgram::Step& step : steps) {
        if (step.message) {
            ++count;
            found = &*step.message;
        }
    }
    return count == 1 ? *found : none;
}

// A box text: bit 32 (and bit 64 when the screen stays), the text in CP949.
QString boxTextOf(const Json::Value& message, int frameIndex)
{
    if (!message.isObject() || message["FrameIndex"] != Json::Value(frameIndex) || !message["Info"].isObject()) {
        return QString();
    }
    return LocalText::decode(message["Info"]["result"].asString());
}

const char* const kSignIn = R"({"FrameIndex":1,"login":{"id":"newbie","pw":"ab"}})";

} // namespace

class TestPeerDemo : public QObject
{
    Q_OBJECT

private slots:
    void updateOfferDownloadAndSignIn()
    {
        DemoMainProgram::Timing timing;
        timing.checkMs = 900;
        timing.downloadStep = 30;
        DemoMainProgram demo(timing);
        const DemoMainProgram::Steps first = demo.begin();
        QCOMPARE(sent(first), QStringList{QStringLiteral("{\"FrameIndex\":64,\"Info\":{\"Update\":true}}")});
        QCOMPARE(first.back().delayMs, 900);

        QCOMPARE(sent(demo.react(parsed("{\"FrameIndex\":8}"))), QStringList{QStringLiteral("{\"FrameIndex\":1024}")});
        // The percentage counts up to exactly 100, then sign-in is shown.
        QCOMPARE(sent(demo.react(parsed("{\"FrameIndex\":1024}"))),
                 QStringList({QStringLiteral("{\"FrameIndex\":64,\"Info\":{}}"),
                              QStringLiteral("{\"FrameIndex\":64,\"Info\":{\"data\":0,\"per\":30}}"),
                              QStringLiteral("{\"FrameIndex\":64,\"Info\":{\"data\":0,\"per\":60}}"),
                              QStringLiteral("{\"FrameIndex\":64,\"Info\":{\"data\":0,\"per\":90}}"),
                              QStringLiteral("{\"FrameIndex\":64,\"Info\":{\"data\":0,\"per\":100}}"),
                              QStringLiteral("{\"FrameIndex\":1}")}));
        // A second acknowledgement does not download again.
        QVERIFY(sent(demo.react(parsed("{\"FrameIndex\":1024}"))).isEmpty());
    }

    void signInWithOneTimePassword()
    {
        DemoMainProgram demo;
        QCOMPARE(boxTextOf(onlyMessage(demo.react(parsed(R"({"FrameIndex":1,"login":{"otp":"1234"}})"))), 96),
                 QString::fromUtf8("인증번호를 먼저 요청해 주세요."));

        Json::Value request = parsed(R"({"FrameIndex":1,"login":{"pw":"ab"}})");
        request["login"]["id"] = LocalText::encode(QString::fromUtf8("김철수"));
        QCOMPARE(compact(onlyMessage(demo.react(request))),
                 QStringLiteral("{\"FrameIndex\":64,\"Info\":{\"result\":\"AUTHENTICATE-OTP-NEED\"}}"));

        const Json::Value wrong = onlyMessage(demo.react(parsed(R"({"FrameIndex":1,"login":{"otp":"1235"}})")));
        QCOMPARE(boxTextOf(wrong, 96), QString::fromUtf8("인증번호가 일치하지 않습니다."));
        // The text travels as CP949 bytes, not UTF-8.
        QCOMPARE(QByteArray::fromStdString(wrong["Info"]["result"].asString()).left(2), QByteArray("\xc0\xce"));

        const Json::Value list = onlyMessage(demo.react(parsed(R"({"FrameIndex":1,"login":{"otp":"1234"}})")));
        QCOMPARE(list["FrameIndex"], Json::Value(2));
        QCOMPARE(list["Info"], DemoMainProgram::pcList());
    }

    void initialPasswordLeadsToTheNewPasswordScreenOnce()
    {
        DemoMainProgram demo;
        demo.react(parsed(kSignIn));
        QCOMPARE(compact(onlyMessage(demo.react(parsed(R"({"FrameIndex":1,"login":{"otp":"1234"}})")))),
                 QStringLiteral("{\"FrameIndex\":7}"));
        QCOMPARE(compact(onlyMessage(demo.react(parsed(R"({"FrameIndex":7,"NewPW":"cd"})")))),
                 QStringLiteral("{\"FrameIndex\":64,\"Info\":{\"result\":\"CHANGE-PASSWORD-OK\"}}"));
        QCOMPARE(compact(onlyMessage(demo.react(parsed(R"({"FrameIndex":7,"Info":"BackRutin"})")))),
                 QStringLiteral("{\"FrameIndex\":1}"));
        // Changed now: the next sign-in reaches the list.
        demo.react(parsed(kSignIn));
        QCOMPARE(onlyMessage(demo.react(parsed(R"({"FrameIndex":1,"login":{"otp":"1234"}})")))["FrameIndex"],
                 Json::Value(2));
    }

    void passwordReset()
    {
        DemoMainProgram demo;
        QCOMPARE(compact(onlyMessage(demo.react(parsed("{\"FrameIndex\":5}")))), QStringLiteral("{\"FrameIndex\":5}"));
        QCOMPARE(boxTextOf(onlyMessage(demo.react(parsed(R"({"FrameIndex":6,"otp":"1234"})"))), 96),
                 QString::fromUtf8("인증번호를 먼저 요청해 주세요."));
        for (const char* phone : {"0101234567", "010123456789", "0101234567x", ""}) {
            const QByteArray request =
                QByteArray(R"({"FrameIndex":5,"user_prove":{"id":"hong","phone":")") + phone + "\"}}";
            QCOMPARE(boxTextOf(onlyMessage(demo.react(parsed(request.constData()))), 96),
                     QString::fromUtf8("휴대폰 번호 11자리를 입력해 주세요."));
        }
        QVERIFY(boxTextOf(onlyMessage(demo.react(
                              parsed(R"({"FrameIndex":5,"user_prove":{"id":"","phone":"01012345678"}})"))),
                          96)
                    .startsWith(QString::fromUtf8("휴대폰")));
        QCOMPARE(compact(onlyMessage(
                     demo.react(parsed(R"({"FrameIndex":5,"user_prove":{"id":"hong","phone":"01012345678"}})")))),
                 QStringLiteral("{\"FrameIndex\":64,\"Info\":{\"result\":\"USER-PROVE-OK\"}}"));
        QCOMPARE(boxTextOf(onlyMessage(demo.react(parsed(R"({"FrameIndex":6,"otp":"4321"})"))), 96),
                 QString::fromUtf8("인증번호가 일치하지 않습니다."));
        QCOMPARE(compact(onlyMessage(demo.react(parsed(R"({"FrameIndex":6,"otp":"1234"})")))),
                 QStringLiteral("{\"FrameIndex\":64,\"Info\":{\"result\":\"RESET-PASSWORD-OK\"}}"));
        QCOMPARE(compact(onlyMessage(demo.react(parsed(R"({"FrameIndex":6,"Info":"BackRutin"})")))),
                 QStringLiteral("{\"FrameIndex\":1}"));
        QCOMPARE(compact(onlyMessage(demo.react(parsed("{\"FrameIndex\":1}")))), QStringLiteral("{\"FrameIndex\":1}"));
    }

    void pcListStreamingOptionsAndProgress()
    {
        DemoMainProgram::Timing timing;
        timing.progressMs = 2500;
        DemoMainProgram demo(timing);

        const Json::Value pcs = DemoMainProgram::pcList();
        QCOMPARE(pcs.size(), 4u);
        QStringList states;
        for (const Json::Value& pc : pcs) {
            states << QString::fromStdString(pc["state"].asString());
        }
        QCOMPARE(states, QStringList({QStringLiteral("wait"), QStringLiteral("ready"), QStringLiteral("broken"),
                                      QStringLiteral("ready-fail")}));

        QCOMPARE(compact(onlyMessage(demo.react(parsed("{\"FrameIndex\":9}")))), QStringLiteral("{\"FrameIndex\":9}"));
        QCOMPARE(onlyMessage(demo.react(parsed(R"({"FrameIndex":9,"Video":{"Codec":"h264","Quality":5}})")))["Info"],
                 pcs);
        QCOMPARE(onlyMessage(demo.react(parsed("{\"FrameIndex\":2}")))["Info"], pcs);

        // A free PC: progress, and a little later the update that lets the client finish. Its
        // Info is a text, which the progress screen reads; an object would be ignored.
        const DemoMainProgram::Steps connect =
            demo.react(parsed(R"({"FrameIndex":2,"ResKey":"101","ResName":"PC","ResState":"wait"})"));
        QCOMPARE(sent(connect), QStringList({QStringLiteral("{\"FrameIndex\":3}"),
                                             QStringLiteral("{\"FrameIndex\":64,\"Info\":\"ready\"}")}));
        QCOMPARE(connect.back().delayMs, 2500);

        // Any other state ends the session with a final notice.
        QCOMPARE(boxTextOf(onlyMessage(demo.react(parsed(
                               R"({"FrameIndex":2,"ResKey":"103","ResName":"PC","ResState":"broken"})"))),
                           32),
                 QString::fromUtf8("선택한 PC에 지금 연결할 수 없습니다."));
    }

    void unreadableMessagesGetALineAndNoAnswer_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("array") << QByteArray("[1,2]");
        QTest::newRow("number as text") << QByteArray(R"({"FrameIndex":"1"})");
        QTest::newRow("login not an object") << QByteArray(R"({"FrameIndex":1,"login":"x"})");
        QTest::newRow("new password not a text") << QByteArray(R"({"FrameIndex":7,"NewPW":5})");
        QTest::newRow("unknown number") << QByteArray(R"({"FrameIndex":4})");
        QTest::newRow("exit notice") << QByteArray(R"({"FrameIndex":4496})");
        QTest::newRow("notice read") << QByteArray(R"({"FrameIndex":256})");
    }

    void unreadableMessagesGetALineAndNoAnswer()
    {
        QFETCH(QByteArray, message);
        DemoMainProgram demo;
        const DemoMainProgram::Steps steps = demo.react(parsed(message.constData()));
        QCOMPARE(steps.size(), size_t(1));
        QVERIFY(!steps.front().decision.isEmpty());
        QVERIFY(!steps.front().message);
    }
};

QTEST_GUILESS_MAIN(TestPeerDemo)
#include "TestPeerDemo.moc"
