// The streaming options as a user first meets them in a run. The choice is process-wide and
// TestFrame_7_StreamConfig resets it before every case, so only a process of its own sees the
// values the program starts with.
#include "Frame_7_StreamConfig.h"

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QtTest>

class TestFrame_7_FirstRun : public QObject
{
    Q_OBJECT

private slots:
    void firstScreenBeforeAnyChoice()
    {
        qRegisterMetaType<Json::Value>();
        Frame_7_StreamConfig screen(nullptr, Json::Value());
        screen.show();
        QVERIFY(screen.findChild<QRadioButton*>(QStringLiteral("rb_h265"))->isChecked());
        QVERIFY(!screen.findChild<QRadioButton*>(QStringLiteral("rb_h264"))->isChecked());
        QCOMPARE(screen.findChild<QSlider*>(QStringLiteral("slider_video_quality"))->value(), 3);
        QCOMPARE(screen.findChild<QLabel*>(QStringLiteral("lb_quality_state"))->text(), QString::fromUtf8("균형"));

        QSignalSpy sent(&screen, &Frame_7_StreamConfig::sendSignalData);
        QTest::mouseClick(screen.findChild<QPushButton*>(QStringLiteral("bt_confirm")), Qt::LeftButton);
        QCOMPARE(sent.count(), 1);
        Json::Value expected(Json::objectValue);
        expected["FrameIndex"] = 9;
        expected["Video"]["Codec"] = "h265";
        expected["Video"]["Quality"] = 3;
        QCOMPARE(sent.at(0).at(0).value<Json::Value>(), expected);
    }
};

QTEST_MAIN(TestFrame_7_FirstRun)
#include "TestFrame_7_FirstRun.moc"
