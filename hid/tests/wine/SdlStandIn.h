// Control side of the stand-in SDL2.dll the Wine test loads in place of the host's SDL2.
#ifndef TAVO_HID_SDLSTANDIN_H
#define TAVO_HID_SDLSTANDIN_H

#include "SDL_events.h"

extern "C" {
// What SDL_PushEvent returns from now on; anything but 1 refuses the event, as SDL does when
// its queue is full (-1) or a filter drops the event (0).
void StandIn_SetPushResult(int result);
int StandIn_PushCount();
// Copy of the index-th accepted event; false when there is none.
bool StandIn_Pushed(int index, SDL_Event* event);
void StandIn_Clear();
}

#endif
