#include "KeyInjector.h"

namespace {

constexpr BYTE down = 0x80;

// Low-level hooks see the side of a modifier, never the generic code.
DWORD sidedKey(DWORD vk, bool extended)
{
    switch (vk) {
    case VK_SHIFT:
        return VK_LSHIFT;
    case VK_CONTROL:
        return extended ? VK_RCONTROL : VK_LCONTROL;
    case VK_MENU:
        return extended ? VK_RMENU : VK_LMENU;
    default:
        return vk;
    }
}

bool isAlt(DWORD vk)
{
    return vk == VK_LMENU || vk == VK_RMENU;
}

bool isCtrl(DWORD vk)
{
    return vk == VK_LCONTROL || vk == VK_RCONTROL;
}

} // namespace

KeyInjector::KeyInjector()
{
    reached_.reserve(4096); // recording must not allocate while hooks are being measured
}

bool KeyInjector::send(DWORD vk, bool up, unsigned flags)
{
    vk = sidedKey(vk, (flags & Extended) != 0);

    // Windows picks the system-key messages from the state after this event: Alt down without
    // Ctrl, or F10. So Alt itself goes down as WM_SYSKEYDOWN but comes up as WM_KEYUP, and a
    // key released while Alt is held comes up as WM_SYSKEYUP. Only keys that got past the hooks
    // count as held: a swallowed Alt leaves the next key a plain WM_KEYDOWN.
    const bool altAfter = isAlt(vk) ? !up : (win32emu::keyState(VK_MENU) & down) != 0;
    const bool ctrlAfter = isCtrl(vk) ? !up : (win32emu::keyState(VK_CONTROL) & down) != 0;
    const bool altContext = altAfter && !ctrlAfter;
    const bool system = altContext || vk == VK_F10;

    KBDLLHOOKSTRUCT record{};
    record.vkCode = vk;
    record.scanCode = 0;
    record.flags = ((flags & Extended) != 0 ? LLKHF_EXTENDED : 0) | ((flags & Injected) != 0 ? LLKHF_INJECTED : 0) |
                   (altContext ? LLKHF_ALTDOWN : 0) | (up ? LLKHF_UP : 0);
    record.time = ++time_;

    lastMessage_ = up ? (system ? WM_SYSKEYUP : WM_KEYUP) : (system ? WM_SYSKEYDOWN : WM_KEYDOWN);
    lastFlags_ = record.flags;
    if (win32emu::callKeyboardHooks(lastMessage_, record) != 0) {
        return false;
    }
    win32emu::keyReachedSystem(vk, !up);
    if (recording_) {
        reached_.push_back({lastMessage_, vk, record.flags});
    }
    return true;
}
