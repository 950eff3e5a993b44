// Windows side of the Wine test: a focused window, hooks above and below the library's,
// real SendInput keys, stdout capture and a small TAP-style report on stderr.
#ifndef TAVO_HID_WINETESTSUPPORT_H
#define TAVO_HID_WINETESTSUPPORT_H

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

struct KeyRecord
{
    WPARAM message;
    DWORD vk;
    DWORD flags;
};

// What the system handed to the hook chain (seen by a hook installed after the library's),
// what the library passed on (a hook installed before it), and what the focused window got.
extern std::vector<KeyRecord> observedKeys;
extern std::vector<KeyRecord> passedKeys;
extern std::vector<KeyRecord> windowKeys;

std::string messageName(WPARAM message);
// "WM_KEYDOWN 0x41, ..." and, with flags, "WM_KEYDOWN 0x41 0x10, ...".
std::string describe(const std::vector<KeyRecord>& records, bool withFlags = false);
std::string hex(unsigned value, int digits);

HWND createFocusedWindow();
HHOOK installObserverHook();
HHOOK installNextHook();
void clearRecords();

// One key event through SendInput; waits (bounded) until the hooks have seen it, then lets
// the window receive whatever reached it.
bool sendKey(WORD vk, DWORD flags = 0);
void tapKey(WORD vk, DWORD flags = 0);

// Redirects the CRT's stdout, which the library writes to, into a temporary file.
class StdoutCapture
{
public:
    StdoutCapture();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;
    std::string finish();

private:
    std::string path_;
    std::FILE* file_ = nullptr;
    int savedFd_ = -1;
};

class Checks
{
public:
    void check(bool ok, const std::string& name, const std::string& detail = {});
    void equal(const std::string& actual, const std::string& expected, const std::string& name);
    void note(const std::string& text);
    int failures() const { return failures_; }
    int count() const { return count_; }

private:
    int count_ = 0;
    int failures_ = 0;
};

#endif
