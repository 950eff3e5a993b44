// What the client cannot read gets a line from `tavo_peer --demo` and no message. Which message
// answers which is the demo walk's to check (tools/demo-walk.sh), which takes the real client
// through the demo's screens and fails when the demo does not answer as it expects.
#include "DemoMainProgram.h"
#include "JsonText.h"

#include <QtTest>

namespace {

Json::Value parsed(const char* text)
{
    Json::Value value;
    std::string errors;
    JsonText::parse(text, value, errors);
    return value;
}

} // namespace

class TestPeerDemo : public QObject
{
    Q_OBJECT

private slots:
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
