// Link round trip: the real client answers an update to its integrity-check screen, beside a bare
// echo that does the same deciphering, parsing and enciphering with no window, event loop or log.
// Both sides of both runs leave Nagle's algorithm on, as the client does; in a strict exchange of
// one message each way it never holds a write back, since each answer acknowledges what it answers.

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
#include <vector>

namespace {

constexpr std::uint16_t kLinkPort = Protocol::kLinkPort;
constexpr int kExitTimeoutMs = 5000;

struct Settings
{
    int roundTrips = 0;
    int warmUp = 0;
    int connectTimeoutMs = 0;
    int timeoutMs = 0;
};

// Microseconds of each measured round trip: the wrapped update written, the answer read and deciphered.
std::vector<double> measure(BenchPeer& peer, const std::string& workDir, const std::string& program,
                            const std::vector<std::string>& args, const Settings& settings)
{
    LinkRun run(peer, workDir);
    run.start(program, args, settings.connectTimeoutMs);
    run.exchangeKeys(settings.timeoutMs);
    const std::string update = peer.wrap(LinkRun::kUpdateText);
    std::vector<double> samples;
    samples.reserve(static_cast<size_t>(settings.roundTrips));
    run.guarded([&] {
        for (int i = 0; i < settings.warmUp; ++i) {
            run.roundTrip(update, settings.timeoutMs);
        }
        for (int i = 0; i < settings.roundTrips; ++i) {
            const auto before = BenchPeer::Clock::now();
            run.roundTrip(update, settings.timeoutMs);
            samples.push_back(std::chrono::duration<double, std::micro>(BenchPeer::Clock::now() - before).count());
        }
    });
    run.finish(kExitTimeoutMs);
    return samples;
}

void printRow(const std::string& label, double median, double p95)
{
    std::printf("  %-26s %10s us %10s us\n", label.c_str(), Stats::fixed(median, 10).c_str(),
                Stats::fixed(p95, 10).c_str());
}

void run(int argc, char** argv)
{
    const BenchOptions options(argc, argv, "Round trips of an update through TAVO_DSK beside a bare loopback echo.",
                               {{"--round-trips", "1000", "round trips measured on each side"},
                                {"--warm-up", "200", "round trips before measuring"},
                                {"--client", BenchOptions::besideThisProgram("TAVO_DSK"), "the client program"},
                                {"--echo", BenchOptions::besideThisProgram("tavo_bench_echo"), "the bare echo program"},
                                {"--connect-timeout", "30000", "ms a program may take to connect"},
                                {"--timeout", "5000", "ms an answer may take"}});
    Settings settings;
    settings.roundTrips = options.number("--round-trips", 1);
    settings.warmUp = options.number("--warm-up", 0);
    settings.connectTimeoutMs = options.number("--connect-timeout", 1);
    settings.timeoutMs = options.number("--timeout", 1);

    QTemporaryDir work;
    if (!work.isValid()) {
        throw BenchFailure(BenchFailure::Setup, "cannot make a temporary working directory");
    }
    const std::string workDir = work.path().toStdString();
    BenchPeer peer;
    peer.listen(kLinkPort);

    std::printf("link round trip: %d round trips after %d to warm up; update %s", settings.roundTrips, settings.warmUp,
                LinkRun::kUpdateText.c_str());
    std::fflush(stdout);
    const std::vector<double> client = measure(peer, workDir, options.text("--client"), {}, settings);
    const std::vector<double> bare =
        measure(peer, workDir, options.text("--echo"), {"--port", std::to_string(kLinkPort)}, settings);

    const double clientMedian = Stats::median(client);
    const double clientP95 = Stats::percentile(client, 95);
    const double bareMedian = Stats::median(bare);
    const double bareP95 = Stats::percentile(bare, 95);
    std::printf("  %-26s %13s %13s\n", "", "median", "p95");
    printRow("TAVO_DSK (offscreen)", clientMedian, clientP95);
    printRow("bare echo", bareMedian, bareP95);
    std::printf("  %-26s %13s %13s   (aim: under 1.50x)\n", "ratio client/bare",
                Stats::ratio(clientMedian, bareMedian).c_str(), Stats::ratio(clientP95, bareP95).c_str());
}

} // namespace

int main(int argc, char** argv)
{
    return runBenchmark("tavo_bench_link", [&] { run(argc, argv); });
}
