// Cost of the hook procedure per key on the Linux build, with the real SDL_PushEvent behind it,
// and the number of heap allocations over 100,000 keys (which must be 0).
#include "AllocationCounter.h"
#include "HidLibrary.h"
#include "KeyInjector.h"

#include "SDL.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

struct Session
{
    Session()
    {
        SDL_Init(SDL_INIT_EVENTS);
        StdoutCapture quiet;
        hid = std::make_unique<HidLibrary>();
        hid->start(&event, &capture);
        procedure = win32emu::hookProcedure(win32emu::newestHook());
    }
    ~Session()
    {
        StdoutCapture quiet;
        hid->stop();
        hid.reset();
        SDL_Quit();
    }

    std::unique_ptr<HidLibrary> hid;
    SDL_Event event{};
    unsigned char capture = 1;
    HOOKPROC procedure = nullptr;
};

Session& session()
{
    static Session instance;
    return instance;
}

constexpr int queueBatch = 1024; // well below SDL's 65535 queued events

// The hook procedure alone, called as Windows calls it, alternating key down and key up.
void hookProcedure(benchmark::State& state, unsigned char capture)
{
    Session& s = session();
    s.capture = capture;
    KBDLLHOOKSTRUCT down{};
    down.vkCode = 'A';
    KBDLLHOOKSTRUCT up = down;
    up.flags = LLKHF_UP;
    int sinceFlush = 0;
    const std::size_t allocationsBefore = allocations::count();
    for (auto _ : state) {
        const bool isDown = (sinceFlush & 1) == 0;
        benchmark::DoNotOptimize(
            s.procedure(HC_ACTION, isDown ? WM_KEYDOWN : WM_KEYUP, reinterpret_cast<LPARAM>(isDown ? &down : &up)));
        if (++sinceFlush == queueBatch) {
            state.PauseTiming();
            SDL_FlushEvents(SDL_KEYDOWN, SDL_KEYUP);
            sinceFlush = 0;
            state.ResumeTiming();
        }
    }
    SDL_FlushEvents(SDL_KEYDOWN, SDL_KEYUP);
    state.counters["allocations"] = static_cast<double>(allocations::count() - allocationsBefore);
    state.SetItemsProcessed(state.iterations());
}

void BM_HookProcedure_Capture(benchmark::State& state)
{
    hookProcedure(state, 1);
}

void BM_HookProcedure_PassOn(benchmark::State& state)
{
    hookProcedure(state, 0);
}

// Exactly 100,000 keys through the emulated input path; fails if anything was allocated.
void BM_AllocationsPer100000Keys(benchmark::State& state)
{
    Session& s = session();
    s.capture = 1;
    KeyInjector injector;
    injector.setRecording(false);
    for (int i = 0; i < queueBatch; ++i) { // let SDL grow its pool of queue entries first
        injector.press('W');
    }
    SDL_FlushEvents(SDL_KEYDOWN, SDL_KEYUP);

    std::size_t allocated = 0;
    for (auto _ : state) {
        const std::size_t before = allocations::count();
        for (int key = 0; key < 100000; key += 2) {
            injector.tap('A' + (key / 2) % 26);
            if (key % queueBatch == queueBatch - 2) {
                SDL_FlushEvents(SDL_KEYDOWN, SDL_KEYUP);
            }
        }
        allocated += allocations::count() - before;
        SDL_FlushEvents(SDL_KEYDOWN, SDL_KEYUP);
    }
    state.counters["allocations"] = static_cast<double>(allocated);
    state.counters["keys"] = 100000.0 * static_cast<double>(state.iterations());
    if (allocated != 0) {
        state.SkipWithError("the hook allocated while handling keys");
    }
}

} // namespace

BENCHMARK(BM_HookProcedure_Capture);
BENCHMARK(BM_HookProcedure_PassOn);
BENCHMARK(BM_AllocationsPer100000Keys)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
