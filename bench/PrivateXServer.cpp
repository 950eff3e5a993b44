#include "PrivateXServer.h"

#include "BenchFailure.h"

#include <chrono>
#include <fstream>
#include <optional>
#include <thread>
#include <vector>

namespace {

constexpr int kStopMs = 3000;
constexpr int kPollMs = 20;

// Xvfb writes the display it took to standard output, alone on a line, beside whatever it says
// on standard error.
std::optional<std::string> displayNumber(const std::string& outputFile)
{
    std::ifstream in(outputFile);
    std::string line;
    while (std::getline(in, line) && !in.eof()) {
        if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos) {
            return line;
        }
    }
    return std::nullopt;
}

} // namespace

PrivateXServer::~PrivateXServer()
{
    server.stop(kStopMs);
}

std::string PrivateXServer::start(const std::string& program, const std::string& workDir, int timeoutMs,
                                  const std::string& screen, int dpi)
{
    const std::string output = workDir + "/Xvfb.out";
    // A bare X server starts over whenever its last client leaves, and a program that connects
    // just then waits for it; on a desktop some client always stays. -noreset keeps it so, or a
    // program that connects twice in a row (a short-lived probe, then Qt) would pay for a reset.
    std::vector<std::string> args{"-displayfd", "1", "-screen", "0", screen, "-nolisten", "tcp", "-noreset"};
    if (dpi > 0) {
        args.insert(args.end(), {"-dpi", std::to_string(dpi)});
    }
    server.start(program, args, {}, workDir, output);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        if (const std::optional<std::string> number = displayNumber(output)) {
            return ":" + *number;
        }
        if (!server.running()) {
            throw BenchFailure(BenchFailure::Setup, server.name() + " ended (" + server.exitText() +
                                                        ") before it took a display\n" + server.outputTail());
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            throw BenchFailure(BenchFailure::Setup, server.name() + " took no display within " +
                                                        std::to_string(timeoutMs) + " ms\n" + server.outputTail());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
}
