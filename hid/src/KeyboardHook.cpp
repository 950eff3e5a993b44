#include "KeyboardHook.h"

#include "Hid.h"
#include "TAVO_HID_static.h"

#include "SDL_events.h"

#include <array>
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

// Keys whose press went on to the local system. Their release must go there too, even when
// capture was switched on in between, or the desktop keeps the key held (Alt-Tab into the
// remote window would leave Alt down and the task switcher open).
std::array<std::uint32_t, 8> pressedLocally{};

void notePassed(DWORD vk, bool keyDown)
{
    if (vk >= 256) {
        return;
    }
    const std::uint32_t bit = 1u << (vk % 32);
    if (keyDown) {
        pressedLocally[vk / 32] |= bit;
    } else {
        pressedLocally[vk / 32] &= ~bit;
    }
}

bool isPressedLocally(DWORD vk)
{
    return vk < 256 && (pressedLocally[vk / 32] & (1u << (vk % 32))) != 0;
}

LRESULT passOn(int code, WPARAM message, LPARAM record, DWORD vk, bool keyDown)
{
    notePassed(vk, keyDown);
    return CallNextHookEx(hookHandle, code, message, record);
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

    if (captureSwitch == nullptr || eventRecord == nullptr || *captureSwitch == 0) {
        return passOn(code, message, record, vk, keyDown);
    }
    // The lock keys keep working locally; their state travels in every pushed event instead.
    if (vk == VK_CAPITAL || vk == VK_NUMLOCK) {
        return passOn(code, message, record, vk, keyDown);
    }

    Uint16 mod = keyDown ? modKeyDown : 0;
    if (GetKeyState(VK_CAPITAL) != 0) {
        mod |= modCapsLock;
    }
    if (GetKeyState(VK_NUMLOCK) != 0) {
        mod |= modNumLock;
    }
    if ((key->flags & LLKHF_EXTENDED) != 0) {
        mod |= modExtended;
    }
    eventRecord->key.keysym.mod = mod;
    eventRecord->key.keysym.unused = vk;
    eventRecord->type = keyDown ? SDL_KEYDOWN : SDL_KEYUP;

    const int result = SDL_PushEvent(eventRecord);
    if (result == 1 && (keyDown || !isPressedLocally(vk))) {
        return 1;
    }
    if (result != 1) {
        // A key SDL would not take must not be lost: the local system gets it.
        std::printf("[TAVO DLL] Keyboard Data Push failed res : %d\n", result);
    }
    return passOn(code, message, record, vk, keyDown);
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
