// The integrity-check screen: its look at start, the update offer, the download view and its
// percentages, the failed download with its box and close request, values of the wrong type,
// and the bytes the real window writes for it.
#include "Frame_2_SelectRes.h"
#include "Frame_6_ForgeryCheck.h"
#include "BoxRecorder.h"
#include "ScreenTestSupport.h"

#include <QLabel>
#include <QMovie>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QWindow>

using ScreenTest::json;

namespace {

// An update for the screen on show, as the main program sends it.
Json::Value update(const char* info)
{
    return ScreenTest::message(72, json(info));
}

const char* const kCheckingStatus = "<p style=\"line-height:80%\">Nimbara Workspace</p>"
                                    "<p style=\"line-height:80%\">위변조 검사 중입니다.</p>";
const char* const kDownloadingStatus = "<p style=\"line-height:80%\">Nimbara Workspace</p>"
                                       "<p style=\"line-height:80%\">최신버전 다운로드 중입니다.</p>";

} // namespace

class TestFrame_6_ForgeryCheck : public QObject
{
    Q_OBJECT

private:
    TestPeer peer;
    std::unique_ptr<NotificationQueue> queue;
    std::unique_ptr<Frame_6_ForgeryCheck> screen;
    BoxRecorder boxes;

    QLabel* label(const char* name) const { return screen->findChild<QLabel*>(QLatin1String(name)); }

private slots:
    void initTestCase()
    {
        ScreenTest::initProgram();
        QVERIFY(peer.listen(0));
    }

    void init()
    {
        boxes.texts.clear();
        boxes.answer = nullptr;
        queue = std::make_unique<NotificationQueue>(nullptr, false);
        screen = std::make_unique<Frame_6_ForgeryCheck>(nullptr, Json::Value(0), *queue);
    }

    void cleanup()
    {
        screen.reset();
        queue.reset();
    }

    void startsChecking()
    {
        QCOMPARE(label("lb_status")->text(), QString::fromUtf8(kCheckingStatus));
        QVERIFY(label("lb_update")->isHidden());
        QVERIFY(!label("lb_spinner")->isHidden());
        QMovie* movie = label("lb_spinner")->movie();
        QVERIFY(movie);
        QVERIFY(movie->isValid());
        QCOMPARE(movie->fileName(), QStringLiteral(":/image/loading/spinner.gif"));
        QCOMPARE(movie->scaledSize(), QSize(280, 280));
        QCOMPARE(movie->state(), QMovie::Running);
        // The percentage is drawn over the spinner.
        QVERIFY(screen->children().indexOf(label("lb_update")) > screen->children().indexOf(label("lb_spinner")));
    }

    void spinnerOnScreenIsWholeFrame()
    {
        // A new frame repaints only where it differs from the one before, under the label what
        // was taken once: what the window shows must still be what painting it all would give.
#ifdef _WIN32
        QSKIP("The Windows build's offscreen platform never reports the window exposed");
#endif
        screen->show();
        QVERIFY(QTest::qWaitForWindowExposed(screen.get()));
        QLabel* spinner = label("lb_spinner");
        QMovie* movie = spinner->movie();
        movie->setPaused(true);
        const QRect area(spinner->mapTo(screen.get(), QPoint(0, 0)), spinner->size());
        // What the screen shows there without the spinner, for the frames drawn over it by hand.
        spinner->hide();
        const QImage under = screen->grab(area).toImage().convertToFormat(QImage::Format_RGB32);
        spinner->show();
        QCoreApplication::processEvents();
        // Through the first loop, where the changes are found, and the second, which reuses them.
        for (int i = 0; i < 2 * movie->frameCount() + 2; ++i) {
            QVERIFY(movie->jumpToNextFrame());
            QCoreApplication::processEvents();
            const QImage shown = screen->windowHandle()->screen()->grabWindow(screen->winId()).toImage().copy(area);
            const QImage painted = screen->grab(area).toImage();
            QCOMPARE(shown.convertToFormat(QImage::Format_RGB32), painted.convertToFormat(QImage::Format_RGB32));
            QImage expected = under;
            QPainter painter(&expected);
            const QPixmap frame = movie->currentPixmap();
            painter.drawPixmap(QStyle::alignedRect(spinner->layoutDirection(), spinner->alignment(), frame.size(),
                                                   spinner->contentsRect()),
                               frame);
            painter.end();
            QCOMPARE(painted.convertToFormat(QImage::Format_RGB32), expected);
        }
    }

    void updateOfferAnswered()
    {
        QSignalSpy sent(screen.get(), &Frame_6_ForgeryCheck::sendSignalData);
        // An offer wins over a failed download in the same message: no box, only the answer.
        screen->slot_recvinfo(update(R"({"Update":true,"data":-1})"));
        QCOMPARE(sent.count(), 1);
        QCOMPARE(sent.at(0).at(0).value<Json::Value>(), ScreenTest::message(8));
        QVERIFY(boxes.texts.isEmpty());
        QCOMPARE(label("lb_status")->text(), QString::fromUtf8(kCheckingStatus));
        QVERIFY(label("lb_update")->isHidden());
    }

    void downloadPercentages_data()
    {
        QTest::addColumn<QByteArray>("progress");
        QTest::addColumn<QString>("shown");
        QTest::newRow("12.5") << QByteArray(R"({"data":0,"per":12.5})") << QStringLiteral(" 12.50%");
        QTest::newRow("0") << QByteArray(R"({"data":0,"per":0})") << QStringLiteral("  0.00%");
        QTest::newRow("100 overflows the field") << QByteArray(R"({"data":0,"per":100})") << QStringLiteral(" 100.00%");
        QTest::newRow("no per") << QByteArray(R"({"data":0})") << QStringLiteral("  0.00%");
    }

    void downloadPercentages()
    {
        QFETCH(QByteArray, progress);
        QFETCH(QString, shown);
        screen->slot_recvinfo(update(R"({"Update":false,"data":null})"));
        QCOMPARE(label("lb_status")->text(), QString::fromUtf8(kDownloadingStatus));
        QVERIFY(!label("lb_update")->isHidden());
        QCOMPARE(label("lb_update")->text(), QStringLiteral("  0.00%"));
        QCOMPARE(label("lb_spinner")->movie()->state(), QMovie::Running);
        screen->slot_recvinfo(update(R"({"data":0,"per":55})"));
        screen->slot_recvinfo(update(progress.constData()));
        QCOMPARE(label("lb_update")->text(), shown);
    }

    void restartAndProgressBeforeStart()
    {
        // A report before the start changes the hidden text only.
        screen->slot_recvinfo(update(R"({"data":0,"per":50})"));
        QVERIFY(label("lb_update")->isHidden());
        QCOMPARE(label("lb_update")->text(), QStringLiteral(" 50.00%"));
        QCOMPARE(label("lb_status")->text(), QString::fromUtf8(kCheckingStatus));
        // "data" absent (and "Info" absent) starts the download view; a second start falls back to 0.
        screen->slot_recvinfo(ScreenTest::message(72));
        QVERIFY(!label("lb_update")->isHidden());
        screen->slot_recvinfo(update(R"({"data":0,"per":80})"));
        screen->slot_recvinfo(update(R"({"data":null})"));
        QCOMPARE(label("lb_update")->text(), QStringLiteral("  0.00%"));
    }

    void otherStagesChangeNothing_data()
    {
        QTest::addColumn<QByteArray>("info");
        QTest::newRow("1") << QByteArray(R"({"data":1,"per":40})");
        QTest::newRow("-2") << QByteArray(R"({"data":-2})");
        QTest::newRow("true") << QByteArray(R"({"data":true})");
    }

    void otherStagesChangeNothing()
    {
        QFETCH(QByteArray, info);
        screen->slot_recvinfo(update(R"({"data":null})"));
        screen->slot_recvinfo(update(R"({"data":0,"per":25})"));
        QSignalSpy sent(screen.get(), &Frame_6_ForgeryCheck::sendSignalData);
        screen->slot_recvinfo(update(info.constData()));
        QCOMPARE(label("lb_update")->text(), QStringLiteral(" 25.00%"));
        QCOMPARE(label("lb_status")->text(), QString::fromUtf8(kDownloadingStatus));
        QCOMPARE(sent.count(), 0);
        QVERIFY(boxes.texts.isEmpty());
    }

    void failedDownloadAsksToClose()
    {
        QSignalSpy sent(screen.get(), &Frame_6_ForgeryCheck::sendSignalData);
        bool sentBeforeAnswer = true;
        boxes.answer = [&](NotificationBox* box) {
            sentBeforeAnswer = sent.count() > 0;
            QVERIFY(box->isModal());
            QCOMPARE(box->parentWidget(), screen.get());
            ScreenTest::pressOk(box);
        };
        screen->slot_recvinfo(update(R"({"data":-1})"));
        QCOMPARE(boxes.texts,
                 QStringList{QString::fromUtf8("다운로드 중 오류가 발생했습니다.\n관리자에게 문의해주세요.")});
        QTRY_COMPARE(sent.count(), 1);
        QVERIFY(!sentBeforeAnswer);
        QCOMPARE(sent.at(0).at(0).value<Json::Value>(),
                 ScreenTest::message(128, Json::Value("Hash values do not match")));
    }

    void wrongTypesIgnored_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("Info text") << QByteArray(R"({"FrameIndex":72,"Info":"Update"})");
        QTest::newRow("Update text") << QByteArray(R"({"FrameIndex":72,"Info":{"Update":"true"}})");
        QTest::newRow("data object") << QByteArray(R"({"FrameIndex":72,"Info":{"data":{"a":-1}}})");
        QTest::newRow("data text") << QByteArray(R"({"FrameIndex":72,"Info":{"data":"-1"}})");
        QTest::newRow("data too large") << QByteArray(R"({"FrameIndex":72,"Info":{"data":4294967295}})");
        QTest::newRow("per text") << QByteArray(R"({"FrameIndex":72,"Info":{"data":0,"per":"12"}})");
    }

    void wrongTypesIgnored()
    {
        QFETCH(QByteArray, message);
        screen->slot_recvinfo(update(R"({"data":null})"));
        screen->slot_recvinfo(update(R"({"data":0,"per":25})"));
        QSignalSpy sent(screen.get(), &Frame_6_ForgeryCheck::sendSignalData);
        screen->slot_recvinfo(json(message.constData()));
        QCOMPARE(label("lb_update")->text(), QStringLiteral(" 25.00%"));
        QCOMPARE(sent.count(), 0);
        QVERIFY(boxes.texts.isEmpty());
        // The screen still answers the next good message.
        screen->slot_recvinfo(update(R"({"Update":true})"));
        QCOMPARE(sent.count(), 1);
    }

    // The real window against the peer: the answer to the offer and, after a failed download,
    // the window closing with only the exit notice on the wire.
    void bytesOnTheWire()
    {
        screen.reset();
        ScreenTest::LinkedWindow window(peer);
        QVERIFY(window.open());
        QVERIFY(window.screen<Frame_6_ForgeryCheck>());
        QVERIFY(window.update(update(R"({"Update":true})")));
        QVERIFY(peer.waitForBytes(17));
        QCOMPARE(peer.bytes(), QByteArray("{\"FrameIndex\":8}\n"));

        peer.clear();
        QVERIFY(window.update(update(R"({"data":null})")));
        QVERIFY(window.update(update(R"({"data":"bad"})")));
        QVERIFY(window.update(update(R"({"data":0,"per":37.5})")));
        auto* percent = window.get()->findChild<QLabel*>(QStringLiteral("lb_update"));
        QCOMPARE(percent->text(), QStringLiteral(" 37.50%"));
        QVERIFY(percent->isVisible());
        ScreenTest::grab(window.get(), QStringLiteral("forgery_check_download"));

        peer.send(update(R"({"data":-1})"), false);
        QTRY_VERIFY(!window.get()->isVisible());
        QCOMPARE(boxes.texts.size(), 1);
        QVERIFY(peer.waitForBytes(20));
        QCOMPARE(peer.bytes(), QByteArray("{\"FrameIndex\":4496}\n"));
    }

    // A screen replaced while its error box waits must neither crash when the box closes nor
    // close the program the newer screen now belongs to.
    void replacedWhileErrorBoxOpen()
    {
        screen.reset();
        ScreenTest::LinkedWindow window(peer);
        QVERIFY(window.open());
        QPointer<Frame_6_ForgeryCheck> old = window.screen<Frame_6_ForgeryCheck>();
        boxes.answer = [&](NotificationBox* box) {
            QPointer<NotificationBox> guard(box);
            peer.send(ScreenTest::message(2, json(R"([{"resourceKey":1,"resourceName":"PC","state":"wait"}])")), false);
            QVERIFY(QTest::qWaitFor([&] { return window.screen<Frame_2_SelectRes>() != nullptr; }));
            if (guard) {
                ScreenTest::pressOk(guard);
            }
        };
        peer.send(update(R"({"data":-1})"), false);
        QTRY_VERIFY(!old);
        QCOMPARE(boxes.texts.size(), 1);
        QVERIFY(window.get()->isVisible());
        QVERIFY(window.screen<Frame_2_SelectRes>());
        QTest::qWait(20);
        QCOMPARE(peer.bytes(), QByteArray());
        // The new screen is fully working.
        window.get()->findChild<QPushButton*>(QStringLiteral("bt_setting"))->click();
        QVERIFY(peer.waitForBytes(17));
        QCOMPARE(peer.bytes(), QByteArray("{\"FrameIndex\":9}\n"));
    }
};

QTEST_MAIN(TestFrame_6_ForgeryCheck)
#include "TestFrame_6_ForgeryCheck.moc"
