#include "WineTestSupport.h"

#include <fcntl.h>
#include <io.h>

#include <cstdlib>

std::vector<KeyRecord> observedKeys;
std::vector<KeyRecord> passedKeys;
std::vector<KeyRecord> windowKeys;

namespace {

constexpr DWORD waitLimitMs = 5000;

LRESULT CALLBACK recordObserved(int code, WPARAM message, LPARAM lParam)
{
    const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    observedKeys.push_back({message, key->vkCode, key->flags});
    return CallNextHookEx(nullptr, code, message, lParam);
}

LRESULT CALLBACK recordPassed(int code, WPARAM message, LPARAM lParam)
{
    const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    passedKeys.push_back({message, key->vkCode, key->flags});
    return CallNextHookEx(nullptr, code, message, lParam);
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
        // Not handed to DefWindowProc: Alt and F10 would start menu mode.
        windowKeys.push_back({message, static_cast<DWORD>(wParam), 0});
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

void dispatchPending()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&msg);
    }
}

} // namespace

std::string hex(unsigned value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*x", digits, value);
    return text;
}

std::string messageName(WPARAM message)
{
    switch (message) {
    case WM_KEYDOWN:
        return "WM_KEYDOWN";
    case WM_KEYUP:
        return "WM_KEYUP";
    case WM_SYSKEYDOWN:
        return "WM_SYSKEYDOWN";
    case WM_SYSKEYUP:
        return "WM_SYSKEYUP";
    default:
        return hex(static_cast<unsigned>(message), 4);
    }
}

std::string describe(const std::vector<KeyRecord>& records, bool withFlags)
{
    std::string text;
    for (const auto& r : records) {
        text += (text.empty() ? "" : ", ") + messageName(r.message) + " " + hex(r.vk, 2);
        if (withFlags) {
            text += " " + hex(r.flags, 2);
        }
    }
    return text;
}

HWND createFocusedWindow()
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"HidWineTest";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, L"HidWineTest", L"HidWineTest", WS_POPUP | WS_VISIBLE, 0, 0, 320, 200, nullptr,
                                  nullptr, windowClass.hInstance, nullptr);
    SetForegroundWindow(window);
    SetFocus(window);
    const DWORD start = GetTickCount();
    while (GetFocus() != window && GetTickCount() - start < waitLimitMs) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        dispatchPending();
        SetForegroundWindow(window);
        SetFocus(window);
    }
    dispatchPending();
    return window;
}

HHOOK installObserverHook()
{
    return SetWindowsHookExW(WH_KEYBOARD_LL, recordObserved, GetModuleHandleW(nullptr), 0);
}

HHOOK installNextHook()
{
    return SetWindowsHookExW(WH_KEYBOARD_LL, recordPassed, GetModuleHandleW(nullptr), 0);
}

void clearRecords()
{
    observedKeys.clear();
    passedKeys.clear();
    windowKeys.clear();
}

bool sendKey(WORD vk, DWORD flags)
{
    const std::size_t before = observedKeys.size();
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.dwFlags = flags;
    if (SendInput(1, &input, sizeof input) != 1) {
        return false;
    }
    // Windows calls low-level hooks while this thread retrieves messages, so keep pumping.
    const DWORD start = GetTickCount();
    while (observedKeys.size() == before && GetTickCount() - start < waitLimitMs) {
        dispatchPending();
        if (observedKeys.size() == before) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
    }
    dispatchPending();
    return observedKeys.size() > before;
}

void tapKey(WORD vk, DWORD flags)
{
    sendKey(vk, flags);
    sendKey(vk, flags | KEYEVENTF_KEYUP);
}

StdoutCapture::StdoutCapture()
{
    char directory[MAX_PATH];
    char name[MAX_PATH];
    GetTempPathA(MAX_PATH, directory);
    GetTempFileNameA(directory, "hid", 0, name);
    path_ = name;
    std::fflush(stdout);
    file_ = std::fopen(name, "w+b");
    savedFd_ = _dup(_fileno(stdout));
    if (file_ == nullptr || savedFd_ < 0 || _dup2(_fileno(file_), _fileno(stdout)) != 0) {
        std::fprintf(stderr, "Bail out! cannot capture stdout\n");
        std::exit(2);
    }
}

StdoutCapture::~StdoutCapture()
{
    finish();
}

std::string StdoutCapture::finish()
{
    if (file_ == nullptr) {
        return {};
    }
    std::fflush(stdout);
    _dup2(savedFd_, _fileno(stdout));
    _close(savedFd_);
    std::string text;
    std::fseek(file_, 0, SEEK_SET);
    char buffer[1024];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0) {
        text.append(buffer, n);
    }
    std::fclose(file_);
    file_ = nullptr;
    DeleteFileA(path_.c_str());
    // The CRT writes "\n" to a binary-mode file unchanged; strip any "\r" a text-mode stdout added.
    std::string lines;
    for (char c : text) {
        if (c != '\r') {
            lines += c;
        }
    }
    return lines;
}

void Checks::check(bool ok, const std::string& name, const std::string& rawDetail)
{
    std::string detail = rawDetail; // one report line per check
    for (char& c : detail) {
        c = c == '\n' ? '|' : c;
    }
    ++count_;
    if (!ok) {
        ++failures_;
    }
    std::fprintf(stderr, "%s %d - %s%s%s\n", ok ? "ok" : "not ok", count_, name.c_str(), detail.empty() ? "" : ": ",
                 detail.c_str());
}

void Checks::equal(const std::string& actual, const std::string& expected, const std::string& name)
{
    check(actual == expected, name,
          actual == expected ? std::string{} : "got [" + actual + "] expected [" + expected + "]");
}

void Checks::note(const std::string& text)
{
    std::fprintf(stderr, "# %s\n", text.c_str());
}
