// The seam between the hook and the system: the real user32/kernel32 on Windows,
// the emulation with its injector in the Linux tests.
#ifndef TAVO_HID_WIN32_H
#define TAVO_HID_WIN32_H

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include "Win32Emu.h"
#endif

#endif
