// Start-up: from the start of the process to the connection the peer accepts, and the peak
// resident memory, of TAVO_DSK beside a minimal Qt Widgets program that shows a 900 x 600 window
// and connects to the same port. Runs alternate between the two, after one unmeasured run each
// to warm the file cache. Each connected program is left alone for --settle-ms (its window shown,
// its event loop idle), then the peer closes the connection and the program must exit by itself;
// VmHWM is read from /proc/<pid>/status until just before it does.

#include "BenchFailure.h"
#include "BenchOptions.h"
#include "BenchPeer.h"
#include "LinkRun.h"
#include "Protocol.h"
#include "Stats.h"

#include <QTemporaryDir>

#include <chrono>
#include <cstdint>
#include <cstdio>
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
             bool record)
{
    LinkRun run(peer, workDir);
    const double ms = run.start(program.path, program.args, connectTimeoutMs);
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
         {"--connect-timeout", "30000", "ms a program may take to connect"}});
    const int runs = options.number("--runs", 1);
    const int settleMs = options.number("--settle-ms", 0);
    const int connectTimeoutMs = options.number("--connect-timeout", 1);

    QTemporaryDir work;
    if (!work.isValid()) {
        throw BenchFailure(BenchFailure::Setup, "cannot make a temporary working directory");
    }
    const std::string workDir = work.path().toStdString();
    BenchPeer peer;
    peer.listen(kLinkPort);
    std::printf("start-up: median of %d runs each, alternating, after one run each to warm up\n", runs);
    std::fflush(stdout);

    Program client{"TAVO_DSK (offscreen)", options.text("--client"), {}, {}, {}};
    Program minimal{
        "minimal Qt Widgets program", options.text("--minimal"), {"--port", std::to_string(kLinkPort)}, {}, {}};
    for (int i = 0; i <= runs; ++i) {
        runOnce(peer, workDir, client, connectTimeoutMs, settleMs, i > 0);
        runOnce(peer, workDir, minimal, connectTimeoutMs, settleMs, i > 0);
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
