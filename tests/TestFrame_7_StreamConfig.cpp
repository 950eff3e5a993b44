// The streaming options screen: its controls and their labels, the choice remembered across
// the screens of a run and dropped on back, and the bytes the real window writes.
#include "FocusWalk.h"
#include "Frame_7_StreamConfig.h"
#include "ScreenTestSupport.h"

#include <QLabel>
#include <QRadioButton>
#include <QSlider>

using ScreenTest::json;

class TestFrame_7_StreamConfig : public QObject
{
    Q_OBJECT

private:
    TestPeer peer;
    // One run: the screens made in a case share it, as the frame manager's do.
    RunState run;
    std::unique_ptr<Frame_7_StreamConfig> screen;

    template <class W> W* find(const char* name) const { return screen->findChild<W*>(QLatin1String(name)); }
    QRadioButton* h264() const { return find<QRadioButton>("rb_h264"); }
    QRadioButton* h265() const { return find<QRadioButton>("rb_h265"); }
    QSlider* slider() const { return find<QSlider>("slider_video_quality"); }
    QString qualityLabel() const { return find<QLabel>("lb_quality_state")->text(); }

    void reopen()
    {
        screen = std::make_unique<Frame_7_StreamConfig>(nullptr, Json::Value(), &run);
        screen->show();
    }

    Json::Value confirm()
    {
        QSignalSpy sent(screen.get(), &Frame_7_StreamConfig::sendSignalData);
        QTest::mouseClick(find<QPushButton>("bt_confirm"), Qt::LeftButton);
        return sent.count() == 1 ? sent.at(0).at(0).value<Json::Value>() : Json::Value();
    }

private slots:
    void initTestCase()
    {
        ScreenTest::initProgram();
        QVERIFY(peer.listen(0));
    }

    void init()
    {
        run = RunState();
        reopen();
    }

    void cleanup() { screen.reset(); }

    void firstScreenOfTheRun()
    {
        QVERIFY(h265()->isChecked());
        QVERIFY(!h264()->isChecked());
        QCOMPARE(slider()->value(), 3);
        QCOMPARE(qualityLabel(), QString::fromUtf8("균형"));
        // A click never takes the focus: a mouse user sees the screen as designed.
        for (QWidget* control : FocusWalk::controls(screen.get())) {
            QVERIFY2(control->focusPolicy() == Qt::TabFocus, qPrintable(control->objectName()));
        }
    }

    // By keys alone: the chosen codec first, Tab through every control, the slider named with
    // its level; focus and arrows send nothing, Return confirms.
    void keyboardWay()
    {
        QVERIFY(FocusWalk::activate(screen.get()));
        QCOMPARE(screen->focusWidget()->objectName(), QStringLiteral("rb_h265"));
        // The codec is one stop, whose arrows choose; Tab passes the codec not chosen.
        const QStringList order = {"rb_h265", "slider_video_quality", "bt_confirm", "bt_back"};
        QCOMPARE(FocusWalk::walk(screen.get()), order);
        QCOMPARE(FocusWalk::unreachedOrUnnamed(screen.get(), order), QStringList());
        QCOMPARE(FocusWalk::accessibleName(slider()), QString::fromUtf8("영상 화질"));
        QCOMPARE(slider()->accessibleDescription(), QString::fromUtf8("균형"));
        QSignalSpy sent(screen.get(), &Frame_7_StreamConfig::sendSignalData);
        QTest::keyClick(h265(), Qt::Key_Right);
        QVERIFY(h264()->isChecked());
        slider()->setFocus(Qt::TabFocusReason);
        QTest::keyClick(slider(), Qt::Key_Right);
        QCOMPARE(slider()->value(), 4);
        QCOMPARE(slider()->accessibleDescription(), QString::fromUtf8("화질 우선"));
        QCOMPARE(sent.count(), 0);
        QTest::keyClick(slider(), Qt::Key_Return);
        QCOMPARE(sent.count(), 1);
        QCOMPARE(sent.at(0).at(0).value<Json::Value>(),
                 json(R"({"FrameIndex":9,"Video":{"Codec":"h264","Quality":4}})"));
    }

    void qualityLabels_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("1") << 1 << QString::fromUtf8("속도 최우선");
        QTest::newRow("2") << 2 << QString::fromUtf8("속도 우선");
        QTest::newRow("3") << 3 << QString::fromUtf8("균형");
        QTest::newRow("4") << 4 << QString::fromUtf8("화질 우선");
        QTest::newRow("5") << 5 << QString::fromUtf8("화질 최우선");
    }

    void qualityLabels()
    {
        QFETCH(int, value);
        QFETCH(QString, text);
        slider()->setValue(value == 3 ? 1 : 3);
        slider()->setValue(value);
        QCOMPARE(qualityLabel(), text);
        // Out of range leaves the label as it is.
        screen->slider_value_changed(value + 5);
        QCOMPARE(qualityLabel(), text);
    }

    void confirmWithoutChanges()
    {
        const Json::Value sent = confirm();
        QCOMPARE(sent, json(R"({"FrameIndex":9,"Video":{"Codec":"h265","Quality":3}})"));
        QVERIFY(sent["Video"]["Quality"].isInt());
    }

    void choiceRememberedAcrossScreens()
    {
        QTest::mouseClick(h264(), Qt::LeftButton);
        QVERIFY(h264()->isChecked());
        QVERIFY(!h265()->isChecked());
        slider()->setValue(5);
        QCOMPARE(confirm(), json(R"({"FrameIndex":9,"Video":{"Codec":"h264","Quality":5}})"));

        reopen();
        QVERIFY(h264()->isChecked());
        QVERIFY(!h265()->isChecked());
        QCOMPARE(slider()->value(), 5);
        QCOMPARE(qualityLabel(), QString::fromUtf8("화질 최우선"));
        QCOMPARE(confirm(), json(R"({"FrameIndex":9,"Video":{"Codec":"h264","Quality":5}})"));

        // Back to H.265 and the lowest quality.
        QTest::mouseClick(h265(), Qt::LeftButton);
        slider()->setValue(1);
        QCOMPARE(confirm(), json(R"({"FrameIndex":9,"Video":{"Codec":"h265","Quality":1}})"));
        reopen();
        QVERIFY(h265()->isChecked());
        QCOMPARE(qualityLabel(), QString::fromUtf8("속도 최우선"));
    }

    void backDropsTheChoice()
    {
        slider()->setValue(4);
        QCOMPARE(confirm(), json(R"({"FrameIndex":9,"Video":{"Codec":"h265","Quality":4}})"));
        reopen();
        QTest::mouseClick(h264(), Qt::LeftButton);
        slider()->setValue(1);
        QSignalSpy sent(screen.get(), &Frame_7_StreamConfig::sendSignalData);
        QTest::mouseClick(find<QPushButton>("bt_back"), Qt::LeftButton);
        QCOMPARE(sent.count(), 1);
        QCOMPARE(sent.at(0).at(0).value<Json::Value>(), ScreenTest::message(2));

        reopen();
        QVERIFY(h265()->isChecked());
        QCOMPARE(slider()->value(), 4);
        QCOMPARE(qualityLabel(), QString::fromUtf8("화질 우선"));
    }

    // The real window against the peer: the confirmed choice and the way back, byte for byte.
    void bytesOnTheWire()
    {
        screen.reset();
        ScreenTest::LinkedWindow window(peer);
        QVERIFY(window.open());
        auto* shown = window.show<Frame_7_StreamConfig>(ScreenTest::message(9));
        QVERIFY(shown);
        ScreenTest::grab(window.get(), QStringLiteral("stream_options_first"));
        QTest::mouseClick(shown->findChild<QPushButton*>(QStringLiteral("bt_confirm")), Qt::LeftButton);
        const QByteArray first("{\"FrameIndex\":9,\"Video\":{\"Codec\":\"h265\",\"Quality\":3}}\n");
        QVERIFY(peer.waitForBytes(first.size()));
        QCOMPARE(peer.bytes(), first);

        peer.clear();
        shown = window.show<Frame_7_StreamConfig>(ScreenTest::message(9));
        QVERIFY(shown);
        QTest::mouseClick(shown->findChild<QRadioButton*>(QStringLiteral("rb_h264")), Qt::LeftButton);
        shown->findChild<QSlider*>(QStringLiteral("slider_video_quality"))->setValue(4);
        ScreenTest::grab(window.get(), QStringLiteral("stream_options_h264_4"));
        QTest::mouseClick(shown->findChild<QPushButton*>(QStringLiteral("bt_confirm")), Qt::LeftButton);
        QTest::mouseClick(shown->findChild<QPushButton*>(QStringLiteral("bt_back")), Qt::LeftButton);
        const QByteArray second("{\"FrameIndex\":9,\"Video\":{\"Codec\":\"h264\",\"Quality\":4}}\n"
                                "{\"FrameIndex\":2}\n");
        QVERIFY(peer.waitForBytes(second.size()));
        QCOMPARE(peer.bytes(), second);

        // The same choices by keys alone give the same bytes.
        peer.clear();
        shown = window.show<Frame_7_StreamConfig>(ScreenTest::message(9));
        QVERIFY(shown);
        QVERIFY(FocusWalk::activate(window.get()));
        QTest::keyClick(window.get()->focusWidget(), Qt::Key_Left);
        QTest::keyClick(window.get()->focusWidget(), Qt::Key_Tab);
        QTest::keyClick(window.get()->focusWidget(), Qt::Key_Left);
        QTest::keyClick(window.get()->focusWidget(), Qt::Key_Return);
        QTest::keyClick(window.get()->focusWidget(), Qt::Key_Tab);
        QTest::keyClick(window.get()->focusWidget(), Qt::Key_Tab);
        QCOMPARE(window.get()->focusWidget()->objectName(), QStringLiteral("bt_back"));
        QTest::keyClick(window.get()->focusWidget(), Qt::Key_Space);
        const QByteArray third("{\"FrameIndex\":9,\"Video\":{\"Codec\":\"h265\",\"Quality\":3}}\n"
                               "{\"FrameIndex\":2}\n");
        QVERIFY(peer.waitForBytes(third.size()));
        QCOMPARE(peer.bytes(), third);
    }
};

QTEST_MAIN(TestFrame_7_StreamConfig)
#include "TestFrame_7_StreamConfig.moc"
