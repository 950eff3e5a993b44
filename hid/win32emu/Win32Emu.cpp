// Linux stand-in for the user32/kernel32 calls of the keyboard hook: a hook registry with
// Windows' chain semantics, the key state GetKeyState reads, and the thread's last error.
// Everything runs on the thread that owns the hooks, as it does on Windows, so nothing is locked.
#include "Win32EmuControl.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

struct HookEntry
{
    HHOOK handle = nullptr;
    HOOKPROC procedure = nullptr;
    std::thread::id owner;
    std::uint64_t order = 0;
};

// A fixed table keeps the dispatch path free of allocations; the benchmarks count them.
constexpr std::size_t maxHooks = 16;
std::array<HookEntry, maxHooks> hooks;
std::uint64_t installCount = 0;

// Handles use all 16 hex digits and letters, so the library's formatting of them is exercised;
// they are never reused, like Windows' handles with their generation bits.
constexpr std::uintptr_t handleBase = 0x00C0FFEE00000000u;
constexpr std::uintptr_t handleStep = 0x10002u;

DWORD plannedInstallError = 0;
std::size_t keyStateQueries = 0;
std::array<BYTE, 256> keyStates{};
thread_local DWORD lastError = 0;

// Order of the hook now running on this thread; CallNextHookEx continues below it.
constexpr std::uint64_t noHookRunning = 0;
thread_local std::uint64_t runningHookOrder = noHookRunning;

unsigned char moduleAnchor;

HookEntry* findHook(HHOOK handle)
{
    for (auto& entry : hooks) {
        if (entry.handle != nullptr && entry.handle == handle) {
            return &entry;
        }
    }
    return nullptr;
}

// The newest hook installed before the one with the given order (any order: pass UINT64_MAX).
HookEntry* nextHookBelow(std::uint64_t order)
{
    HookEntry* next = nullptr;
    for (auto& entry : hooks) {
        if (entry.handle != nullptr && entry.order < order && (next == nullptr || entry.order > next->order)) {
            next = &entry;
        }
    }
    return next;
}

LRESULT callHook(HookEntry& entry, int code, WPARAM wParam, LPARAM lParam)
{
    if (entry.owner != std::this_thread::get_id()) {
        // Windows would run it on its own thread's message loop; the tests never need that.
        std::fprintf(stderr, "win32emu: hook %p called off its owner thread\n", static_cast<void*>(entry.handle));
        std::abort();
    }
    const std::uint64_t outer = runningHookOrder;
    runningHookOrder = entry.order;
    const LRESULT result = entry.procedure(code, wParam, lParam);
    runningHookOrder = outer;
    return result;
}

bool isGeneric(int vk)
{
    return vk == VK_SHIFT || vk == VK_CONTROL || vk == VK_MENU;
}

int genericOf(int vk)
{
    switch (vk) {
    case VK_LSHIFT:
    case VK_RSHIFT:
        return VK_SHIFT;
    case VK_LCONTROL:
    case VK_RCONTROL:
        return VK_CONTROL;
    case VK_LMENU:
    case VK_RMENU:
        return VK_MENU;
    default:
        return 0;
    }
}

void setDown(int vk, bool down)
{
    BYTE& state = keyStates[static_cast<std::size_t>(vk) & 0xFF];
    if (down) {
        // The toggle flips on the press, not on auto-repeats of a key already down.
        if ((state & 0x80) == 0) {
            state ^= 0x01;
        }
        state |= 0x80;
    } else {
        state &= static_cast<BYTE>(~0x80);
    }
}

} // namespace

extern "C" {

HHOOK SetWindowsHookExW(int idHook, HOOKPROC lpfn, HINSTANCE /*hmod*/, DWORD dwThreadId)
{
    DWORD error = 0;
    if (idHook != WH_KEYBOARD_LL) {
        error = ERROR_INVALID_HOOK_FILTER; // only the low-level keyboard hook is emulated
    } else if (lpfn == nullptr) {
        error = ERROR_INVALID_FILTER_PROC;
    } else if (dwThreadId != 0) {
        error = ERROR_GLOBAL_ONLY_HOOK;
    } else if (plannedInstallError != 0) {
        error = plannedInstallError;
        plannedInstallError = 0;
    }
    HookEntry* slot = nullptr;
    if (error == 0) {
        for (auto& entry : hooks) {
            if (entry.handle == nullptr) {
                slot = &entry;
                break;
            }
        }
        if (slot == nullptr) {
            error = ERROR_NOT_ENOUGH_MEMORY;
        }
    }
    if (error != 0) {
        lastError = error;
        return nullptr;
    }
    ++installCount;
    slot->handle = reinterpret_cast<HHOOK>(handleBase + installCount * handleStep);
    slot->procedure = lpfn;
    slot->owner = std::this_thread::get_id();
    slot->order = installCount;
    return slot->handle;
}

LRESULT CallNextHookEx(HHOOK /*hhk*/, int nCode, WPARAM wParam, LPARAM lParam)
{
    // Windows ignores the handle: the chain position comes from the hook that is running.
    if (runningHookOrder == noHookRunning) {
        return 0;
    }
    HookEntry* next = nextHookBelow(runningHookOrder);
    return next == nullptr ? 0 : callHook(*next, nCode, wParam, lParam);
}

BOOL UnhookWindowsHookEx(HHOOK hhk)
{
    HookEntry* entry = hhk == nullptr ? nullptr : findHook(hhk);
    if (entry == nullptr) {
        lastError = ERROR_INVALID_HOOK_HANDLE;
        return FALSE;
    }
    *entry = HookEntry{};
    return TRUE;
}

SHORT GetKeyState(int nVirtKey)
{
    ++keyStateQueries;
    const BYTE state = win32emu::keyState(nVirtKey);
    // A key that is down reads as a negative number, the toggle as the low bit.
    const unsigned value = ((state & 0x80) != 0 ? 0xFF80u : 0u) | (state & 0x01u);
    return static_cast<SHORT>(value);
}

HMODULE GetModuleHandleW(LPCWSTR lpModuleName)
{
    if (lpModuleName != nullptr) {
        lastError = ERROR_MOD_NOT_FOUND;
        return nullptr;
    }
    return reinterpret_cast<HMODULE>(&moduleAnchor);
}

DWORD GetLastError()
{
    return lastError;
}

void SetLastError(DWORD dwErrCode)
{
    lastError = dwErrCode;
}

} // extern "C"

namespace win32emu {

LRESULT callKeyboardHooks(WPARAM message, const KBDLLHOOKSTRUCT& record)
{
    HookEntry* first = nextHookBelow(UINT64_MAX);
    if (first == nullptr) {
        return 0;
    }
    KBDLLHOOKSTRUCT copy = record; // each hook call gets the system's own copy
    return callHook(*first, HC_ACTION, message, reinterpret_cast<LPARAM>(&copy));
}

void keyReachedSystem(DWORD vkCode, bool down)
{
    const int vk = static_cast<int>(vkCode & 0xFF);
    setDown(vk, down);
    const int generic = genericOf(vk);
    if (generic != 0) {
        // The generic key is down while either side is.
        const int left = generic == VK_SHIFT ? VK_LSHIFT : generic == VK_CONTROL ? VK_LCONTROL : VK_LMENU;
        const bool anyDown = ((keyStates[left] | keyStates[left + 1]) & 0x80) != 0;
        if (anyDown != ((keyStates[generic] & 0x80) != 0)) {
            setDown(generic, anyDown);
        }
    } else if (isGeneric(vk)) {
        setDown(vk == VK_SHIFT ? VK_LSHIFT : vk == VK_CONTROL ? VK_LCONTROL : VK_LMENU, down);
    }
}

BYTE keyState(int vk)
{
    return keyStates[static_cast<std::size_t>(vk) & 0xFF];
}

void setKeyState(int vk, BYTE state)
{
    keyStates[static_cast<std::size_t>(vk) & 0xFF] = state;
}

std::size_t getKeyStateCalls()
{
    return keyStateQueries;
}

std::size_t hookCount()
{
    std::size_t count = 0;
    for (const auto& entry : hooks) {
        count += entry.handle != nullptr ? 1 : 0;
    }
    return count;
}

HHOOK newestHook()
{
    HookEntry* newest = nextHookBelow(UINT64_MAX);
    return newest == nullptr ? nullptr : newest->handle;
}

HOOKPROC hookProcedure(HHOOK hook)
{
    HookEntry* entry = hook == nullptr ? nullptr : findHook(hook);
    return entry == nullptr ? nullptr : entry->procedure;
}

void failNextHookInstall(DWORD error)
{
    plannedInstallError = error;
}

void reset()
{
    hooks.fill(HookEntry{});
    keyStates.fill(0);
    plannedInstallError = 0;
    keyStateQueries = 0;
    lastError = 0;
}

} // namespace win32emu
