#include "KeyboardHook.h"

#include "HeldKeys.h"
#include "Hid.h"
#include "TAVO_HID_static.h"

#include "SDL_events.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <iostream>

// The host reads the fields by offset; its SDL2 and ours must agree on the record.
static_assert(sizeof(SDL_Event) == 56, "SDL_Event layout");
static_assert(offsetof(SDL_KeyboardEvent, keysym) == 16, "SDL_KeyboardEvent layout");
static_assert(offsetof(SDL_KeyboardEvent, keysym) + offsetof(SDL_Keysym, mod) == 24, "SDL_Keysym layout");
static_assert(offsetof(SDL_KeyboardEvent, keysym) + offsetof(SDL_Keysym, unused) == 28, "SDL_Keysym layout");
static_assert(SDL_KEYDOWN == 0x300 && SDL_KEYUP == 0x301, "SDL event types");

namespace {

constexpr Uint16 modExtended = 0x0001;
constexpr Uint16 modCapsLock = 0x0002;
constexpr Uint16 modNumLock = 0x0004;
constexpr Uint16 modKeyDown = 0x0008;

HHOOK hookHandle = nullptr;
SDL_Event* eventRecord = nullptr;
unsigned char* captureSwitch = nullptr;

// The handle stays after a stop for the log lines; this says whether it still names our hook.
bool hookInstalled = false;

// Where each held key's presses went. Module state like the pointers above: Windows calls the
// hook procedure with nothing of ours to hang it on.
TAVO::HeldKeys heldKeys;

// Writes the key into the caller's record and pushes it; true when SDL took it.
bool push(const KBDLLHOOKSTRUCT& key, bool keyDown)
{
    Uint16 mod = keyDown ? modKeyDown : 0;
    if (GetKeyState(VK_CAPITAL) != 0) {
        mod |= modCapsLock;
    }
    if (GetKeyState(VK_NUMLOCK) != 0) {
        mod |= modNumLock;
    }
    if ((key.flags & LLKHF_EXTENDED) != 0) {
        mod |= modExtended;
    }
    eventRecord->key.keysym.mod = mod;
    eventRecord->key.keysym.unused = key.vkCode;
    eventRecord->type = keyDown ? SDL_KEYDOWN : SDL_KEYUP;

    const int result = SDL_PushEvent(eventRecord);
    if (result != 1) {
        // A key SDL would not take must not be lost: the caller lets the local system have it.
        std::printf("[TAVO DLL] Keyboard Data Push failed res : %d\n", result);
    }
    return result == 1;
}

// 16 upper-case hex digits, the form a pointer takes in the host's own logs.
void printHandleLine(const char* text)
{
    char digits[17];
    auto value = reinterpret_cast<std::uintptr_t>(hookHandle);
    for (int i = 15; i >= 0; --i) {
        digits[i] = "0123456789ABCDEF"[value & 0xF];
        value >>= 4;
    }
    digits[16] = '\0';
    std::cout << text << digits << ")" << std::endl;
}

// Written by hand: the stream's own number formatting follows whatever flags the host set on it,
// and std::to_string would tie the library to the process (a unique symbol blocks unloading).
void printErrorLine(DWORD error)
{
    char digits[11];
    int first = 10;
    digits[first] = '\0';
    do {
        digits[--first] = static_cast<char>('0' + error % 10);
        error /= 10;
    } while (error != 0);
    std::cout << "TAVO Keyboard failed message : " << &digits[first] << std::endl;
}

} // namespace

namespace TAVO {

LRESULT CALLBACK keyboardHookProc(int code, WPARAM message, LPARAM record)
{
    const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(record);
    const DWORD vk = key->vkCode;
    const bool keyDown = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;

    // The lock keys keep working locally; their state travels in every pushed event instead.
    if (vk == VK_CAPITAL || vk == VK_NUMLOCK) {
        return CallNextHookEx(hookHandle, code, message, record);
    }
    const bool captureOn = captureSwitch != nullptr && eventRecord != nullptr && *captureSwitch != 0;

    if (keyDown) {
        // Every press, an auto-repeat too, follows the switch as it is now. One SDL refused went on
        // to the local desktop, so that is where its release goes.
        if (captureOn && push(*key, true)) {
            heldKeys.press(vk, HeldKeys::Pushed);
            return 1;
        }
        heldKeys.press(vk, HeldKeys::Passed);
        return CallNextHookEx(hookHandle, code, message, record);
    }

    // A release goes wherever its key's presses went, whatever the switch says by now, so each
    // side sees the key come up that it saw go down: Alt held while capture turns off must come
    // up on the remote PC, a key held while it turns on must come up locally. A release with no
    // press seen (the key was held when the hook was installed) follows the switch.
    unsigned route = heldKeys.release(vk);
    if (route == HeldKeys::None) {
        route = captureOn ? HeldKeys::Pushed : HeldKeys::Passed;
    }
    const bool pushed = (route & HeldKeys::Pushed) != 0 && eventRecord != nullptr && push(*key, false);
    if (pushed && (route & HeldKeys::Passed) == 0) {
        return 1;
    }
    // Passed on too when presses went both ways (the switch changed during auto-repeat), and when
    // SDL refused the release, which then goes to the local system like any key SDL refuses.
    return CallNextHookEx(hookHandle, code, message, record);
}

} // namespace TAVO

extern "C" {

void TAVO_Start_Keyboard(SDL_Event* event, unsigned char* captureSwitchByte)
{
    TAVO::Hid::instance();
    // Only one handle is kept: a hook left from an earlier start would be orphaned, capturing on.
    if (hookInstalled) {
        UnhookWindowsHookEx(hookHandle);
        hookInstalled = false;
    }
    // Entries from an earlier hook may name keys released while none was installed; kept, they
    // would send a later release to a side that never saw its press. A key held across the start
    // is released as the switch says.
    heldKeys.clear();
    eventRecord = event;
    captureSwitch = captureSwitchByte;
    hookHandle = SetWindowsHookExW(WH_KEYBOARD_LL, TAVO::keyboardHookProc, GetModuleHandleW(nullptr), 0);
    hookInstalled = hookHandle != nullptr;
    printHandleLine("TAVO Start Keyboard (ID : ");
}

void TAVO_Stop_Keyboard(void)
{
    TAVO::Hid::instance();
    printHandleLine("TAVO Stop Keyboard (ID : ");
    if (UnhookWindowsHookEx(hookHandle)) {
        hookInstalled = false;
        std::cout << "TAVO Keyboard Done" << std::endl;
    } else {
        printErrorLine(GetLastError()); // read before any output can overwrite it
    }
}

} // extern "C"
