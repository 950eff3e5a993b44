#ifndef TAVO_HID_HELDKEYS_H
#define TAVO_HID_HELDKEYS_H

#include <array>

namespace TAVO {

// Where the presses of each held key went, so that its release goes to the same side: a side
// that saw a key go down and never up keeps it held (Alt stuck on the remote PC, or locally).
// One entry per virtual-key code, written by the hook for every key: no allocation, no search.
class HeldKeys
{
public:
    enum Route : unsigned char
    {
        None = 0,   // no press seen since the hook was installed (or since the last release)
        Pushed = 1, // a press went into the SDL queue
        Passed = 2, // a press went on to the local desktop
    };

    // A press of vk went to route; auto-repeats on both sides of a switch give Pushed | Passed.
    void press(unsigned vk, Route route);
    // The routes of vk's presses since its last release; the key is up again after this.
    unsigned release(unsigned vk);
    void clear();

private:
    std::array<unsigned char, 256> routes{};
};

} // namespace TAVO

#endif
