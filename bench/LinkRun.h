#pragma once

#include "BenchPeer.h"
#include "ChildProcess.h"

#include <functional>
#include <string>
#include <vector>

// One program under measurement at the bench peer: started headless in a working directory of
// the run's own, connected, keyed, and at the end let go the way a main program ends a session
// (it closes the connection and the program must exit by itself, cleanly). A failure on the way
// carries the program's last output.
class LinkRun
{
public:
    // The update the integrity-check screen answers, and its answer, as texts before wrapping.
    static const std::string kUpdateText;
    static const std::string kAnswerText;

    LinkRun(BenchPeer& peer, std::string workDir);

    // Returns the milliseconds from the start of the process to the accepted connection.
    // `environment` (NAME=value) is added to the headless platform setting and may replace it.
    double start(const std::string& program, const std::vector<std::string>& args, int connectTimeoutMs,
                 const std::vector<std::string>& environment = {});
    void exchangeKeys(int timeoutMs);
    // Throws unless the message is the wrapped answer to an update.
    void checkAnswer(const std::string& message, const std::string& what);
    // Waits for the next message and checks it is the update's answer.
    void expectAnswer(BenchPeer::Clock::time_point deadline, const std::string& what);
    // Writes the wrapped update and waits for its answer.
    void roundTrip(const std::string& wrappedUpdate, int timeoutMs);
    // Closes the connection; the program must exit with status 0 within `exitTimeoutMs`.
    void finish(int exitTimeoutMs);

    ChildProcess& process() { return child; }
    BenchPeer& link() { return peer; }

    // Runs `step`, adding the program's output to any failure it throws.
    void guarded(const std::function<void()>& step);

private:
    BenchPeer& peer;
    std::string workDir;
    ChildProcess child;
};
