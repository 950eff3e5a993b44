#include "ScreenFit.h"

#include <algorithm>

namespace {

constexpr QSize kFramedArea(420, 480);
constexpr QSize kCloseButton(37, 37);
constexpr QSize kPanel(390, 307);

// Offsets of each piece's top-left corner from the screen's centre, as on 1920 x 1080.
constexpr QPoint kFramedAreaFromCentre(745 - 960, 330 - 540);
constexpr QPoint kPanelFromCentre(765 - 960, 370 - 540);
constexpr int kCloseButtonTop = 20;
constexpr int kCloseButtonRightGap = 1920 - 1865 - 37;

constexpr QSize kLargePictureAbove(1920, 1080);

// Keeps `size` at `fromCentre` of the screen's centre, pulled back inside the screen.
QRect centred(const QSize& screen, const QSize& size, const QPoint& fromCentre)
{
    const int x = std::max(0, std::min(screen.width() / 2 + fromCentre.x(), screen.width() - size.width()));
    const int y = std::max(0, std::min(screen.height() / 2 + fromCentre.y(), screen.height() - size.height()));
    return QRect(QPoint(x, y), size);
}

} // namespace

namespace ScreenFit {

QRect framedArea(const QSize& screen)
{
    return centred(screen, kFramedArea, kFramedAreaFromCentre);
}

QRect closeButton(const QSize& screen)
{
    const int x = std::max(0, screen.width() - kCloseButtonRightGap - kCloseButton.width());
    return QRect(QPoint(x, kCloseButtonTop), kCloseButton);
}

QRect notificationPanel(const QSize& screen)
{
    return centred(screen, kPanel, kPanelFromCentre);
}

QString backgroundPicture(const QSize& devicePixels)
{
    const bool large =
        devicePixels.width() > kLargePictureAbove.width() || devicePixels.height() > kLargePictureAbove.height();
    return large ? QStringLiteral(":/image/bg3840.png") : QStringLiteral(":/image/bg1920.png");
}

} // namespace ScreenFit
