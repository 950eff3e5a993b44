#include "SpinnerLabel.h"

#include <QImageReader>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>

#include <algorithm>
#include <cstring>

namespace {

constexpr int kMovieSpeed = 100;

// The pixels of `after` that differ from `before` (one size, 32 bits a pixel), as runs row by row.
template <typename Change> void findChange(const QImage& before, const QImage& after, Change& change)
{
    const int width = after.width();
    const QRgb* pixels = reinterpret_cast<const QRgb*>(after.constBits());
    for (int y = 0; y < after.height(); ++y) {
        const QRgb* a = reinterpret_cast<const QRgb*>(before.constScanLine(y));
        const QRgb* b = reinterpret_cast<const QRgb*>(after.constScanLine(y));
        if (std::memcmp(a, b, static_cast<size_t>(width) * sizeof(QRgb)) == 0) {
            continue;
        }
        for (int x = 0; x < width;) {
            if (a[x] == b[x]) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < width && a[x] != b[x]) {
                ++x;
            }
            const int offset = y * width + start;
            change.runs.push_back({offset, x - start});
            change.pixels.insert(change.pixels.end(), pixels + offset, pixels + y * width + x);
            change.bounds |= QRect(start, y, x - start, 1);
        }
    }
}

} // namespace

SpinnerLabel::SpinnerLabel(QWidget* parent) : QLabel(parent)
{
    playback.setSingleShot(true);
    connect(&playback, &QTimer::timeout, this, &SpinnerLabel::advance);
}

void SpinnerLabel::play(QMovie* movie)
{
    // Each frame is decoded once per recorded loop; between loops the movie keeps none.
    movie->setCacheMode(QMovie::CacheNone);
    movie->setSpeed(kMovieSpeed);
    setMovie(movie);
    // QLabel repaints the whole frame on every update of its movie; the frames are followed here.
    disconnect(movie, &QMovie::updated, this, nullptr);
    connect(movie, &QMovie::frameChanged, this, &SpinnerLabel::movieFrame);
    connect(movie, &QMovie::stateChanged, this, &SpinnerLabel::movieState);
    changes.assign(static_cast<size_t>(std::max(movie->frameCount(), 0)), Change());
    shown = QImage();
    backdrop = QImage();
    next = QImage();
    shownFrame = -1;
    recorded = false;
    playback.stop();
}

bool SpinnerLabel::Place::operator==(const Place& other) const
{
    return inWindow == other.inWindow && window == other.window && qFuzzyCompare(ratio, other.ratio);
}

SpinnerLabel::Place SpinnerLabel::place() const
{
    return {mapTo(window(), QPoint(0, 0)), window()->size(), devicePixelRatioF()};
}

QRect SpinnerLabel::frameRect() const
{
    const QMovie* shownMovie = movie();
    if (!shownMovie) {
        return contentsRect();
    }
    return style()->itemPixmapRect(contentsRect(), QStyle::visualAlignment(layoutDirection(), alignment()),
                                   shownMovie->currentPixmap());
}

// Renders each widget under the label by itself, from the window down, over the label's area,
// and the label's own frame. Called outside painting: rendering other widgets from within a
// paint event is not safe.
QImage SpinnerLabel::renderUnder(const Place& at)
{
    QImage image(size() * at.ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(at.ratio);
    image.fill(Qt::black);
    QPainter painter(&image);
    std::vector<QWidget*> under;
    for (QWidget* w = parentWidget(); w; w = w->isWindow() ? nullptr : w->parentWidget()) {
        under.insert(under.begin(), w);
    }
    for (QWidget* w : under) {
        // Only the window fills its area with its palette; the others draw what they draw on screen.
        w->render(&painter, QPoint(0, 0), QRegion(QRect(mapTo(w, QPoint(0, 0)), size())),
                  w->isWindow() ? QWidget::DrawWindowBackground : QWidget::RenderFlags());
    }
    if (frameShape() != QFrame::NoFrame) {
        drawFrame(&painter);
    }
    return image;
}

// Draws the movie's current frame over the backdrop into `image`, reusing its pixels, so that
// recording a loop allocates no picture a frame. At a pixel ratio above 1 the frame is scaled
// smoothly to the screen's pixels first, as a sharp picture would be drawn.
void SpinnerLabel::drawMovieFrame(QImage& image) const
{
    if (image.size() != backdrop.size() || image.format() != backdrop.format()) {
        image = QImage(backdrop.size(), backdrop.format());
    }
    image.setDevicePixelRatio(backdrop.devicePixelRatioF());
    std::memcpy(image.bits(), backdrop.constBits(), static_cast<size_t>(backdrop.sizeInBytes()));
    const QPixmap current = movie()->currentPixmap();
    const qreal ratio = image.devicePixelRatioF();
    QPainter painter(&image);
    if (qFuzzyCompare(ratio, current.devicePixelRatioF())) {
        painter.drawPixmap(frameRect().topLeft(), current);
    } else {
        const QSize logical = current.size() / current.devicePixelRatioF();
        QPixmap sharp = current.scaled(logical * ratio, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        sharp.setDevicePixelRatio(ratio);
        painter.drawPixmap(frameRect().topLeft(), sharp);
    }
}

void SpinnerLabel::movieFrame(int frame)
{
    if (frame < 0 || !movie()) {
        return;
    }
    if (recorded && shownPlace == place()) {
        // The movie was started, unpaused or jumped: the recorded loop follows it from there.
        if (frame != shownFrame) {
            repaintDevice(moveTo(frame));
        }
        playback.stop();
        movieState(movie()->state());
        return;
    }
    if (recorded) {
        restartRecording();
    }
    record(frame);
}

void SpinnerLabel::movieState(QMovie::MovieState state)
{
    if (!recorded) {
        return;
    }
    if (state != QMovie::Running) {
        playback.stop();
    } else if (!playback.isActive()) {
        playback.start(changes[static_cast<size_t>(shownFrame)].delayMs);
    }
}

void SpinnerLabel::record(int frame)
{
    if (!isVisible() || isWindow()) {
        update();
        return;
    }
    if (static_cast<size_t>(frame) >= changes.size()) {
        changes.resize(static_cast<size_t>(frame) + 1);
    }
    const Place now = place();
    if (shown.isNull() || backdrop.isNull() || !(now == shownPlace)) {
        // A new picture of what lies under the label; from now on the widgets under it need not
        // paint where it is.
        backdrop = renderUnder(now);
        drawMovieFrame(shown);
        shownPlace = now;
        shownFrame = frame;
        std::fill(changes.begin(), changes.end(), Change());
        setAttribute(Qt::WA_OpaquePaintEvent);
        repaint();
        return;
    }
    const int count = static_cast<int>(changes.size());
    drawMovieFrame(next);
    if ((shownFrame + 1) % count == frame) {
        Change& change = changes[static_cast<size_t>(frame)];
        change = Change();
        findChange(shown, next, change);
        change.delayMs = movie()->nextFrameDelay();
        change.known = true;
        shown.swap(next);
        shownFrame = frame;
        repaintDevice(change.bounds);
        if (std::all_of(changes.begin(), changes.end(), [](const Change& c) { return c.known; })) {
            finishRecording();
        }
        return;
    }
    // A jump (the movie was restarted): all of the frame, and what was found stays.
    shown.swap(next);
    shownFrame = frame;
    repaintDevice(shown.rect());
}

// The loop is known: the label plays it back, and the movie stops decoding. The movie's delays
// lose the time it took to decode each frame, so they are read from the file once.
void SpinnerLabel::finishRecording()
{
    QImageReader reader(movie()->fileName(), movie()->format());
    for (Change& change : changes) {
        if (reader.read().isNull()) {
            break;
        }
        change.delayMs = std::max(reader.nextImageDelay(), 0);
    }
    backdrop = QImage();
    next = QImage();
    recorded = true;
    movie()->setSpeed(0);
    movieState(movie()->state());
}

void SpinnerLabel::restartRecording()
{
    playback.stop();
    recorded = false;
    backdrop = QImage();
    shown = QImage();
    next = QImage();
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    if (QWidget* parent = parentWidget()) {
        parent->update(geometry());
    }
    // Restarting the movie's own timer at the frame it last showed; the next one it decodes is
    // recorded anew.
    movie()->setSpeed(kMovieSpeed);
}

void SpinnerLabel::advance()
{
    if (!recorded || !movie() || changes.empty()) {
        return;
    }
    if (!(shownPlace == place())) {
        restartRecording();
        return;
    }
    const int frame = (shownFrame + 1) % static_cast<int>(changes.size());
    repaintDevice(moveTo(frame));
    playback.start(changes[static_cast<size_t>(frame)].delayMs);
}

// Writes the changes of every frame after the one shown up to `frame` into the picture; returns
// where it changed.
QRect SpinnerLabel::moveTo(int frame)
{
    const int count = static_cast<int>(changes.size());
    QRect changed;
    QRgb* pixels = reinterpret_cast<QRgb*>(shown.bits());
    while (shownFrame != frame % count) {
        shownFrame = (shownFrame + 1) % count;
        const Change& change = changes[static_cast<size_t>(shownFrame)];
        const QRgb* from = change.pixels.data();
        for (const Change::Run& run : change.runs) {
            std::memcpy(pixels + run.offset, from, static_cast<size_t>(run.length) * sizeof(QRgb));
            from += run.length;
        }
        changed |= change.bounds;
    }
    return changed;
}

void SpinnerLabel::repaintDevice(const QRect& devicePixels)
{
    if (devicePixels.isEmpty()) {
        return;
    }
    const qreal ratio = shown.isNull() ? 1.0 : shown.devicePixelRatioF();
    const QRectF logical(devicePixels.x() / ratio, devicePixels.y() / ratio, devicePixels.width() / ratio,
                         devicePixels.height() / ratio);
    repaint(logical.toAlignedRect() & rect());
}

void SpinnerLabel::paintEvent(QPaintEvent* event)
{
    if (!shown.isNull() && !(place() == shownPlace)) {
        // The window changed under the label (resized, another screen): until the next frame
        // records the loop again, the widgets under it paint themselves again.
        restartRecording();
    }
    if (shown.isNull()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.drawImage(0, 0, shown);
}
