// The progress screen: its texts and look, the step counter shared by a run, the jump to 99
// on any update, the finish one second after the last update, updates of every JSON type, and
// the window closing with only the exit notice on the wire.
#include "Frame_3_ProgressBar.h"
#include "ScreenTestSupport.h"

#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

using ScreenTest::json;

class TestFrame_3_ProgressBar : public QObject
{
    Q_OBJECT

private:
    TestPeer peer;
    // One run: the screens made in a case share it, as the frame manager's do.
    RunState run;
    std::unique_ptr<Frame_3_ProgressBar> screen;

    QString percent() const { return screen->findChild<QLabel*>(QStringLiteral("lb_percentage"))->text(); }
    int bar() const { return screen->findChild<QProgressBar*>(QStringLiteral("progressBar"))->value(); }
    QTimer* timer(const char* name) const { return screen->findChild<QTimer*>(QLatin1String(name)); }

    static void tick(Frame_3_ProgressBar* s, int times)
    {
        for (int i = 0; i < times; ++i) {
            s->tupdate();
        }
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
        screen = std::make_unique<Frame_3_ProgressBar>(nullptr, Json::Value(), &run);
    }

    void cleanup() { screen.reset(); }

    void startsAtZero()
    {
        QCOMPARE(percent(), QStringLiteral("0 %"));
        QCOMPARE(bar(), 0);
        QCOMPARE(screen->findChild<QLabel*>(QStringLiteral("le_sub_tilte"))->text(),
                 QString::fromUtf8("PC 접속 중 입니다. 잠시만 기다려 주세요…"));
        auto* text = screen->findChild<QLabel*>(QStringLiteral("lb_text"));
        QVERIFY(!text->isHidden());
        QCOMPARE(text->text(), QString::fromUtf8("OS 준비중..."));
        QVERIFY(screen->findChild<QLabel*>(QStringLiteral("lb_text_2"))->isHidden());
        QVERIFY(timer("stepTimer")->isActive());
        QCOMPARE(timer("stepTimer")->interval(), 1000);
        QVERIFY(!timer("stepTimer")->isSingleShot());
        QVERIFY(!timer("finishTimer"));
    }

    void stopsAt97()
    {
        tick(screen.get(), 1);
        QCOMPARE(percent(), QStringLiteral("1 %"));
        tick(screen.get(), 96);
        QCOMPARE(percent(), QStringLiteral("97 %"));
        tick(screen.get(), 20);
        QCOMPARE(percent(), QStringLiteral("97 %"));
        QCOMPARE(bar(), 97);
    }

    void counterSharedByTheRun()
    {
        tick(screen.get(), 10);
        QCOMPARE(percent(), QStringLiteral("10 %"));
        screen = std::make_unique<Frame_3_ProgressBar>(nullptr, Json::Value(), &run);
        QCOMPARE(percent(), QStringLiteral("0 %"));
        tick(screen.get(), 1);
        QCOMPARE(percent(), QStringLiteral("11 %"));
        tick(screen.get(), 200);
        screen = std::make_unique<Frame_3_ProgressBar>(nullptr, Json::Value(), &run);
        tick(screen.get(), 5);
        QCOMPARE(percent(), QStringLiteral("0 %"));
        QCOMPARE(bar(), 0);
    }

    void updateJumpsTo99ThenFinishes()
    {
        QSignalSpy sent(screen.get(), &Frame_3_ProgressBar::sendSignalData);
        screen->slot_recvinfo(ScreenTest::message(67, Json::Value("ready")));
        QCOMPARE(percent(), QStringLiteral("99 %"));
        QCOMPARE(bar(), 99);
        QVERIFY(!timer("stepTimer")->isActive());
        QPointer<QTimer> first = timer("finishTimer");
        QVERIFY(first && first->isActive());
        QCOMPARE(first->interval(), 1000);
        QCOMPARE(sent.count(), 0);

        // A second update throws the first wait away and starts a new one.
        screen->slot_recvinfo(ScreenTest::message(67, Json::Value(2)));
        QVERIFY(!first);
        QPointer<QTimer> second = timer("finishTimer");
        QVERIFY(second && second->isActive());
        QCOMPARE(screen->findChildren<QTimer*>(QStringLiteral("finishTimer")).size(), 1);

        screen->finishProgressBar();
        QCOMPARE(percent(), QStringLiteral("100 %"));
        QCOMPARE(bar(), 100);
        QVERIFY(!second->isActive());
        QCOMPARE(sent.count(), 1);
        QCOMPARE(sent.at(0).at(0).value<Json::Value>(), ScreenTest::message(128, Json::Value("Finish")));
    }

    void updateInfoOfAnyPlainType_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("text") << QByteArray(R"({"FrameIndex":64,"Info":"done"})");
        QTest::newRow("number") << QByteArray(R"({"FrameIndex":64,"Info":1.5})");
        QTest::newRow("boolean") << QByteArray(R"({"FrameIndex":64,"Info":false})");
        QTest::newRow("null") << QByteArray(R"({"FrameIndex":64,"Info":null})");
        QTest::newRow("absent") << QByteArray(R"({"FrameIndex":64})");
    }

    void updateInfoOfAnyPlainType()
    {
        QFETCH(QByteArray, message);
        tick(screen.get(), 3);
        screen->slot_recvinfo(json(message.constData()));
        QCOMPARE(percent(), QStringLiteral("99 %"));
        QVERIFY(timer("finishTimer"));
    }

    void structuredInfoIgnored_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("object") << QByteArray(R"({"FrameIndex":64,"Info":{"state":"done"}})");
        QTest::newRow("array") << QByteArray(R"({"FrameIndex":64,"Info":[1]})");
    }

    void structuredInfoIgnored()
    {
        QFETCH(QByteArray, message);
        tick(screen.get(), 3);
        screen->slot_recvinfo(json(message.constData()));
        QCOMPARE(percent(), QStringLiteral("3 %"));
        QVERIFY(timer("stepTimer")->isActive());
        QVERIFY(!timer("finishTimer"));
        // The next good update is still answered.
        screen->slot_recvinfo(ScreenTest::message(64, Json::Value("done")));
        QCOMPARE(percent(), QStringLiteral("99 %"));
    }

    // The window's frame is far narrower than the form: title and panel must fit it, centred,
    // and take their form places again when there is room.
    void fitsTheWindowFrame()
    {
        screen.reset();
        ScreenTest::LinkedWindow window(peer);
        QVERIFY(window.open());
        auto* shown = window.show<Frame_3_ProgressBar>(ScreenTest::message(3));
        QVERIFY(shown);
        QVERIFY(shown->width() < 900);
        const int middle = shown->width() / 2;
        auto* title = shown->findChild<QLabel*>(QStringLiteral("le_sub_tilte"));
        auto* panel = shown->findChild<QFrame*>(QStringLiteral("frame"));
        QVERIFY(shown->rect().contains(title->geometry()));
        QVERIFY(title->heightForWidth(title->width()) <= title->height());
        QVERIFY(shown->rect().contains(panel->geometry()));
        QVERIFY(!panel->geometry().intersects(title->geometry()));
        QVERIFY(qAbs(panel->geometry().center().x() - middle) <= 1);
        for (const char* name : {"progressBar", "lb_percentage", "lb_text"}) {
            auto* part = panel->findChild<QWidget*>(QLatin1String(name));
            const QRect onScreen(part->mapTo(shown, QPoint()), part->size());
            // The form itself centres the percentage 5 pixels left of the panel's middle.
            QVERIFY2(qAbs(onScreen.center().x() - middle) <= 6, name);
            QVERIFY2(onScreen.left() >= 0 && onScreen.right() < shown->width(), name);
        }
        shown->resize(900, 500);
        QCOMPARE(panel->geometry(), QRect(75, 100, 751, 246));
        QCOMPARE(title->geometry(), QRect(0, 0, 900, 30));
        QCOMPARE(panel->findChild<QLabel*>(QStringLiteral("lb_text"))->geometry(), QRect(-10, 40, 771, 23));
    }

    // The real window against the peer: the screen finishes by closing the window, and the
    // main program hears only the exit notice.
    void closesTheWindow()
    {
        screen.reset();
        ScreenTest::LinkedWindow window(peer);
        QVERIFY(window.open());
        auto* shown = window.show<Frame_3_ProgressBar>(ScreenTest::message(3));
        QVERIFY(shown);
        // The bar is driven by hand here, not by the clock.
        shown->findChild<QTimer*>(QStringLiteral("stepTimer"))->stop();
        tick(shown, 42);
        auto* label = shown->findChild<QLabel*>(QStringLiteral("lb_percentage"));
        QCOMPARE(label->text(), QStringLiteral("42 %"));
        ScreenTest::grab(window.get(), QStringLiteral("progress_42"));

        QVERIFY(window.update(json(R"({"FrameIndex":67,"Info":{"bad":1}})")));
        QCOMPARE(label->text(), QStringLiteral("42 %"));
        QVERIFY(window.update(json(R"({"FrameIndex":67,"Info":"ready"})")));
        QCOMPARE(label->text(), QStringLiteral("99 %"));
        QCOMPARE(peer.bytes(), QByteArray());
        shown->finishProgressBar();
        QVERIFY(!window.get()->isVisible());
        QVERIFY(peer.waitForBytes(20));
        QCOMPARE(peer.bytes(), QByteArray("{\"FrameIndex\":4496}\n"));
    }
};

QTEST_MAIN(TestFrame_3_ProgressBar)
#include "TestFrame_3_ProgressBar.moc"
