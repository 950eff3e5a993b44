// Gives the Linux build of the library the Windows loader's notifications: attach when the
// library is loaded, detach when it is unloaded, and the singleton destroyed after the detach.
#include "DllMain.h"

#include <iostream> // its stream initialisation comes first in this file, before ours

extern "C" void* __dso_handle;
extern "C" int __cxa_atexit(void (*function)(void*), void* argument, void* dso);

namespace {

unsigned char moduleAnchor;

HINSTANCE thisModule()
{
    return reinterpret_cast<HINSTANCE>(&moduleAnchor);
}

void processDetach(void*)
{
    DllMain(thisModule(), DLL_PROCESS_DETACH, nullptr);
}

struct LoaderNotifications
{
    LoaderNotifications()
    {
        DllMain(thisModule(), DLL_PROCESS_ATTACH, nullptr);
        // Registered after the singleton's destructor, so it runs before it, at dlclose as at exit.
        __cxa_atexit(processDetach, nullptr, &__dso_handle);
    }
};

const LoaderNotifications loaderNotifications;

} // namespace
