#include "HeldKeys.h"

namespace TAVO {

void HeldKeys::press(unsigned vk, Route route)
{
    // Windows gives 1 to 254; anything else is left untracked and its release follows the switch.
    if (vk < routes.size()) {
        routes[vk] = static_cast<unsigned char>(routes[vk] | route);
    }
}

unsigned HeldKeys::release(unsigned vk)
{
    if (vk >= routes.size()) {
        return None;
    }
    const unsigned route = routes[vk];
    routes[vk] = None;
    return route;
}

void HeldKeys::clear()
{
    routes.fill(None);
}

} // namespace TAVO
