#pragma once

#include <QImage>
#include <QLabel>
#include <QMovie>
#include <QTimer>

#include <vector>

// A label that plays an animation at the cost of what changes between its frames. A plain
// QLabel repaints the whole frame for every frame of its movie, and under it the window's
// background, and the movie decodes every frame anew each time round; keeping the movie's
// frames instead costs a whole decoded picture a frame.
//
// This one records one loop of the movie as it is shown: over what lies under the label (the
// widgets beneath, rendered once, so the window's background is not drawn again for every
// frame), at the screen's pixel ratio, kept as the pixels each frame changes against the one
// before it. Then it plays the loop back itself: each frame writes its changed pixels into the
// label's picture and repaints the one rectangle around them. The movie stays the screen's
// handle on the animation (started, stopped, paused, jumped through), but once the loop is
// recorded it is held at speed 0, so it no longer decodes frames on its own. When the label
// moves in its window, the window is resized or the pixel ratio changes, the loop is recorded
// again.
class SpinnerLabel : public QLabel
{
    Q_OBJECT

public:
    explicit SpinnerLabel(QWidget* parent = nullptr);

    // Shows `movie` as QLabel::setMovie does, and plays it as described above.
    void play(QMovie* movie);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Where the label is in its window, how large the window is and at what pixel ratio: what
    // the recorded pictures were made for.
    struct Place
    {
        QPoint inWindow;
        QSize window;
        qreal ratio = 0.0;
        bool operator==(const Place& other) const;
    };
    // The pixels one frame changes against the frame before it, in device pixels of `shown`.
    struct Change
    {
        struct Run
        {
            int offset; // into the picture's pixels, row by row
            int length;
        };
        bool known = false;
        QRect bounds;
        std::vector<Run> runs;
        std::vector<QRgb> pixels;
        int delayMs = 0; // until the next frame
    };

    Place place() const;
    QRect frameRect() const;
    QImage renderUnder(const Place& at);
    void drawMovieFrame(QImage& image) const;
    void movieFrame(int frame);
    void movieState(QMovie::MovieState state);
    void record(int frame);
    void finishRecording();
    void restartRecording();
    void advance();
    QRect moveTo(int frame);
    void repaintDevice(const QRect& devicePixels);

    std::vector<Change> changes;
    QImage shown;    // the label as it is on screen, at the screen's pixel ratio
    QImage backdrop; // what lies under the label, while a loop is recorded
    QImage next;     // the frame being recorded
    Place shownPlace;
    int shownFrame = -1;
    bool recorded = false;
    QTimer playback;
};
