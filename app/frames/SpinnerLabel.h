#pragma once

#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QRegion>

#include <vector>

class QMovie;

// A label that plays an animation at the cost of what changes between its frames. A plain
// QLabel repaints the whole frame for every frame of its movie, and under it the window's
// background; most pixels of a spinner stay as they were. This one repaints only the parts of
// the label where a frame differs from the one before it, found once per frame on the first
// loop, and draws frames already scaled for the screen's pixel ratio, so that no frame is
// decoded or scaled again while it plays. It also paints what lies under it from a picture taken
// once, so the window's background (a style sheet's stretched picture, and the frames of the
// widgets above it) is not drawn again for every frame.
class SpinnerLabel : public QLabel
{
    Q_OBJECT

public:
    explicit SpinnerLabel(QWidget* parent = nullptr);

    // Shows `movie` as QLabel::setMovie does; the movie keeps its frames after the first loop.
    void play(QMovie* movie);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void showFrame(int frame);
    // Where the label is in its window, how large the window is and at what pixel ratio: what
    // the backdrop was taken for.
    struct Place
    {
        QPoint inWindow;
        QSize window;
        qreal ratio = 0.0;
        bool operator==(const Place& other) const;
    };
    Place place() const;
    bool takeBackdrop();
    QRect frameRect() const;
    const QPixmap& frameForScreen(int frame, const QPixmap& current);

    struct Frame
    {
        bool known = false;
        QRegion changed; // against the frame before it, in frame coordinates
        QPixmap sharp;   // at sharpRatio, when the screen is not at 1
    };
    std::vector<Frame> frames;
    int lastFrame = -1;
    QImage lastImage; // only while frames are still being found
    qreal sharpRatio = 1.0;
    QPixmap backdrop; // what the window shows under the label
    Place backdropPlace;
};
