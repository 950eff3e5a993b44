// What the test-side injector and the benchmarks need from the emulation: the roles
// Windows' input system plays around a low-level keyboard hook.
#ifndef TAVO_WIN32EMU_CONTROL_H
#define TAVO_WIN32EMU_CONTROL_H

#include "Win32Emu.h"

#include <cstddef>

namespace win32emu {

// Calls the low-level keyboard hooks newest first. Each hook reaches the next one only through
// CallNextHookEx; the first hook's result decides: nonzero means the key was swallowed.
// Windows calls the hooks on the thread that installed them, so this must run on that thread.
WIN32EMU_API LRESULT callKeyboardHooks(WPARAM message, const KBDLLHOOKSTRUCT& record);

// A key event that got past every hook updates the key state, as the system's own processing would.
WIN32EMU_API void keyReachedSystem(DWORD vkCode, bool down);

// Key state byte as GetKeyboardState has it: 0x80 down, 0x01 toggled.
WIN32EMU_API BYTE keyState(int vk);
WIN32EMU_API void setKeyState(int vk, BYTE state);

// GetKeyState calls since the last reset, to hold the hook to its budget per key.
WIN32EMU_API std::size_t getKeyStateCalls();

WIN32EMU_API std::size_t hookCount();
WIN32EMU_API HHOOK newestHook();
WIN32EMU_API HOOKPROC hookProcedure(HHOOK hook);

// The next SetWindowsHookExW fails with this error, as when the system refuses a hook.
WIN32EMU_API void failNextHookInstall(DWORD error);

// Removes every hook and clears the key state and the failure plan.
WIN32EMU_API void reset();

} // namespace win32emu

#endif
