// The spinner as it plays by itself: once it has recorded a loop, its own timer moves it on from
// frame to frame by the pixels that change, so what it shows is checked against the frames
// decoded from the file. The screen's test steps the movie by hand instead.
#include "SpinnerLabel.h"
#include "StartUp.h"

#include <QImageReader>
#include <QMovie>
#include <QPainter>
#include <QStyle>
#include <QtTest>

#include <algorithm>
#include <vector>

namespace {

const QString kSpinner = QStringLiteral(":/image/loading/spinner.gif");
const QColor kBackground(40, 20, 90);

} // namespace

class TestSpinnerLabel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { StartUp::initResources(); }

    // At two moments of the playback the label shows two different frames of the file, each
    // whole, over what lies under it.
    void playbackShowsTheFilesFrames()
    {
        QWidget window;
        window.resize(400, 400);
        QPalette palette = window.palette();
        palette.setColor(QPalette::Window, kBackground);
        window.setPalette(palette);
        window.setAutoFillBackground(true);
        auto* spinner = new SpinnerLabel(&window);
        spinner->setGeometry(20, 30, 320, 300);
        spinner->setAlignment(Qt::AlignCenter);
        QMovie movie(kSpinner);
        QVERIFY(movie.isValid());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        spinner->play(&movie);
        movie.start();
        // The loop is recorded once the movie is held still and the label plays it itself.
        QTRY_COMPARE_WITH_TIMEOUT(movie.speed(), 0, 10000);

        std::vector<QImage> expected;
        QImageReader reader(kSpinner);
        for (QImage frame = reader.read(); !frame.isNull(); frame = reader.read()) {
            QImage picture(spinner->size(), QImage::Format_RGB32);
            picture.fill(kBackground);
            QPainter painter(&picture);
            painter.drawImage(QStyle::alignedRect(spinner->layoutDirection(), spinner->alignment(), frame.size(),
                                                  spinner->contentsRect()),
                              frame);
            painter.end();
            expected.push_back(picture);
        }
        QVERIFY(expected.size() > 1);
        const auto shownFrame = [&] {
            const QImage shown = spinner->grab().toImage().convertToFormat(QImage::Format_RGB32);
            return static_cast<int>(std::find(expected.begin(), expected.end(), shown) - expected.begin());
        };

        const int first = shownFrame();
        QVERIFY2(first < static_cast<int>(expected.size()), "the label shows none of the file's frames");
        int later = first;
        QTRY_VERIFY_WITH_TIMEOUT((later = shownFrame()) != first, 5000);
        QVERIFY2(later < static_cast<int>(expected.size()), "the label shows none of the file's frames");
    }
};

QTEST_MAIN(TestSpinnerLabel)
#include "TestSpinnerLabel.moc"
