#pragma once

#include <memory>

// The scale factor of each X screen, in the quarter steps Windows offers, set for Qt through
// QT_SCREEN_SCALE_FACTORS before the application object exists.
namespace X11ScaleProbe {

// Returns false when every screen is at 100 %: Qt ignores a given factor of 1 and would fall
// back to the physical DPI, so scaling then stays off.
// `hold` keeps the probe's connection open: a bare X server (Xvfb, a kiosk without a window
// manager) starts over when its last client leaves, and a client that connects while it does
// can wait for ever, so it must stay until Qt's platform has connected too.
bool snapScaleFactors(int argc, char** argv, std::shared_ptr<void>& hold);

} // namespace X11ScaleProbe
