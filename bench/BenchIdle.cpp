// Idle cost: the processor time TAVO_DSK and the X server take while the client only shows a
// screen and waits, on a private Xvfb with the client's real X11 platform. The integrity-check
// screen (on show from the connection on, before the key exchange) animates a spinner; the
// progress screen steps its bar once a second. Both are on show for a long time in a real run,
// so what they cost every second matters more than what they cost once.
//
// Time is utime + stime of /proc/<pid>/stat (all threads), taken before and after --seconds on
// each screen, after --settle-ms in which the window is mapped and painted the first time. Its
// resolution is one clock tick (10 ms), 0.1 % of a core over 10 s.
//
// Each screen is proved to have been on show: screen 8 answers an update afterwards; screen 3,
// given an update, finishes and closes the client, which then sends its exit notice.

#include "BenchFailure.h"
#include "BenchOptions.h"
#include "BenchPeer.h"
#include "Protocol.h"
#include "ChildProcess.h"
#include "LinkRun.h"
#include "PrivateXServer.h"
#include "Stats.h"

#include <QTemporaryDir>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

namespace {

constexpr std::uint16_t kLinkPort = Protocol::kLinkPort;
constexpr int kExitTimeoutMs = 5000;
constexpr int kCheckEveryMs = 100;
const std::string kShowProgress = "{\"FrameIndex\":3}\n";
// Screen 3 takes any update as the main program's answer and finishes a second later.
const std::string kProgressUpdate = "{\"FrameIndex\":64,\"Info\":\"bench\"}\n";
const std::string kExitNotice = "{\"FrameIndex\":4496}\n";

using Clock = BenchPeer::Clock;

struct Usage
{
    double client = 0.0; // percent of one core
    double xserver = 0.0;
};

// utime + stime in clock ticks, over all threads of the process.
long long cpuTicks(ChildProcess& process)
{
    std::ifstream in("/proc/" + std::to_string(process.pid()) + "/stat");
    std::string line;
    if (!process.running() || !std::getline(in, line)) {
        throw BenchFailure(BenchFailure::Failed, process.name() + " ended while it was measured");
    }
    // The command name may hold spaces and parentheses; the fields after it do not.
    const size_t nameEnd = line.rfind(')');
    if (nameEnd == std::string::npos) {
        throw BenchFailure(BenchFailure::Failed, "unreadable /proc stat line of " + process.name() + ": " + line);
    }
    std::istringstream fields(line.substr(nameEnd + 1));
    std::string skipped;
    // Fields 3 to 13, then utime (14) and stime (15).
    for (int i = 3; i <= 13; ++i) {
        fields >> skipped;
    }
    long long user = 0;
    long long system = 0;
    if (!(fields >> user >> system)) {
        throw BenchFailure(BenchFailure::Failed, "unreadable /proc stat line of " + process.name() + ": " + line);
    }
    return user + system;
}

// Waits `ms`, failing as soon as either process ends.
void stayRunning(ChildProcess& client, ChildProcess& xserver, int ms)
{
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < until) {
        for (ChildProcess* process : {&client, &xserver}) {
            if (!process->running()) {
                throw BenchFailure(BenchFailure::Failed, process->name() + " ended while the client waited");
            }
        }
        std::this_thread::sleep_for(
            std::min<Clock::duration>(until - Clock::now(), std::chrono::milliseconds(kCheckEveryMs)));
    }
}

Usage measure(ChildProcess& client, ChildProcess& xserver, int settleMs, int seconds)
{
    stayRunning(client, xserver, settleMs);
    const Clock::time_point begun = Clock::now();
    const long long client0 = cpuTicks(client);
    const long long xserver0 = cpuTicks(xserver);
    stayRunning(client, xserver, seconds * 1000);
    const long long client1 = cpuTicks(client);
    const long long xserver1 = cpuTicks(xserver);
    const double elapsed = std::chrono::duration<double>(Clock::now() - begun).count();
    const double ticksPerSecond = static_cast<double>(sysconf(_SC_CLK_TCK));
    Usage usage;
    usage.client = 100.0 * static_cast<double>(client1 - client0) / ticksPerSecond / elapsed;
    usage.xserver = 100.0 * static_cast<double>(xserver1 - xserver0) / ticksPerSecond / elapsed;
    return usage;
}

void printRow(const char* screen, const Usage& usage)
{
    std::printf("  %-28s %8s %% %8s %% %8s %%\n", screen, Stats::fixed(usage.client, 8, 2).c_str(),
                Stats::fixed(usage.xserver, 8, 2).c_str(), Stats::fixed(usage.client + usage.xserver, 8, 2).c_str());
    std::fflush(stdout);
}

void run(int argc, char** argv)
{
    const BenchOptions options(argc, argv, "Processor time of TAVO_DSK and Xvfb while the client waits on a screen.",
                               {{"--seconds", "10", "seconds measured on each screen"},
                                {"--settle-ms", "2000", "ms a screen is on show before it is measured"},
                                {"--client", BenchOptions::besideThisProgram("TAVO_DSK"), "the client program"},
                                {"--xvfb", "/usr/bin/Xvfb", "the X server"},
                                {"--connect-timeout", "30000", "ms the client may take to connect"},
                                {"--timeout", "5000", "ms an answer may take"}});
    const int seconds = options.number("--seconds", 1);
    const int settleMs = options.number("--settle-ms", 0);
    const int timeoutMs = options.number("--timeout", 1);

    QTemporaryDir work;
    if (!work.isValid()) {
        throw BenchFailure(BenchFailure::Setup, "cannot make a temporary working directory");
    }
    BenchPeer peer;
    peer.listen(kLinkPort);
    PrivateXServer server;
    const std::string display = server.start(options.text("--xvfb"), work.path().toStdString(), timeoutMs);
    ChildProcess& xserver = server.process();
    std::printf("idle cost: %d s on each screen after %d ms to settle, on Xvfb %s; percent of one core\n", seconds,
                settleMs, display.c_str());
    std::printf("  %-28s %10s %10s %10s\n", "", "TAVO_DSK", "Xvfb", "together");
    std::fflush(stdout);

    LinkRun run(peer, work.path().toStdString());
    run.start(options.text("--client"), {}, options.number("--connect-timeout", 1),
              {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + display});
    run.guarded([&] {
        // Connected, not keyed: the integrity check is on show.
        printRow("integrity check (screen 8)", measure(run.process(), xserver, settleMs, seconds));
        peer.exchangeKeys(timeoutMs);
        run.roundTrip(peer.wrap(LinkRun::kUpdateText), timeoutMs);

        peer.write(peer.wrap(kShowProgress));
        printRow("progress (screen 3)", measure(run.process(), xserver, settleMs, seconds));
        peer.write(peer.wrap(kProgressUpdate));
        const std::optional<std::string> notice = peer.nextMessage(Clock::now() + std::chrono::milliseconds(timeoutMs));
        if (!notice || peer.unwrap(*notice) != kExitNotice) {
            throw BenchFailure(BenchFailure::Failed,
                               run.process().name() + " did not finish the progress screen: " +
                                   (notice ? *notice : "no message within " + std::to_string(timeoutMs) + " ms"));
        }
    });
    run.finish(kExitTimeoutMs);
}

} // namespace

int main(int argc, char** argv)
{
    return runBenchmark("tavo_bench_idle", [&] { run(argc, argv); });
}
