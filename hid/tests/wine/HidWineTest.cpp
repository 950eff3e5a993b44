// Runs the Windows build of the library on Windows' own hook machinery (under Wine): loads it
// beside a stand-in SDL2.dll, types with SendInput and checks what was pushed, what was passed
// on to the next hook and what reached the focused window. Exit status 0 when all checks pass.
//
// Where Wine's input system differs from Windows the test says so and accepts Wine's answer;
// the Linux emulation asserts Windows' behaviour in those places (TestHidHook, TestHidLifecycle).
#include "SdlStandIn.h"
#include "TAVO_HID_static.h"
#include "WineTestSupport.h"

#include <cstring>
#include <functional>

namespace {

Checks t;
TAVO_Start_Keyboard_t startKeyboard = nullptr;
TAVO_Stop_Keyboard_t stopKeyboard = nullptr;

constexpr DWORD up = KEYEVENTF_KEYUP;
constexpr DWORD extended = KEYEVENTF_EXTENDEDKEY;

struct Outcome
{
    std::string printed;
    std::string pushed;
    std::string observed;
    std::string passed;
    std::string window;
};

std::string pushedSince(int from)
{
    std::string text;
    SDL_Event event;
    for (int i = from; StandIn_Pushed(i, &event); ++i) {
        const std::string type = event.type == SDL_KEYDOWN ? "down"
                                 : event.type == SDL_KEYUP ? "up"
                                                           : hex(event.type, 3);
        text += (text.empty() ? "" : ", ") + type + " " + hex(event.key.keysym.unused, 2) + " " +
                hex(event.key.keysym.mod, 4);
    }
    return text;
}

// Types the keys with stdout captured and reports what happened to them.
Outcome run(const std::string& name, const std::function<void()>& keys)
{
    clearRecords();
    const int from = StandIn_PushCount();
    Outcome outcome;
    {
        StdoutCapture out;
        keys();
        outcome.printed = out.finish();
    }
    outcome.pushed = pushedSince(from);
    outcome.observed = describe(observedKeys);
    outcome.passed = describe(passedKeys);
    outcome.window = describe(windowKeys);
    t.note(name + ": pushed [" + outcome.pushed + "] passed [" + outcome.passed + "] window [" + outcome.window + "]");
    return outcome;
}

std::string captured(const std::function<void()>& action)
{
    StdoutCapture out;
    action();
    return out.finish();
}

HMODULE loadLibrary()
{
    HMODULE library = nullptr;
    t.equal(captured([&] { library = LoadLibraryW(L"TAVO_HID_static.dll"); }), "TAVO HID Init\n",
            "loading prints the attach line");
    t.check(library != nullptr, "TAVO_HID_static.dll loads beside the stand-in SDL2.dll");
    if (library == nullptr) {
        std::exit(1);
    }
    startKeyboard = reinterpret_cast<TAVO_Start_Keyboard_t>(
        reinterpret_cast<void*>(GetProcAddress(library, "TAVO_Start_Keyboard")));
    stopKeyboard =
        reinterpret_cast<TAVO_Stop_Keyboard_t>(reinterpret_cast<void*>(GetProcAddress(library, "TAVO_Stop_Keyboard")));
    t.check(startKeyboard != nullptr && stopKeyboard != nullptr, "both exports resolve");
    if (startKeyboard == nullptr || stopKeyboard == nullptr) {
        std::exit(1);
    }
    return library;
}

void unloadLibrary(HMODULE library)
{
    t.equal(captured([&] { FreeLibrary(library); }), "TAVO HID Destory\nTAVO HID Destory\n",
            "unloading prints the detach line and the singleton's line");
}

// The handle from a start line, or "" when the line is not "TAVO Start Keyboard (ID : <16 hex>)".
std::string startLineHandle(const std::string& line)
{
    const std::string head = "TAVO Start Keyboard (ID : ";
    if (line.size() != head.size() + 18 || line.compare(0, head.size(), head) != 0 ||
        line.substr(line.size() - 2) != ")\n") {
        return {};
    }
    const std::string digits = line.substr(head.size(), 16);
    for (char c : digits) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) {
            return {};
        }
    }
    return digits;
}

bool keyIsDown(int vk)
{
    return (GetKeyState(vk) & 0x8000) != 0;
}

bool keyIsToggled(int vk)
{
    return (GetKeyState(vk) & 1) != 0;
}

void fillPattern(SDL_Event& event)
{
    auto* bytes = reinterpret_cast<unsigned char*>(&event);
    for (std::size_t i = 0; i < sizeof event; ++i) {
        bytes[i] = static_cast<unsigned char>(0xA0 + i);
    }
}

// Bytes other than type (0-3), mod (24-25) and the virtual-key code (28-31) that differ from the pattern.
std::string changedBytes(const SDL_Event& event, const SDL_Event& pattern)
{
    const auto* now = reinterpret_cast<const unsigned char*>(&event);
    const auto* before = reinterpret_cast<const unsigned char*>(&pattern);
    std::string changed;
    for (std::size_t i = 0; i < sizeof event; ++i) {
        const bool written = i < 4 || i == 24 || i == 25 || (i >= 28 && i < 32);
        if (!written && now[i] != before[i]) {
            changed += std::to_string(i) + " ";
        }
    }
    return changed;
}

} // namespace

int main()
{
    HWND window = createFocusedWindow();
    t.check(window != nullptr && GetFocus() == window, "the test window has the keyboard focus");

    HMODULE library = loadLibrary();
    HHOOK nextHook = installNextHook(); // installed first, so it is called after the library's hook

    SDL_Event event;
    fillPattern(event);
    const SDL_Event pattern = event;
    unsigned char capture = 1;

    const std::string firstId = startLineHandle(captured([&] { startKeyboard(&event, &capture); }));
    t.check(!firstId.empty() && firstId != "0000000000000000",
            "start prints the hook handle as 16 upper-case hex digits", firstId);
    HHOOK observer = installObserverHook();

    Outcome o = run("letter, capture on", [] { tapKey('A'); });
    t.equal(o.pushed, "down 0x41 0x0008, up 0x41 0x0000", "a captured letter is pushed as key down and key up");
    t.equal(o.passed + o.window, "", "a captured letter reaches neither the next hook nor the window");

    capture = 0;
    o = run("capture off", [] {
        tapKey('B');
        tapKey(VK_SCROLL);
    });
    t.equal(o.pushed, "", "with the switch at 0 nothing is pushed");
    t.equal(o.passed, "WM_KEYDOWN 0x42, WM_KEYUP 0x42, WM_KEYDOWN 0x91, WM_KEYUP 0x91",
            "with the switch at 0 keys pass");
    t.equal(o.window, o.passed, "with the switch at 0 the window gets the keys");
    capture = 1;

    o = run("right and left Ctrl", [] {
        tapKey(VK_RCONTROL, extended);
        tapKey(VK_LCONTROL);
    });
    t.equal(o.pushed, "down 0xa3 0x0009, up 0xa3 0x0001, down 0xa2 0x0008, up 0xa2 0x0000",
            "the extended right Ctrl carries bit 0, left Ctrl does not");

    o = run("Alt+X captured", [] {
        sendKey(VK_LMENU);
        tapKey('X');
        sendKey(VK_LMENU, up);
    });
    t.equal(o.pushed, "down 0xa4 0x0008, down 0x58 0x0008, up 0x58 0x0000, up 0xa4 0x0000", "Alt+X is pushed in order");
    // The swallowed Alt never reached the system, so X is an ordinary key, as on Windows.
    t.equal(o.observed, "WM_SYSKEYDOWN 0xa4, WM_KEYDOWN 0x58, WM_KEYUP 0x58, WM_KEYUP 0xa4",
            "Alt captured: X arrives as WM_KEYDOWN");
    t.equal(o.passed + o.window, "", "Alt+X reaches nothing local");

    o = run("Alt held before capture", [&] {
        capture = 0;
        sendKey(VK_LMENU);
        capture = 1;
        tapKey('X');
        sendKey(VK_LMENU, up);
    });
    t.equal(o.observed, "WM_SYSKEYDOWN 0xa4, WM_SYSKEYDOWN 0x58, WM_SYSKEYUP 0x58, WM_KEYUP 0xa4",
            "with Alt held locally X arrives as a system key");
    t.equal(o.pushed, "down 0x58 0x0008, up 0x58 0x0000",
            "WM_SYSKEYDOWN is pushed as key down with bit 3, WM_SYSKEYUP as key up without; "
            "the locally pressed Alt's release is not pushed");
    t.equal(o.passed, "WM_SYSKEYDOWN 0xa4, WM_KEYUP 0xa4", "the release of the locally pressed Alt is passed on");
    t.check(windowKeys.size() == 2 && windowKeys[1].vk == VK_MENU &&
                (windowKeys[1].message == WM_KEYUP || windowKeys[1].message == WM_SYSKEYUP),
            "the window sees Alt released", o.window);
    t.check(!keyIsDown(VK_MENU), "Alt is not left held on the local desktop");

    o = run("Alt captured, capture off before its release", [&] {
        sendKey(VK_LMENU);
        capture = 0;
        sendKey(VK_LMENU, up);
        capture = 1;
    });
    t.equal(o.pushed, "down 0xa4 0x0008, up 0xa4 0x0000", "Alt pressed while captured is released on the remote side");
    t.equal(o.passed + o.window, "", "Alt pressed while captured: its release reaches nothing local");

    o = run("auto-repeat across a switch", [&] {
        sendKey('K');
        capture = 0;
        sendKey('K');
        sendKey('K', up);
        sendKey('J');
        capture = 1;
        sendKey('J');
        capture = 0;
        sendKey('J', up);
        capture = 1;
    });
    t.equal(o.pushed, "down 0x4b 0x0008, up 0x4b 0x0000, down 0x4a 0x0008, up 0x4a 0x0000",
            "a key repeated across a switch is released on the remote side");
    t.equal(o.passed, "WM_KEYDOWN 0x4b, WM_KEYUP 0x4b, WM_KEYDOWN 0x4a, WM_KEYUP 0x4a",
            "a key repeated across a switch is released locally too");
    t.check(!keyIsDown('K') && !keyIsDown('J'), "no key repeated across a switch is left held locally");

    capture = 0;
    o = run("Alt alone, capture off", [] { tapKey(VK_LMENU); });
    capture = 1;
    // Windows hands an Alt released alone to low-level hooks as WM_KEYUP, and sets LLKHF_ALTDOWN
    // on its press; Wine 8 sends WM_SYSKEYUP and leaves the flag clear. The Linux injector does
    // what Windows does. The library does not depend on either: both releases give key up.
    t.check(passedKeys.size() == 2 && passedKeys[0].message == WM_SYSKEYDOWN &&
                (passedKeys[1].message == WM_KEYUP || passedKeys[1].message == WM_SYSKEYUP),
            "Alt alone passes as WM_SYSKEYDOWN and a key up", o.passed);
    t.note(std::string("Alt alone released as ") + (passedKeys.size() == 2 ? messageName(passedKeys[1].message) : "?") +
           " here (Windows: WM_KEYUP)");
    o = run("Alt alone, capture on", [] { tapKey(VK_LMENU); });
    t.equal(o.pushed, "down 0xa4 0x0008, up 0xa4 0x0000", "Alt alone is pushed as down and up");

    o = run("Caps Lock on", [] {
        tapKey(VK_CAPITAL);
        tapKey('A');
    });
    t.equal(o.pushed, "down 0x41 0x000a, up 0x41 0x0002", "Caps Lock pushes nothing; then every key carries bit 1");
    t.equal(o.passed, "WM_KEYDOWN 0x14, WM_KEYUP 0x14", "Caps Lock is passed on, the letter is not");
    t.check(observedKeys.size() == 4 && passedKeys.size() == 2 && passedKeys[0].flags == observedKeys[0].flags &&
                passedKeys[1].flags == observedKeys[1].flags,
            "Caps Lock passes unchanged", describe(observedKeys, true) + " / " + describe(passedKeys, true));
    t.equal(describe(windowKeys), "WM_KEYDOWN 0x14, WM_KEYUP 0x14", "the window gets Caps Lock");
    t.check(keyIsToggled(VK_CAPITAL), "Caps Lock is on locally");

    o = run("Caps Lock off", [] {
        tapKey(VK_CAPITAL);
        tapKey('A');
    });
    t.equal(o.pushed, "down 0x41 0x0008, up 0x41 0x0000", "Caps Lock off: bit 1 clear");
    t.check(!keyIsToggled(VK_CAPITAL), "Caps Lock is off locally");

    o = run("Num Lock", [] {
        tapKey(VK_NUMLOCK);
        tapKey('1');
        tapKey(VK_NUMLOCK);
    });
    t.equal(o.pushed, "down 0x31 0x000c, up 0x31 0x0004", "Num Lock pushes nothing; while on keys carry bit 2");
    t.equal(o.window, "WM_KEYDOWN 0x90, WM_KEYUP 0x90, WM_KEYDOWN 0x90, WM_KEYUP 0x90", "the window gets Num Lock");

    o = run("Scroll Lock", [] { tapKey(VK_SCROLL); });
    t.equal(o.pushed, "down 0x91 0x0008, up 0x91 0x0000", "Scroll Lock is pushed");
    t.equal(o.passed + o.window, "", "Scroll Lock is swallowed");

    o = run("auto-repeat", [] {
        sendKey('K');
        sendKey('K');
        sendKey('K');
        sendKey('K', up);
    });
    t.equal(o.pushed, "down 0x4b 0x0008, down 0x4b 0x0008, down 0x4b 0x0008, up 0x4b 0x0000",
            "a held key gives one key down per repeat and one key up");

    for (int refusal : {0, -1}) {
        // G's release is refused after its press was taken; F's press is refused, so its
        // release goes on locally without being tried.
        o = run("push refused with " + std::to_string(refusal), [refusal] {
            sendKey('G');
            StandIn_SetPushResult(refusal);
            sendKey('G', up);
            tapKey('F');
        });
        StandIn_SetPushResult(1);
        const std::string line = "[TAVO DLL] Keyboard Data Push failed res : " + std::to_string(refusal) + "\n";
        t.equal(o.printed, line + line, "a refused push prints SDL's result (" + std::to_string(refusal) + ")");
        t.equal(o.passed, "WM_KEYUP 0x47, WM_KEYDOWN 0x46, WM_KEYUP 0x46", "a refused key goes on to the next hook");
        t.equal(o.window, "WM_KEYUP 0x47, WM_KEYDOWN 0x46, WM_KEYUP 0x46", "a refused key reaches the window");
    }

    t.equal(changedBytes(event, pattern), "", "the caller's record keeps every field but type, mod and unused");
    std::string changedInPushed;
    SDL_Event pushed;
    for (int i = 0; StandIn_Pushed(i, &pushed); ++i) {
        changedInPushed += changedBytes(pushed, pattern);
    }
    t.equal(changedInPushed, "", "every pushed record keeps the caller's other fields");

    // A second start must not leave the first hook behind: after the stop nothing may capture.
    const std::string secondId = startLineHandle(captured([&] { startKeyboard(&event, &capture); }));
    t.check(!secondId.empty() && secondId != firstId, "a second start installs a new hook", secondId);
    UnhookWindowsHookEx(observer);
    observer = installObserverHook();
    o = run("after a second start", [] { tapKey('A'); });
    t.equal(o.pushed, "down 0x41 0x0008, up 0x41 0x0000", "after a second start each key is pushed once");

    t.equal(captured([&] { stopKeyboard(); }), "TAVO Stop Keyboard (ID : " + secondId + ")\nTAVO Keyboard Done\n",
            "stop prints the handle and removes the hook");
    o = run("after stop", [] { tapKey('A'); });
    t.equal(o.pushed, "", "after stop nothing is pushed: no hook was orphaned");
    t.equal(o.window, "WM_KEYDOWN 0x41, WM_KEYUP 0x41", "after stop keys reach the window");

    t.equal(captured([&] { stopKeyboard(); }),
            "TAVO Stop Keyboard (ID : " + secondId + ")\nTAVO Keyboard failed message : 1404\n",
            "a second stop reports the invalid hook handle");
    UnhookWindowsHookEx(observer);
    UnhookWindowsHookEx(nextHook);
    unloadLibrary(library);

    // Stop without a start: Windows reports ERROR_INVALID_HOOK_HANDLE (1404) for a null handle,
    // Wine 8 ERROR_INVALID_PARAMETER (87). The Linux emulation asserts 1404.
    library = loadLibrary();
    const std::string stopLines = captured([&] { stopKeyboard(); });
    const std::string expected = "TAVO Stop Keyboard (ID : 0000000000000000)\nTAVO Keyboard failed message : ";
    t.check(stopLines == expected + "1404\n" || stopLines == expected + "87\n",
            "stop without start prints the null handle and the system's error", stopLines);
    std::string reported = stopLines;
    for (char& c : reported) {
        c = c == '\n' ? '|' : c;
    }
    t.note("stop without start printed: " + reported);
    unloadLibrary(library);

    DestroyWindow(window);
    std::fprintf(stderr, "1..%d\n# %d of %d checks failed\n", t.count(), t.failures(), t.count());
    return t.failures() == 0 ? 0 : 1;
}
