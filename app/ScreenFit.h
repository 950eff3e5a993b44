#pragma once

#include <QRect>
#include <QSize>
#include <QString>

// Where the full-screen window puts its pieces on a screen of any size, in logical pixels.
// Each piece keeps the place it has on a 1920 x 1080 screen relative to the screen's centre
// (or, for the close button, its top-right corner), and moves up or left only as far as it
// must to stay on a smaller screen.
namespace ScreenFit {

QRect framedArea(const QSize& screen);
QRect closeButton(const QSize& screen);
QRect notificationPanel(const QSize& screen);

// The background picture for a screen of this many device pixels: the 1920 x 1080 picture
// up to that size, the 3840 x 2160 one above it, so large screens show no blurred picture.
QString backgroundPicture(const QSize& devicePixels);

} // namespace ScreenFit
