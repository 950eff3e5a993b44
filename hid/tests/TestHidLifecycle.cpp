// Loading, starting, stopping and unloading the Linux build, and the lines each step writes.
#include "HidLibrary.h"
#include "KeyInjector.h"

#include "SDL.h"

#include <QtTest>

#include <cstdint>
#include <memory>

namespace {

QString handleDigits(HHOOK hook)
{
    return QString("%1").arg(reinterpret_cast<std::uintptr_t>(hook), 16, 16, QChar('0')).toUpper();
}

int pendingEvents()
{
    return SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
}

} // namespace

class TestHidLifecycle : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void loadAndUnloadWriteTheEntryAndSingletonLines();
    void startAndStopWriteTheirLinesInOrder();
    void stopWithoutStartReportsInvalidHookHandle();
    void stopKeepsTheHandleForLaterLines();
    void failedInstallShowsNullHandleAndCapturesNothing();
    void secondStartRemovesThePreviousHook();

private:
    SDL_Event event{};
    unsigned char capture = 1;
};

void TestHidLifecycle::initTestCase()
{
    QCOMPARE(SDL_Init(SDL_INIT_EVENTS), 0);
}

void TestHidLifecycle::init()
{
    win32emu::reset();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    QVERIFY(!HidLibrary::isMapped());
}

void TestHidLifecycle::cleanupTestCase()
{
    SDL_Quit();
}

void TestHidLifecycle::loadAndUnloadWriteTheEntryAndSingletonLines()
{
    StdoutCapture out;
    auto hid = std::make_unique<HidLibrary>();
    hid->unload();
    const QString printed = QString::fromStdString(out.finish());
    QVERIFY(!HidLibrary::isMapped());
    // The second line comes from the singleton's destructor, after the entry point's detach.
    QCOMPARE(printed, QString("TAVO HID Init\nTAVO HID Destory\nTAVO HID Destory\n"));
}

void TestHidLifecycle::startAndStopWriteTheirLinesInOrder()
{
    // QtTest reports on stdout too: nothing is checked until the capture has ended.
    StdoutCapture out;
    auto hid = std::make_unique<HidLibrary>();
    hid->start(&event, &capture);
    const HHOOK hook = win32emu::newestHook();
    const std::size_t hooksWhileStarted = win32emu::hookCount();
    hid->stop();
    const std::size_t hooksAfterStop = win32emu::hookCount();
    hid->unload();
    const QString printed = QString::fromStdString(out.finish());

    QVERIFY(hook != nullptr);
    QCOMPARE(hooksWhileStarted, std::size_t{1});
    QCOMPARE(hooksAfterStop, std::size_t{0});
    const QString id = handleDigits(hook);
    QVERIFY(id.contains(QRegularExpression("[A-F]")) && id.startsWith('0')); // upper case, zero padded
    QCOMPARE(printed, QString("TAVO HID Init\n"
                              "TAVO Start Keyboard (ID : %1)\n"
                              "TAVO Stop Keyboard (ID : %1)\n"
                              "TAVO Keyboard Done\n"
                              "TAVO HID Destory\n"
                              "TAVO HID Destory\n")
                          .arg(id));
}

void TestHidLifecycle::stopWithoutStartReportsInvalidHookHandle()
{
    HidLibrary hid;
    StdoutCapture out;
    hid.stop();
    QCOMPARE(QString::fromStdString(out.finish()), QString("TAVO Stop Keyboard (ID : 0000000000000000)\n"
                                                           "TAVO Keyboard failed message : 1404\n"));
}

void TestHidLifecycle::stopKeepsTheHandleForLaterLines()
{
    HidLibrary hid;
    hid.start(&event, &capture);
    const QString id = handleDigits(win32emu::newestHook());
    hid.stop();

    StdoutCapture out;
    hid.stop();
    QCOMPARE(QString::fromStdString(out.finish()),
             QString("TAVO Stop Keyboard (ID : %1)\nTAVO Keyboard failed message : 1404\n").arg(id));
}

void TestHidLifecycle::failedInstallShowsNullHandleAndCapturesNothing()
{
    HidLibrary hid;
    win32emu::failNextHookInstall(8);
    StdoutCapture out;
    hid.start(&event, &capture);
    QCOMPARE(QString::fromStdString(out.finish()), QString("TAVO Start Keyboard (ID : 0000000000000000)\n"));
    QCOMPARE(win32emu::hookCount(), std::size_t{0});

    KeyInjector injector;
    QVERIFY(injector.press('A'));
    QVERIFY(injector.release('A'));
    QCOMPARE(pendingEvents(), 0);

    StdoutCapture stopOut;
    hid.stop();
    QCOMPARE(QString::fromStdString(stopOut.finish()), QString("TAVO Stop Keyboard (ID : 0000000000000000)\n"
                                                               "TAVO Keyboard failed message : 1404\n"));
}

void TestHidLifecycle::secondStartRemovesThePreviousHook()
{
    HidLibrary hid;
    SDL_Event secondEvent{};
    unsigned char secondCapture = 1;
    StdoutCapture out;
    hid.start(&event, &capture);
    const HHOOK first = win32emu::newestHook();
    hid.start(&secondEvent, &secondCapture);
    const HHOOK second = win32emu::newestHook();
    QCOMPARE(QString::fromStdString(out.finish()), QString("TAVO Start Keyboard (ID : %1)\n"
                                                           "TAVO Start Keyboard (ID : %2)\n")
                                                       .arg(handleDigits(first), handleDigits(second)));
    QVERIFY(first != second);
    QCOMPARE(win32emu::hookCount(), std::size_t{1});

    // One hook, writing into the record of the latest start.
    KeyInjector injector;
    injector.press('A');
    QCOMPARE(pendingEvents(), 1);
    QCOMPARE(secondEvent.key.keysym.unused, Uint32{'A'});
    QCOMPARE(event.key.keysym.unused, Uint32{0});

    StdoutCapture stopOut;
    hid.stop();
    QVERIFY(stopOut.finish().find("TAVO Keyboard Done") != std::string::npos);
    QCOMPARE(win32emu::hookCount(), std::size_t{0});
    QVERIFY(injector.release('A'));
    QCOMPARE(pendingEvents(), 1);
}

QTEST_GUILESS_MAIN(TestHidLifecycle)
#include "TestHidLifecycle.moc"
