#include "LinkRun.h"

#include "BenchFailure.h"

const std::string LinkRun::kUpdateText = "{\"FrameIndex\":64,\"Info\":{\"Update\":true}}\n";
const std::string LinkRun::kAnswerText = "{\"FrameIndex\":8}\n";

LinkRun::LinkRun(BenchPeer& peer, std::string workDir) : peer(peer), workDir(std::move(workDir)) {}

double LinkRun::start(const std::string& program, const std::vector<std::string>& args, int connectTimeoutMs,
                      const std::vector<std::string>& environment)
{
    const std::string name = program.substr(program.rfind('/') + 1);
    // Every program measured runs on the same headless platform, so none pays for a display,
    // unless the benchmark measures what the display costs.
    std::vector<std::string> settings{"QT_QPA_PLATFORM=offscreen"};
    settings.insert(settings.end(), environment.begin(), environment.end());
    child.start(program, args, settings, workDir, workDir + "/" + name + ".out");
    const BenchPeer::Clock::time_point started = child.startTime();
    const BenchPeer::Clock::time_point accepted = peer.accept(connectTimeoutMs, child);
    return std::chrono::duration<double, std::milli>(accepted - started).count();
}

void LinkRun::guarded(const std::function<void()>& step)
{
    try {
        step();
    } catch (const BenchFailure& failure) {
        child.samplePeakResident();
        if (child.running()) {
            throw BenchFailure(failure.code(), std::string(failure.what()) + "\n" + child.outputTail());
        }
        throw BenchFailure(failure.code(), std::string(failure.what()) + " (" + child.name() + ": " + child.exitText() +
                                               ")\n" + child.outputTail());
    }
}

void LinkRun::exchangeKeys(int timeoutMs)
{
    guarded([&] { peer.exchangeKeys(timeoutMs); });
}

void LinkRun::expectAnswer(BenchPeer::Clock::time_point deadline, const std::string& what)
{
    const std::optional<std::string> message = peer.nextMessage(deadline);
    if (!message) {
        throw BenchFailure(BenchFailure::Failed, child.name() + " did not answer " + what + " in time");
    }
    checkAnswer(*message, what);
}

void LinkRun::checkAnswer(const std::string& message, const std::string& what)
{
    const std::string text = peer.unwrap(message);
    if (text != kAnswerText) {
        throw BenchFailure(BenchFailure::Failed,
                           child.name() + " answered " + what + " with " + (text.empty() ? message : text));
    }
}

void LinkRun::roundTrip(const std::string& wrappedUpdate, int timeoutMs)
{
    peer.write(wrappedUpdate);
    expectAnswer(BenchPeer::Clock::now() + std::chrono::milliseconds(timeoutMs), "an update");
}

void LinkRun::finish(int exitTimeoutMs)
{
    child.samplePeakResident();
    peer.closeConnection();
    if (!child.waitForExit(exitTimeoutMs)) {
        throw BenchFailure(BenchFailure::Failed, child.name() + " did not exit within " +
                                                     std::to_string(exitTimeoutMs) +
                                                     " ms after the peer closed the connection\n" + child.outputTail());
    }
    if (!child.exitState()->exited || child.exitState()->status != 0) {
        throw BenchFailure(BenchFailure::Failed, child.name() + " ended with " + child.exitText() +
                                                     " after the peer closed the connection\n" + child.outputTail());
    }
}
