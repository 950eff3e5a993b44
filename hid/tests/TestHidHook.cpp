// The hook's behaviour on the Linux build: keys come from the injector the way Windows delivers
// them, pushed events are read back from SDL's real event queue, and a hook installed before
// ours shows what was passed on.
#include "HidLibrary.h"
#include "KeyInjector.h"

#include "SDL.h"

#include <QtTest>

#include <cstring>
#include <memory>
#include <vector>

namespace {

std::vector<SystemKeyEvent> nextHookCalls;

LRESULT CALLBACK recordNextHook(int code, WPARAM message, LPARAM record)
{
    const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(record);
    nextHookCalls.push_back({message, key->vkCode, key->flags});
    return CallNextHookEx(nullptr, code, message, record);
}

int refuseAll(void*, SDL_Event*)
{
    return 0;
}

QString messageName(WPARAM message)
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
        return QString::number(message, 16);
    }
}

QString hex(unsigned value, int width)
{
    return QString("0x%1").arg(value, width, 16, QChar('0'));
}

// "down/up vk mod" per event, so a failure shows the whole sequence.
QString describe(const std::vector<SDL_Event>& events)
{
    QStringList parts;
    for (const auto& e : events) {
        const QString type = e.type == SDL_KEYDOWN ? "down" : e.type == SDL_KEYUP ? "up" : hex(e.type, 3);
        parts << QString("%1 %2 %3").arg(type, hex(e.key.keysym.unused, 2), hex(e.key.keysym.mod, 4));
    }
    return parts.join(", ");
}

QString describe(const std::vector<SystemKeyEvent>& events)
{
    QStringList parts;
    for (const auto& e : events) {
        parts << QString("%1 %2 %3").arg(messageName(e.message), hex(e.vkCode, 2), hex(e.flags, 2));
    }
    return parts.join(", ");
}

std::vector<SDL_Event> takePushed()
{
    std::vector<SDL_Event> events;
    SDL_Event buffer[64];
    int n;
    while ((n = SDL_PeepEvents(buffer, 64, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT)) > 0) {
        events.insert(events.end(), buffer, buffer + n);
    }
    return events;
}

// A recognisable byte pattern in the caller's record: the hook may change only type, mod and unused.
void fillPattern(SDL_Event& event)
{
    auto* bytes = reinterpret_cast<unsigned char*>(&event);
    for (std::size_t i = 0; i < sizeof event; ++i) {
        bytes[i] = static_cast<unsigned char>(0xA0 + i);
    }
}

constexpr std::size_t typeOffset = 0;
constexpr std::size_t timestampOffset = 4;
constexpr std::size_t modOffset = 24;
constexpr std::size_t unusedOffset = 28;

} // namespace

class TestHidHook : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void switchOffPassesEverythingAndPushesNothing();
    void capturedKeyIsPushedAndSwallowed();
    void injectedKeysAreHandledLikePhysicalOnes();
    void lockKeysPassUnchangedAndPushNothing_data();
    void lockKeysPassUnchangedAndPushNothing();
    void capsLockOnMarksEveryPushedKey();
    void numLockOnMarksEveryPushedKey();
    void heldLockKeyCountsAsOn();
    void scrollLockIsPushedAndSwallowed();
    void extendedKeysCarryBit0_data();
    void extendedKeysCarryBit0();
    void messageGivesEventType_data();
    void messageGivesEventType();
    void altCombinationFromWindowsInput();
    void altAloneComesUpAsKeyUpAsOnWindows();
    void autoRepeatPushesOneDownPerRepeat();
    void otherFieldsOfTheRecordAreUntouched();
    void switchIsReadOnEveryKey();
    void refusedPushPrintsResultAndLetsKeyThrough_data();
    void refusedPushPrintsResultAndLetsKeyThrough();
    void releaseGoesWhereItsPressesWent_data();
    void releaseGoesWhereItsPressesWent();
    void releaseOfKeyPressedBeforeCaptureGoesOnlyToSystem();
    void newStartForgetsKeysHeldBefore();
    void hookMakesTwoKeyStateCallsPerPushedKey();

private:
    void startHid();

    std::unique_ptr<HidLibrary> hid;
    std::unique_ptr<KeyInjector> injector;
    HHOOK nextHook = nullptr;
    SDL_Event event{};
    unsigned char capture = 1;
};

void TestHidHook::initTestCase()
{
    QCOMPARE(SDL_Init(SDL_INIT_EVENTS), 0);
}

void TestHidHook::init()
{
    win32emu::reset();
    if (SDL_WasInit(SDL_INIT_EVENTS) == 0) {
        QCOMPARE(SDL_InitSubSystem(SDL_INIT_EVENTS), 0);
    }
    SDL_SetEventFilter(nullptr, nullptr);
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);

    // Installed first, so it is called after ours: it sees what our hook passes on.
    nextHookCalls.clear();
    nextHook = SetWindowsHookExW(WH_KEYBOARD_LL, recordNextHook, GetModuleHandleW(nullptr), 0);
    QVERIFY(nextHook != nullptr);

    fillPattern(event);
    capture = 1;
    injector = std::make_unique<KeyInjector>();
    startHid();
}

void TestHidHook::startHid()
{
    StdoutCapture out;
    hid = std::make_unique<HidLibrary>();
    hid->start(&event, &capture);
    QVERIFY(out.finish().find("TAVO Start Keyboard") != std::string::npos);
    QCOMPARE(win32emu::hookCount(), std::size_t{2});
}

void TestHidHook::cleanup()
{
    StdoutCapture out;
    hid->stop();
    hid.reset();
    UnhookWindowsHookEx(nextHook);
}

void TestHidHook::cleanupTestCase()
{
    SDL_Quit();
}

void TestHidHook::switchOffPassesEverythingAndPushesNothing()
{
    capture = 0;
    injector->tap('A');
    injector->tap(VK_SCROLL);
    injector->tap(VK_RCONTROL, KeyInjector::Extended);

    QCOMPARE(describe(takePushed()), QString());
    const QString passed = "WM_KEYDOWN 0x41 0x00, WM_KEYUP 0x41 0x80, WM_KEYDOWN 0x91 0x00, WM_KEYUP 0x91 0x80, "
                           "WM_KEYDOWN 0xa3 0x01, WM_KEYUP 0xa3 0x81";
    QCOMPARE(describe(nextHookCalls), passed);
    QCOMPARE(describe(injector->reachedSystem()), passed);
}

void TestHidHook::capturedKeyIsPushedAndSwallowed()
{
    QVERIFY(!injector->press('A'));
    QVERIFY(!injector->release('A'));

    QCOMPARE(describe(takePushed()), QString("down 0x41 0x0008, up 0x41 0x0000"));
    QCOMPARE(describe(nextHookCalls), QString());
    QCOMPARE(describe(injector->reachedSystem()), QString());
    QCOMPARE(win32emu::keyState('A'), BYTE{0});
}

void TestHidHook::injectedKeysAreHandledLikePhysicalOnes()
{
    injector->tap('B', KeyInjector::Injected);
    injector->tap('B');

    QCOMPARE(describe(takePushed()), QString("down 0x42 0x0008, up 0x42 0x0000, down 0x42 0x0008, up 0x42 0x0000"));
    QCOMPARE(describe(nextHookCalls), QString());
}

void TestHidHook::lockKeysPassUnchangedAndPushNothing_data()
{
    QTest::addColumn<int>("vk");
    QTest::addColumn<unsigned>("flags");
    QTest::newRow("Caps Lock") << VK_CAPITAL << 0u;
    QTest::newRow("Num Lock") << VK_NUMLOCK << 0u;
    QTest::newRow("Num Lock, extended as keyboards send it") << VK_NUMLOCK << unsigned{KeyInjector::Extended};
}

void TestHidHook::lockKeysPassUnchangedAndPushNothing()
{
    QFETCH(int, vk);
    QFETCH(unsigned, flags);

    QVERIFY(injector->press(vk, flags));
    const SystemKeyEvent sentDown{injector->lastMessage(), DWORD(vk), injector->lastFlags()};
    QVERIFY(injector->release(vk, flags));
    const SystemKeyEvent sentUp{injector->lastMessage(), DWORD(vk), injector->lastFlags()};

    QCOMPARE(describe(takePushed()), QString());
    QCOMPARE(describe(nextHookCalls), describe(std::vector<SystemKeyEvent>{sentDown, sentUp}));
    QCOMPARE(win32emu::keyState(vk), BYTE{0x01}); // toggled on locally
}

void TestHidHook::capsLockOnMarksEveryPushedKey()
{
    injector->tap('A');
    injector->tap(VK_CAPITAL);
    injector->tap('A');
    injector->tap(VK_SCROLL);
    injector->tap(VK_CAPITAL);
    injector->tap('A');

    QCOMPARE(describe(takePushed()), QString("down 0x41 0x0008, up 0x41 0x0000, "
                                             "down 0x41 0x000a, up 0x41 0x0002, "
                                             "down 0x91 0x000a, up 0x91 0x0002, "
                                             "down 0x41 0x0008, up 0x41 0x0000"));
}

void TestHidHook::numLockOnMarksEveryPushedKey()
{
    injector->tap(VK_NUMLOCK);
    injector->tap(VK_CAPITAL);
    injector->tap('1');
    injector->tap(VK_NUMLOCK);
    injector->tap('1');

    QCOMPARE(describe(takePushed()), QString("down 0x31 0x000e, up 0x31 0x0006, "
                                             "down 0x31 0x000a, up 0x31 0x0002"));
}

void TestHidHook::heldLockKeyCountsAsOn()
{
    // GetKeyState is also nonzero while the key is held with its toggle off.
    win32emu::setKeyState(VK_CAPITAL, 0x80);
    win32emu::setKeyState(VK_NUMLOCK, 0x80);
    injector->tap('Q');

    QCOMPARE(describe(takePushed()), QString("down 0x51 0x000e, up 0x51 0x0006"));
}

void TestHidHook::scrollLockIsPushedAndSwallowed()
{
    QVERIFY(!injector->press(VK_SCROLL));
    QVERIFY(!injector->release(VK_SCROLL));

    QCOMPARE(describe(takePushed()), QString("down 0x91 0x0008, up 0x91 0x0000"));
    QCOMPARE(describe(nextHookCalls), QString());
    QCOMPARE(win32emu::keyState(VK_SCROLL), BYTE{0}); // the local toggle did not change
}

void TestHidHook::extendedKeysCarryBit0_data()
{
    QTest::addColumn<int>("vk");
    QTest::addColumn<unsigned>("flags");
    QTest::addColumn<QString>("pushed");
    QTest::newRow("right Ctrl") << VK_RCONTROL << unsigned{KeyInjector::Extended} << "down 0xa3 0x0009, up 0xa3 0x0001";
    QTest::newRow("left Ctrl") << VK_LCONTROL << 0u << "down 0xa2 0x0008, up 0xa2 0x0000";
    QTest::newRow("Ctrl sent as extended")
        << VK_CONTROL << unsigned{KeyInjector::Extended} << "down 0xa3 0x0009, up 0xa3 0x0001";
    QTest::newRow("left Alt") << VK_LMENU << 0u << "down 0xa4 0x0008, up 0xa4 0x0000";
    QTest::newRow("right Alt") << VK_RMENU << unsigned{KeyInjector::Extended} << "down 0xa5 0x0009, up 0xa5 0x0001";
    QTest::newRow("Delete") << 0x2E << unsigned{KeyInjector::Extended} << "down 0x2e 0x0009, up 0x2e 0x0001";
}

void TestHidHook::extendedKeysCarryBit0()
{
    QFETCH(int, vk);
    QFETCH(unsigned, flags);
    QFETCH(QString, pushed);

    injector->tap(vk, flags);
    QCOMPARE(describe(takePushed()), pushed);
}

void TestHidHook::messageGivesEventType_data()
{
    QTest::addColumn<unsigned>("message");
    QTest::addColumn<QString>("pushed");
    QTest::newRow("WM_KEYDOWN") << WM_KEYDOWN << "down 0x58 0x0008";
    QTest::newRow("WM_SYSKEYDOWN") << WM_SYSKEYDOWN << "down 0x58 0x0008";
    QTest::newRow("WM_KEYUP") << WM_KEYUP << "up 0x58 0x0000";
    QTest::newRow("WM_SYSKEYUP") << WM_SYSKEYUP << "up 0x58 0x0000";
}

void TestHidHook::messageGivesEventType()
{
    QFETCH(unsigned, message);
    QFETCH(QString, pushed);

    KBDLLHOOKSTRUCT record{};
    record.vkCode = 'X';
    record.flags = message == WM_KEYUP || message == WM_SYSKEYUP ? LLKHF_UP : 0;
    QCOMPARE(win32emu::callKeyboardHooks(message, record), LRESULT{1});
    QCOMPARE(describe(takePushed()), pushed);
}

void TestHidHook::altCombinationFromWindowsInput()
{
    // Alt captured: Windows never sees it held, so the letter comes as a plain key down.
    injector->press(VK_LMENU);
    QCOMPARE(injector->lastMessage(), WPARAM{WM_SYSKEYDOWN});
    injector->press('X');
    QCOMPARE(injector->lastMessage(), WPARAM{WM_KEYDOWN});
    injector->release('X');
    injector->release(VK_LMENU);
    QCOMPARE(describe(takePushed()), QString("down 0xa4 0x0008, down 0x58 0x0008, up 0x58 0x0000, up 0xa4 0x0000"));

    // Alt already held on the desktop when capture starts: the letter is a system key.
    capture = 0;
    injector->press(VK_LMENU);
    capture = 1;
    injector->press('X');
    QCOMPARE(injector->lastMessage(), WPARAM{WM_SYSKEYDOWN});
    injector->release('X');
    QCOMPARE(injector->lastMessage(), WPARAM{WM_SYSKEYUP});
    QCOMPARE(describe(takePushed()), QString("down 0x58 0x0008, up 0x58 0x0000"));
    QCOMPARE(describe(nextHookCalls), QString("WM_SYSKEYDOWN 0xa4 0x20"));
}

void TestHidHook::altAloneComesUpAsKeyUpAsOnWindows()
{
    // Windows' own sequence; Wine 8 releases it as WM_SYSKEYUP and leaves LLKHF_ALTDOWN off the
    // press (recorded in the Wine test). Either way the release must be pushed as key up.
    capture = 0;
    injector->tap(VK_LMENU);
    QCOMPARE(describe(nextHookCalls), QString("WM_SYSKEYDOWN 0xa4 0x20, WM_KEYUP 0xa4 0x80"));
    capture = 1;
    injector->tap(VK_LMENU);
    QCOMPARE(describe(takePushed()), QString("down 0xa4 0x0008, up 0xa4 0x0000"));
}

void TestHidHook::autoRepeatPushesOneDownPerRepeat()
{
    injector->press('K');
    injector->press('K');
    injector->press('K');
    injector->release('K');

    QCOMPARE(describe(takePushed()), QString("down 0x4b 0x0008, down 0x4b 0x0008, down 0x4b 0x0008, up 0x4b 0x0000"));
}

void TestHidHook::otherFieldsOfTheRecordAreUntouched()
{
    SDL_Event pattern;
    fillPattern(pattern);
    injector->press(VK_RCONTROL, KeyInjector::Extended);
    const std::vector<SDL_Event> pushed = takePushed();
    QCOMPARE(pushed.size(), std::size_t{1});

    const auto* mine = reinterpret_cast<const unsigned char*>(&event);
    const auto* theirs = reinterpret_cast<const unsigned char*>(&pushed[0]);
    const auto* original = reinterpret_cast<const unsigned char*>(&pattern);
    for (std::size_t i = 0; i < sizeof(SDL_Event); ++i) {
        const bool written = (i >= typeOffset && i < typeOffset + 4) || (i >= modOffset && i < modOffset + 2) ||
                             (i >= unusedOffset && i < unusedOffset + 4);
        // SDL_PushEvent stamps its own time into the record it is given.
        const bool stampedBySdl = i >= timestampOffset && i < timestampOffset + 4;
        if (written || stampedBySdl) {
            continue;
        }
        QVERIFY2(mine[i] == original[i], qPrintable(QString("caller's byte %1 changed").arg(i)));
        QVERIFY2(theirs[i] == original[i], qPrintable(QString("pushed byte %1 differs").arg(i)));
    }
    QCOMPARE(pushed[0].key.windowID, pattern.key.windowID);
    // The pattern's scancode is no valid SDL_Scancode, so its bytes are compared, not the enum.
    QCOMPARE(std::memcmp(&pushed[0].key.keysym.scancode, &pattern.key.keysym.scancode, sizeof(SDL_Scancode)), 0);
    QCOMPARE(pushed[0].key.keysym.sym, pattern.key.keysym.sym);
    QCOMPARE(event.type, Uint32{SDL_KEYDOWN});
    QCOMPARE(event.key.keysym.mod, Uint16{0x0009});
    QCOMPARE(event.key.keysym.unused, Uint32{VK_RCONTROL});
}

void TestHidHook::switchIsReadOnEveryKey()
{
    injector->tap('S');
    capture = 0;
    injector->tap('U');
    capture = 7; // any value other than 0 is on
    injector->tap('T');

    QCOMPARE(describe(takePushed()), QString("down 0x53 0x0008, up 0x53 0x0000, down 0x54 0x0008, up 0x54 0x0000"));
    QCOMPARE(describe(nextHookCalls), QString("WM_KEYDOWN 0x55 0x00, WM_KEYUP 0x55 0x80"));
}

void TestHidHook::refusedPushPrintsResultAndLetsKeyThrough_data()
{
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<QString>("line");
    QTest::newRow("filtered") << "filter"
                              << "[TAVO DLL] Keyboard Data Push failed res : 0\n";
    QTest::newRow("event system not ready") << "quit"
                                            << "[TAVO DLL] Keyboard Data Push failed res : -1\n";
    QTest::newRow("queue full") << "full"
                                << "[TAVO DLL] Keyboard Data Push failed res : -1\n";
}

void TestHidHook::refusedPushPrintsResultAndLetsKeyThrough()
{
    QFETCH(QString, refusal);
    QFETCH(QString, line);

    QVERIFY(!injector->press('G'));
    if (refusal == "filter") {
        SDL_SetEventFilter(refuseAll, nullptr);
    } else if (refusal == "quit") {
        SDL_QuitSubSystem(SDL_INIT_EVENTS);
    } else {
        SDL_Event filler{};
        filler.type = SDL_USEREVENT;
        while (SDL_PushEvent(&filler) == 1) {
        }
    }

    // G went down into the queue before SDL began refusing: its refused release goes on locally.
    // F's refused press went on locally, so its release goes there only and is not tried again.
    // QtTest reports on stdout too: nothing is checked until the capture has ended.
    StdoutCapture out;
    const bool releasePassed = injector->release('G');
    const bool downPassed = injector->press('F');
    const bool upPassed = injector->release('F');
    const QString printed = QString::fromStdString(out.finish());
    QVERIFY(releasePassed);
    QVERIFY(downPassed);
    QVERIFY(upPassed);
    QCOMPARE(printed, line + line);
    const QString passed = "WM_KEYUP 0x47 0x80, WM_KEYDOWN 0x46 0x00, WM_KEYUP 0x46 0x80";
    QCOMPARE(describe(nextHookCalls), passed);
    QCOMPARE(describe(injector->reachedSystem()), passed);
}

void TestHidHook::releaseGoesWhereItsPressesWent_data()
{
    QTest::addColumn<int>("vk");
    QTest::addColumn<QString>("switchAtPresses"); // one press per digit, auto-repeats after the first
    QTest::addColumn<QString>("pushed");
    QTest::addColumn<QString>("passed");
    // Capture turned off at the release in every row: only the presses decide.
    QTest::newRow("Alt held while capture turns off") << int{VK_LMENU} << "1"
                                                      << "down 0xa4 0x0008, up 0xa4 0x0000"
                                                      << "";
    QTest::newRow("auto-repeat captured, then local") << int{'K'} << "10"
                                                      << "down 0x4b 0x0008, up 0x4b 0x0000"
                                                      << "WM_KEYDOWN 0x4b 0x00, WM_KEYUP 0x4b 0x80";
    QTest::newRow("auto-repeat local, then captured") << int{'K'} << "01"
                                                      << "down 0x4b 0x0008, up 0x4b 0x0000"
                                                      << "WM_KEYDOWN 0x4b 0x00, WM_KEYUP 0x4b 0x80";
}

void TestHidHook::releaseGoesWhereItsPressesWent()
{
    QFETCH(int, vk);
    QFETCH(QString, switchAtPresses);
    QFETCH(QString, pushed);
    QFETCH(QString, passed);

    for (QChar atPress : switchAtPresses) {
        capture = atPress == '1' ? 1 : 0;
        injector->press(vk);
    }
    capture = 0;
    injector->release(vk);

    QCOMPARE(describe(takePushed()), pushed);
    QCOMPARE(describe(nextHookCalls), passed);
    QCOMPARE(describe(injector->reachedSystem()), passed);
}

void TestHidHook::releaseOfKeyPressedBeforeCaptureGoesOnlyToSystem()
{
    // Alt-Tab into the remote window: Alt went down on the local desktop before capture began.
    capture = 0;
    injector->press(VK_LMENU);
    injector->tap(0x09);
    capture = 1;
    nextHookCalls.clear();
    injector->clear();

    QVERIFY(injector->release(VK_LMENU));
    QCOMPARE(describe(takePushed()), QString()); // the remote PC never saw it go down
    QCOMPARE(describe(injector->reachedSystem()), QString("WM_KEYUP 0xa4 0x80"));
    QCOMPARE(win32emu::keyState(VK_MENU) & 0x80, 0);

    // Its next press and release are captured as usual.
    QVERIFY(!injector->press(VK_LMENU));
    QVERIFY(!injector->release(VK_LMENU));
    QCOMPARE(describe(takePushed()), QString("down 0xa4 0x0008, up 0xa4 0x0000"));
    QCOMPARE(describe(nextHookCalls), QString("WM_KEYUP 0xa4 0x80"));
}

void TestHidHook::newStartForgetsKeysHeldBefore()
{
    // H goes down into the queue, comes up while no hook is installed, and is then typed locally
    // after a new start: nothing of the first press may send this release to the queue.
    QVERIFY(!injector->press('H'));
    {
        StdoutCapture out;
        hid->stop();
    }
    QVERIFY(injector->release('H'));
    {
        StdoutCapture out;
        hid->start(&event, &capture);
    }
    capture = 0;
    injector->tap('H');

    QCOMPARE(describe(takePushed()), QString("down 0x48 0x0008"));
    QCOMPARE(describe(nextHookCalls), QString("WM_KEYUP 0x48 0x80, WM_KEYDOWN 0x48 0x00, WM_KEYUP 0x48 0x80"));
}

void TestHidHook::hookMakesTwoKeyStateCallsPerPushedKey()
{
    injector->tap('A');
    injector->tap(VK_CAPITAL);
    capture = 0;
    injector->tap('A');
    QCOMPARE(win32emu::getKeyStateCalls(), std::size_t{4});
    QCOMPARE(takePushed().size(), std::size_t{2});
}

QTEST_GUILESS_MAIN(TestHidHook)
#include "TestHidHook.moc"
