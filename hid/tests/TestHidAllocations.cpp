// The hook runs for every key on the desktop while Windows holds keyboard input back:
// it must not allocate, neither while capturing nor while passing keys on.
#include "AllocationCounter.h"
#include "HidLibrary.h"
#include "KeyInjector.h"

#include "SDL.h"

#include <QtTest>

namespace {

constexpr int keysMeasured = 100000;
constexpr int batch = 1000; // SDL's queue holds 65535; it is emptied between batches

// Taps keys in batches and empties the queue after each; returns how many events were pushed.
int tapKeys(KeyInjector& injector, int keys)
{
    int pushed = 0;
    for (int done = 0; done < keys; done += batch) {
        for (int i = 0; i < batch; i += 2) {
            injector.tap('A' + (i / 2) % 26);
        }
        pushed += SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_KEYDOWN, SDL_KEYUP);
        SDL_FlushEvents(SDL_KEYDOWN, SDL_KEYUP);
    }
    return pushed;
}

} // namespace

class TestHidAllocations : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void capturingAllocatesNothing();
    void passingOnAllocatesNothing();

private:
    std::unique_ptr<HidLibrary> hid;
    SDL_Event event{};
    unsigned char capture = 1;
};

void TestHidAllocations::initTestCase()
{
    QCOMPARE(SDL_Init(SDL_INIT_EVENTS), 0);
    StdoutCapture out;
    hid = std::make_unique<HidLibrary>();
    hid->start(&event, &capture);
}

void TestHidAllocations::cleanupTestCase()
{
    StdoutCapture out;
    hid->stop();
    hid.reset();
    SDL_Quit();
}

void TestHidAllocations::capturingAllocatesNothing()
{
    KeyInjector injector;
    injector.setRecording(false);
    capture = 1;
    tapKeys(injector, 2 * batch); // SDL grows its pool of queue entries once

    const std::size_t before = allocations::count();
    const int pushed = tapKeys(injector, keysMeasured);
    const std::size_t allocated = allocations::count() - before;

    QCOMPARE(pushed, keysMeasured);
    QCOMPARE(allocated, std::size_t{0});
}

void TestHidAllocations::passingOnAllocatesNothing()
{
    KeyInjector injector;
    injector.setRecording(false);
    capture = 0;

    const std::size_t before = allocations::count();
    const int pushed = tapKeys(injector, keysMeasured);
    const std::size_t allocated = allocations::count() - before;

    QCOMPARE(pushed, 0);
    QCOMPARE(allocated, std::size_t{0});
}

QTEST_GUILESS_MAIN(TestHidAllocations)
#include "TestHidAllocations.moc"
