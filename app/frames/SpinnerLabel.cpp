#include "SpinnerLabel.h"

#include <QMovie>
#include <QPainter>
#include <QStyle>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Changed parts are found in squares of this side: small enough to leave out most of a ring of
// dots, large enough to keep the region to a few dozen rectangles.
constexpr int kTile = 10;

bool tileDiffers(const QImage& before, const QImage& after, const QRect& tile)
{
    const int bytesPerPixel = after.depth() / 8;
    const size_t rowBytes = static_cast<size_t>(tile.width() * bytesPerPixel);
    for (int y = tile.top(); y <= tile.bottom(); ++y) {
        const uchar* a = before.constScanLine(y) + tile.left() * bytesPerPixel;
        const uchar* b = after.constScanLine(y) + tile.left() * bytesPerPixel;
        if (std::memcmp(a, b, rowBytes) != 0) {
            return true;
        }
    }
    return false;
}

// Where two frames of equal size differ: one rectangle around each group of touching changed
// squares, so a ring of dots gives one small rectangle a dot.
QRegion changedRegion(const QImage& beforeFrame, const QImage& afterFrame)
{
    const QImage before = beforeFrame.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage after = afterFrame.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int columns = (after.width() + kTile - 1) / kTile;
    const int rows = (after.height() + kTile - 1) / kTile;
    const QRect bounds = after.rect();
    std::vector<char> changed(static_cast<size_t>(columns * rows), 0);
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const QRect tile = QRect(column * kTile, row * kTile, kTile, kTile) & bounds;
            changed[static_cast<size_t>(row * columns + column)] = tileDiffers(before, after, tile) ? 1 : 0;
        }
    }
    QRegion region;
    std::vector<int> pending;
    for (int start = 0; start < columns * rows; ++start) {
        if (!changed[static_cast<size_t>(start)]) {
            continue;
        }
        QRect group;
        changed[static_cast<size_t>(start)] = 0;
        pending.push_back(start);
        while (!pending.empty()) {
            const int at = pending.back();
            pending.pop_back();
            const int row = at / columns;
            const int column = at % columns;
            group |= QRect(column * kTile, row * kTile, kTile, kTile) & bounds;
            for (int r = std::max(0, row - 1); r <= std::min(rows - 1, row + 1); ++r) {
                for (int c = std::max(0, column - 1); c <= std::min(columns - 1, column + 1); ++c) {
                    char& next = changed[static_cast<size_t>(r * columns + c)];
                    if (next) {
                        next = 0;
                        pending.push_back(r * columns + c);
                    }
                }
            }
        }
        // A frame scaled smoothly for a finer screen changes a pixel beyond the squares too.
        region += group.adjusted(-1, -1, 1, 1) & bounds;
    }
    return region;
}

} // namespace

SpinnerLabel::SpinnerLabel(QWidget* parent) : QLabel(parent) {}

void SpinnerLabel::play(QMovie* movie)
{
    movie->setCacheMode(QMovie::CacheAll);
    setMovie(movie);
    // QLabel repaints the whole frame on every update of its movie; the parts that change are
    // repainted on each new frame instead.
    disconnect(movie, &QMovie::updated, this, nullptr);
    connect(movie, &QMovie::frameChanged, this, &SpinnerLabel::showFrame);
    frames.assign(static_cast<size_t>(std::max(movie->frameCount(), 0)), Frame());
    lastFrame = -1;
    lastImage = QImage();
}

void SpinnerLabel::showFrame(int frame)
{
    QMovie* shown = movie();
    if (!shown || frame < 0) {
        return;
    }
    if (static_cast<size_t>(frame) >= frames.size()) {
        frames.resize(static_cast<size_t>(frame) + 1);
    }
    const int count = static_cast<int>(frames.size());
    const bool follows = lastFrame >= 0 && (lastFrame + 1) % count == frame;
    lastFrame = frame;
    Frame& current = frames[static_cast<size_t>(frame)];
    const QPoint origin = frameRect().topLeft();
    // A new backdrop is drawn everywhere once; otherwise only what this frame changes.
    const bool newBackdrop = takeBackdrop();
    if (follows && current.known) {
        repaint(newBackdrop ? QRegion(rect()) : QRegion(current.changed.boundingRect().translated(origin)));
        return;
    }
    const QImage image = shown->currentImage();
    QRegion dirty(frameRect());
    if (follows && !lastImage.isNull() && lastImage.size() == image.size()) {
        current.changed = changedRegion(lastImage, image);
        current.known = true;
        dirty = current.changed.translated(origin);
    }
    // Otherwise the first frame, or one after a jump (the movie was restarted): all of it.
    repaint(newBackdrop ? QRegion(rect()) : dirty);
    const bool allKnown = std::all_of(frames.begin(), frames.end(), [](const Frame& f) { return f.known; });
    lastImage = allKnown ? QImage() : image;
}

bool SpinnerLabel::Place::operator==(const Place& other) const
{
    return inWindow == other.inWindow && window == other.window && qFuzzyCompare(ratio, other.ratio);
}

SpinnerLabel::Place SpinnerLabel::place() const
{
    return {mapTo(window(), QPoint(0, 0)), window()->size(), devicePixelRatioF()};
}

// Renders each widget under the label by itself, from the window down, over the label's area.
// Returns true when a new backdrop was taken. Taken outside painting: rendering other widgets
// from within a paint event is not safe.
bool SpinnerLabel::takeBackdrop()
{
    if (!isVisible() || isWindow()) {
        return false;
    }
    const Place now = place();
    if (!backdrop.isNull() && now == backdropPlace) {
        return false;
    }
    QImage image(size() * now.ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(now.ratio);
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
    painter.end();
    backdrop = QPixmap::fromImage(image);
    backdropPlace = now;
    // From now on the widgets under the label need not paint where it is.
    setAttribute(Qt::WA_OpaquePaintEvent);
    return true;
}

QRect SpinnerLabel::frameRect() const
{
    const QMovie* shown = movie();
    if (!shown) {
        return contentsRect();
    }
    return style()->itemPixmapRect(contentsRect(), QStyle::visualAlignment(layoutDirection(), alignment()),
                                   shown->currentPixmap());
}

const QPixmap& SpinnerLabel::frameForScreen(int frame, const QPixmap& current)
{
    const qreal ratio = devicePixelRatioF();
    if (qFuzzyCompare(ratio, current.devicePixelRatioF()) || frame < 0 || static_cast<size_t>(frame) >= frames.size()) {
        return current;
    }
    if (!qFuzzyCompare(ratio, sharpRatio)) {
        for (Frame& f : frames) {
            f.sharp = QPixmap();
        }
        sharpRatio = ratio;
    }
    // Scaled once per frame here rather than by the painter on every repaint.
    QPixmap& sharp = frames[static_cast<size_t>(frame)].sharp;
    if (sharp.isNull()) {
        const QSize logical = current.size() / current.devicePixelRatioF();
        sharp = current.scaled(logical * ratio, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        sharp.setDevicePixelRatio(ratio);
    }
    return sharp;
}

void SpinnerLabel::paintEvent(QPaintEvent* event)
{
    QMovie* shown = movie();
    if (!shown || shown->currentPixmap().isNull()) {
        QLabel::paintEvent(event);
        return;
    }
    if (testAttribute(Qt::WA_OpaquePaintEvent) && !(place() == backdropPlace)) {
        // The window changed under the label (resized, another screen): until the next frame
        // takes a new backdrop, the widgets under it paint themselves again.
        setAttribute(Qt::WA_OpaquePaintEvent, false);
        backdrop = QPixmap();
        parentWidget()->update(geometry());
    }
    QPainter painter(this);
    if (testAttribute(Qt::WA_OpaquePaintEvent)) {
        painter.drawPixmap(0, 0, backdrop);
    }
    if (frameShape() != QFrame::NoFrame) {
        drawFrame(&painter);
    }
    const QPixmap current = shown->currentPixmap();
    painter.drawPixmap(frameRect().topLeft(), frameForScreen(shown->currentFrameNumber(), current));
}
