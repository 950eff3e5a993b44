// Loads the Linux build of the library afresh, so each test starts from a newly loaded library
// with the loader's attach and detach notifications, and captures what it writes to stdout.
#ifndef TAVO_HID_HIDLIBRARY_H
#define TAVO_HID_HIDLIBRARY_H

#include "TAVO_HID_static.h"

#include <cstdio>
#include <string>

class HidLibrary
{
public:
    HidLibrary();
    ~HidLibrary();
    HidLibrary(const HidLibrary&) = delete;
    HidLibrary& operator=(const HidLibrary&) = delete;

    bool isLoaded() const { return handle_ != nullptr; }
    void unload();

    void start(SDL_Event* event, unsigned char* captureSwitch) { start_(event, captureSwitch); }
    void stop() { stop_(); }

    // Whether the library is still mapped into the process, whoever loaded it.
    static bool isMapped();

private:
    void* handle_ = nullptr;
    TAVO_Start_Keyboard_t start_ = nullptr;
    TAVO_Stop_Keyboard_t stop_ = nullptr;
};

// Redirects file descriptor 1, so both the C++ stream and C formatted output are caught.
class StdoutCapture
{
public:
    StdoutCapture();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    std::string finish();

private:
    std::FILE* file_ = nullptr;
    int savedFd_ = -1;
};

#endif
