#include "SdlStandIn.h"

namespace {

constexpr int capacity = 4096;
SDL_Event accepted[capacity];
int acceptedCount = 0;
int pushResult = 1;

} // namespace

extern "C" {

int SDLCALL SDL_PushEvent(SDL_Event* event)
{
    if (pushResult != 1) {
        return pushResult;
    }
    // Unlike the real SDL it leaves the timestamp alone, so every untouched byte can be checked.
    if (acceptedCount < capacity) {
        accepted[acceptedCount] = *event;
    }
    ++acceptedCount;
    return 1;
}

void StandIn_SetPushResult(int result)
{
    pushResult = result;
}

int StandIn_PushCount()
{
    return acceptedCount;
}

bool StandIn_Pushed(int index, SDL_Event* event)
{
    if (index < 0 || index >= acceptedCount || index >= capacity) {
        return false;
    }
    *event = accepted[index];
    return true;
}

void StandIn_Clear()
{
    acceptedCount = 0;
}

} // extern "C"
