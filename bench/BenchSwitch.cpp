// Screen switch: from the message that shows screen 8 (the integrity check) to the client's answer
// to the first update the new screen gets. Each switch re-shows screen 8 over the screen 8 on show:
// the old screen is torn down and a new one built, and the answer proves the new one is live.
// (A switch through another screen could not be checked: the other screens say nothing when shown,
// so a show message swallowed by a joined read would go unnoticed.)
//
// The link has no framing, so an update that reaches the client in the same read as the show
// message is lost. The peer therefore writes the update at once and again every --resend-us until
// the answer comes; while the client builds the screen the updates wait in its socket, and it
// answers the first read after the build. Answers to updates that were read later are drained
// before the next switch (until the link is quiet for --quiet-ms).
//
// Unlike the round-trip benchmark, the peer's socket has TCP_NODELAY here: updates written while
// the show message is still unacknowledged would otherwise wait for the client's delayed ACK
// (40 ms or more on Linux), and the figure would measure that timer. The client's socket is as
// it always is.

#include "BenchFailure.h"
#include "BenchOptions.h"
#include "BenchPeer.h"
#include "LinkRun.h"
#include "Protocol.h"
#include "Stats.h"

#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr std::uint16_t kLinkPort = Protocol::kLinkPort;
constexpr int kExitTimeoutMs = 5000;
const std::string kShowIntegrityCheck = "{\"FrameIndex\":8}\n";

using Clock = BenchPeer::Clock;

struct Settings
{
    int switches = 0;
    int warmUp = 0;
    int resendUs = 0;
    int quietMs = 0;
    int timeoutMs = 0;
};

struct Switch
{
    double ms = 0.0;
    int updatesSent = 0;
    int lateAnswers = 0;
    double lastLateMs = 0.0; // after the first answer
};

Switch switchOnce(LinkRun& run, const std::string& show, const std::string& update, const Settings& settings)
{
    BenchPeer& peer = run.link();
    Switch result;
    const Clock::time_point shown = Clock::now();
    const Clock::time_point deadline = shown + std::chrono::milliseconds(settings.timeoutMs);
    peer.write(show);
    std::optional<std::string> answer;
    while (!answer) {
        if (Clock::now() >= deadline) {
            throw BenchFailure(BenchFailure::Failed,
                               run.process().name() + " answered none of " + std::to_string(result.updatesSent) +
                                   " updates within " + std::to_string(settings.timeoutMs) + " ms of showing screen 8");
        }
        peer.write(update);
        ++result.updatesSent;
        answer = peer.nextMessage(std::min(deadline, Clock::now() + std::chrono::microseconds(settings.resendUs)));
    }
    const Clock::time_point answered = Clock::now();
    result.ms = std::chrono::duration<double, std::milli>(answered - shown).count();
    // Checked once the clock has stopped.
    run.checkAnswer(*answer, "an update after showing screen 8");

    const Clock::time_point drainLimit = answered + std::chrono::milliseconds(settings.timeoutMs);
    while (Clock::now() < drainLimit) {
        const std::optional<std::string> late =
            peer.nextMessage(std::min(drainLimit, Clock::now() + std::chrono::milliseconds(settings.quietMs)));
        if (!late) {
            return result;
        }
        run.checkAnswer(*late, "an update after showing screen 8");
        ++result.lateAnswers;
        result.lastLateMs = std::chrono::duration<double, std::milli>(Clock::now() - answered).count();
    }
    throw BenchFailure(BenchFailure::Failed, run.process().name() + " kept answering after the updates stopped");
}

void run(int argc, char** argv)
{
    const BenchOptions options(argc, argv, "Screen switches of TAVO_DSK: screen 8 shown, then its first answer.",
                               {{"--switches", "200", "switches measured"},
                                {"--warm-up", "10", "switches before measuring"},
                                {"--resend-us", "1000", "microseconds between re-sent updates"},
                                {"--quiet-ms", "60", "a switch is over when nothing came for this long"},
                                {"--client", BenchOptions::besideThisProgram("TAVO_DSK"), "the client program"},
                                {"--connect-timeout", "30000", "ms the client may take to connect"},
                                {"--timeout", "5000", "ms a switch may take"}});
    Settings settings;
    settings.switches = options.number("--switches", 1);
    settings.warmUp = options.number("--warm-up", 0);
    settings.resendUs = options.number("--resend-us", 50);
    settings.quietMs = options.number("--quiet-ms", 1);
    settings.timeoutMs = options.number("--timeout", 1);

    QTemporaryDir work;
    if (!work.isValid()) {
        throw BenchFailure(BenchFailure::Setup, "cannot make a temporary working directory");
    }
    BenchPeer peer;
    peer.listen(kLinkPort);
    std::printf("screen switch: %d switches after %d to warm up; screen 8 re-shown, update re-sent every %d us\n",
                settings.switches, settings.warmUp, settings.resendUs);
    std::fflush(stdout);

    LinkRun run(peer, work.path().toStdString());
    run.start(options.text("--client"), {}, options.number("--connect-timeout", 1));
    run.exchangeKeys(settings.timeoutMs);
    const std::string show = peer.wrap(kShowIntegrityCheck);
    const std::string update = peer.wrap(LinkRun::kUpdateText);
    std::vector<double> times;
    int updates = 0;
    int late = 0;
    double lastLate = 0.0;
    run.guarded([&] {
        peer.setNoDelay(true);
        // Screen 8 is on show from the start: a plain round trip proves the link works.
        run.roundTrip(update, settings.timeoutMs);
        for (int i = 0; i < settings.warmUp + settings.switches; ++i) {
            const Switch one = switchOnce(run, show, update, settings);
            if (i >= settings.warmUp) {
                times.push_back(one.ms);
                updates += one.updatesSent;
                late += one.lateAnswers;
                lastLate = std::max(lastLate, one.lastLateMs);
            }
        }
    });
    run.finish(kExitTimeoutMs);

    std::printf("  %-26s %10s ms (p95 %s ms, min %s ms)\n", "TAVO_DSK (offscreen)",
                Stats::fixed(Stats::median(times), 10, 2).c_str(),
                Stats::fixed(Stats::percentile(times, 95), 0, 2).c_str(),
                Stats::fixed(*std::min_element(times.begin(), times.end()), 0, 2).c_str());
    std::printf("  %-26s %10s updates sent per switch; %d answers to later updates drained, the last %.1f ms "
                "after the first answer\n",
                "", Stats::fixed(static_cast<double>(updates) / settings.switches, 10, 1).c_str(), late, lastLate);
}

} // namespace

int main(int argc, char** argv)
{
    return runBenchmark("tavo_bench_switch", [&] { run(argc, argv); });
}
