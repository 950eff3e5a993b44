// Start-up: from the start of the process to the connection the peer accepts, and the peak
// resident memory, of TAVO_DSK beside a minimal Qt Widgets program that shows a 900 x 600 window
// and connects to the same port. Runs alternate between the two, after one unmeasured run each
// to warm the file cache. Each connected program is left alone for --settle-ms (its window shown,
// its event loop idle), then the peer closes the connection and the program must exit by itself;
// VmHWM is read from /proc/<pid>/status until just before it does.
//
// Both run headless (offscreen) by default. With --platform xcb they run on their X11 platform
// instead, on a private Xvfb started here for the whole run, so that what the client does before
// its application object exists (the X11 scale probe) and the X connection are measured too.
// With --platform wine the Windows build's TAVO_DSK.exe and the same minimal program, cross-built
// the same way, run under Wine on such an Xvfb, in a prefix whose server is started first and
// kept for the whole run, so that neither pays for starting Wine's server. A Wine program is the
// process Wine was started as, so its VmHWM is the Windows program's peak working set.

#include "BenchFailure.h"
#include "BenchOptions.h"
#include "BenchPeer.h"
#include "LinkRun.h"
#include "PrivateXServer.h"
#include "Protocol.h"
#include "Stats.h"

#include <QTemporaryDir>

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr std::uint16_t kLinkPort = Protocol::kLinkPort;
constexpr int kExitTimeoutMs = 5000;
constexpr int kSampleEveryMs = 5;

struct Program
{
    std::string label;
    std::string path;
    std::vector<std::string> args;
    std::vector<double> connectMs;
    std::vector<double> peakMiB;
};

void runOnce(BenchPeer& peer, const std::string& workDir, Program& program, int connectTimeoutMs, int settleMs,
             const std::vector<std::string>& environment, bool record)
{
    LinkRun run(peer, workDir);
    const double ms = run.start(program.path, program.args, connectTimeoutMs, environment);
    run.guarded([&] {
        const auto until = BenchPeer::Clock::now() + std::chrono::milliseconds(settleMs);
        while (BenchPeer::Clock::now() < until) {
            run.process().samplePeakResident();
            if (!run.process().running()) {
                throw BenchFailure(BenchFailure::Failed, run.process().name() + " ended while connected");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(kSampleEveryMs));
        }
    });
    run.finish(kExitTimeoutMs);
    if (record) {
        program.connectMs.push_back(ms);
        program.peakMiB.push_back(static_cast<double>(run.process().peakResidentKb()) / 1024.0);
    }
}

// At the end Wine's server is told to end every process of the prefix and then itself
// (wineserver -k): a server merely signalled would leave the prefix's services running, and with
// them whatever they inherited (a lock held by whoever started the benchmark).
struct WineServerStop
{
    ChildProcess& server;
    std::string program;
    std::vector<std::string> environment;
    std::string workDir;
    WineServerStop(const WineServerStop&) = delete;
    WineServerStop& operator=(const WineServerStop&) = delete;
    ~WineServerStop()
    {
        if (server.pid() <= 0) {
            return;
        }
        try {
            ChildProcess kill;
            kill.start(program, {"-k"}, environment, workDir, workDir + "/wineserver-k.out");
            kill.waitForExit(kExitTimeoutMs);
        } catch (const BenchFailure&) {
            // The server is still signalled below.
        }
        if (!server.waitForExit(kExitTimeoutMs)) {
            server.stop(kExitTimeoutMs);
        }
    }
};

void printRow(const Program& program)
{
    std::printf("  %-30s %10s ms %10s MiB\n", program.label.c_str(),
                Stats::fixed(Stats::median(program.connectMs), 10).c_str(),
                Stats::fixed(Stats::median(program.peakMiB), 10).c_str());
}

void run(int argc, char** argv)
{
    const BenchOptions options(
        argc, argv, "Start-up time and peak memory of TAVO_DSK beside a minimal Qt Widgets program.",
        {{"--runs", "7", "measured runs of each program"},
         {"--settle-ms", "500", "ms each program stays connected before the peer closes"},
         {"--client", BenchOptions::besideThisProgram("TAVO_DSK"), "the client program"},
         {"--minimal", BenchOptions::besideThisProgram("tavo_bench_minimal_gui"), "the minimal Qt program"},
         {"--connect-timeout", "30000", "ms a program may take to connect"},
         {"--platform", "offscreen", "offscreen, or xcb on a private Xvfb"},
         {"--xvfb", "/usr/bin/Xvfb", "the X server, with --platform xcb"},
         {"--screen", "1920x1080x24", "Xvfb's screen, with --platform xcb"},
         {"--dpi", "96", "Xvfb's dots per inch, with --platform xcb (0: its own default)"},
         {"--windows-build", "", "with --platform wine: the Windows build (./tavo win) whose bin/ holds both programs"},
         {"--wine-prefix", "", "with --platform wine: a ready Wine prefix, which the run may change"},
         {"--wine", "/usr/lib/wine/wine64", "with --platform wine: Wine's 64-bit loader"}});
    const int runs = options.number("--runs", 1);
    const int settleMs = options.number("--settle-ms", 0);
    const int connectTimeoutMs = options.number("--connect-timeout", 1);

    QTemporaryDir work;
    if (!work.isValid()) {
        throw BenchFailure(BenchFailure::Setup, "cannot make a temporary working directory");
    }
    const std::string workDir = work.path().toStdString();
    const std::string platform = options.text("--platform");
    if (platform != "offscreen" && platform != "xcb" && platform != "wine") {
        throw BenchFailure(BenchFailure::Setup, "--platform takes offscreen, xcb or wine, not '" + platform + "'");
    }
    BenchPeer peer;
    peer.listen(kLinkPort);
    PrivateXServer server;
    ChildProcess wineServer;
    WineServerStop stopWineServer{wineServer, {}, {}, workDir};
    std::vector<std::string> environment;
    std::string where = "offscreen";
    Program client{"TAVO_DSK (" + platform + ")", options.text("--client"), {}, {}, {}};
    Program minimal{
        "minimal Qt Widgets program", options.text("--minimal"), {"--port", std::to_string(kLinkPort)}, {}, {}};
    if (platform != "offscreen") {
        const std::string display = server.start(options.text("--xvfb"), workDir, connectTimeoutMs,
                                                 options.text("--screen"), options.number("--dpi", 0));
        environment = {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + display};
        where = platform + " on Xvfb " + display + ", " + options.text("--screen") + ", " + options.text("--dpi") +
                " dpi";
    }
    if (platform == "wine") {
        const std::string bin = options.text("--windows-build") + "/bin/";
        const std::string prefix = options.text("--wine-prefix");
        if (options.text("--windows-build").empty() || prefix.empty() ||
            access((prefix + "/system.reg").c_str(), R_OK) != 0) {
            throw BenchFailure(BenchFailure::Setup, "--platform wine needs --windows-build and a ready --wine-prefix");
        }
        const std::string wine = options.text("--wine");
        std::error_code error;
        const std::filesystem::path loader = std::filesystem::canonical(wine, error);
        if (error) {
            throw BenchFailure(BenchFailure::Setup, "no Wine loader at " + wine + ": run ./tavo deps");
        }
        // Qt picks its Windows platform there; the code page is our users' (949).
        environment = {environment[1],        "QT_QPA_PLATFORM=windows",
                       "WINEPREFIX=" + prefix, "WINEARCH=win64",
                       "WINEDEBUG=-all",       "WINEDLLOVERRIDES=mscoree,mshtml=;winemenubuilder.exe=d",
                       "LANG=ko_KR.UTF-8",     "LC_ALL=ko_KR.UTF-8"};
        stopWineServer.program = (loader.parent_path() / "wineserver").string();
        stopWineServer.environment = environment;
        wineServer.start(stopWineServer.program, {"-f", "-p"}, environment, workDir, workDir + "/wineserver.out");
        client.path = minimal.path = loader.string();
        client.args = {bin + "TAVO_DSK.exe"};
        minimal.args.insert(minimal.args.begin(), bin + "tavo_bench_minimal_gui.exe");
        minimal.label = "minimal Qt program (wine)";
    }
    std::printf("start-up: median of %d runs each, alternating, after one run each to warm up (%s)\n", runs,
                where.c_str());
    std::fflush(stdout);
    for (int i = 0; i <= runs; ++i) {
        runOnce(peer, workDir, client, connectTimeoutMs, settleMs, environment, i > 0);
        runOnce(peer, workDir, minimal, connectTimeoutMs, settleMs, environment, i > 0);
    }

    std::printf("  %-30s %13s %14s\n", "", "to connect", "peak memory");
    printRow(client);
    printRow(minimal);
    std::printf("  %-30s %13s %14s   (aims: within 1.20x and 1.30x)\n", "ratio TAVO_DSK/minimal",
                Stats::ratio(Stats::median(client.connectMs), Stats::median(minimal.connectMs)).c_str(),
                Stats::ratio(Stats::median(client.peakMiB), Stats::median(minimal.peakMiB)).c_str());
}

} // namespace

int main(int argc, char** argv)
{
    return runBenchmark("tavo_bench_startup", [&] { run(argc, argv); });
}
