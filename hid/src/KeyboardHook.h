#ifndef TAVO_HID_KEYBOARDHOOK_H
#define TAVO_HID_KEYBOARDHOOK_H

#include "Win32.h"

namespace TAVO {

// The low-level keyboard hook procedure; installed by TAVO_Start_Keyboard.
LRESULT CALLBACK keyboardHookProc(int code, WPARAM message, LPARAM record);

} // namespace TAVO

#endif
