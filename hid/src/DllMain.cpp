#include "DllMain.h"

#include "Hid.h"

#include <iostream>

extern "C" BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD reason, LPVOID /*reserved*/)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        TAVO::Hid::instance();
        std::cout << "TAVO HID Init" << std::endl;
        break;
    case DLL_PROCESS_DETACH:
        TAVO::Hid::instance();
        std::cout << "TAVO HID Destory" << std::endl;
        break;
    default:
        break;
    }
    return TRUE;
}
