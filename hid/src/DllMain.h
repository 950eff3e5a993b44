#ifndef TAVO_HID_DLLMAIN_H
#define TAVO_HID_DLLMAIN_H

#include "Win32.h"

// The library's entry point: called by the Windows loader, by LinuxEntry.cpp in the Linux build.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

#endif
