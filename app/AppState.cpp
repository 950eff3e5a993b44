#include "AppState.h"

namespace {
bool keyed = false;
bool fullScreen = false;
} // namespace

namespace AppState {

bool keyEstablished()
{
    return keyed;
}

void setKeyEstablished(bool established)
{
    keyed = established;
}

bool fullScreenMode()
{
    return fullScreen;
}

void setFullScreenMode(bool fullScreenFlag)
{
    fullScreen = fullScreenFlag;
}

} // namespace AppState
