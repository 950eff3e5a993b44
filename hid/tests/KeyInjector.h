// Test-side stand-in for Windows' keyboard input path: turns key strokes into the hook calls
// Windows would make and lets a key that no hook swallowed reach the system.
#ifndef TAVO_HID_KEYINJECTOR_H
#define TAVO_HID_KEYINJECTOR_H

#include "Win32EmuControl.h"

#include <vector>

struct SystemKeyEvent
{
    WPARAM message;
    DWORD vkCode;
    DWORD flags;
};

class KeyInjector
{
public:
    enum Flag : unsigned
    {
        Extended = 1, // KEYEVENTF_EXTENDEDKEY: right Ctrl, right Alt, cursor block, ...
        Injected = 2, // came from SendInput rather than a keyboard
    };

    KeyInjector();

    // One key event; returns true when it got past every hook.
    bool send(DWORD vk, bool up, unsigned flags = 0);
    bool press(DWORD vk, unsigned flags = 0) { return send(vk, false, flags); }
    bool release(DWORD vk, unsigned flags = 0) { return send(vk, true, flags); }
    void tap(DWORD vk, unsigned flags = 0)
    {
        press(vk, flags);
        release(vk, flags);
    }

    // What the hooks were called with for the last event.
    WPARAM lastMessage() const { return lastMessage_; }
    DWORD lastFlags() const { return lastFlags_; }

    // Key events that reached the system, in order (the focused window would get these).
    const std::vector<SystemKeyEvent>& reachedSystem() const { return reached_; }
    void clear() { reached_.clear(); }
    void setRecording(bool on) { recording_ = on; }

private:
    std::vector<SystemKeyEvent> reached_;
    WPARAM lastMessage_ = 0;
    DWORD lastFlags_ = 0;
    DWORD time_ = 0;
    bool recording_ = true;
};

#endif
