#pragma once

// Process-wide flags shared by the window, the link and the notification box.
namespace AppState {

// True once the key-initialisation reply has been sent; selects the wrapped byte form both ways.
bool keyEstablished();
void setKeyEstablished(bool established);

// True when the program was started with at least one argument.
bool fullScreenMode();
void setFullScreenMode(bool fullScreen);

} // namespace AppState
