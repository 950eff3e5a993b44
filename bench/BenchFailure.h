#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>

// A benchmark that cannot go on: the message says why, the exit code tells scripts what kind of
// failure it was. Thrown anywhere below main, caught and printed there.
class BenchFailure : public std::runtime_error
{
public:
    enum Code
    {
        Failed = 1,      // the programs under test misbehaved or a wait timed out
        Setup = 2,       // a bad command line, a missing program, a port that is taken
        NoConnection = 3 // the program under test never connected
    };

    BenchFailure(Code code, const std::string& message) : std::runtime_error(message), exitCode(code) {}

    Code code() const { return exitCode; }

private:
    Code exitCode;
};

// The whole of a benchmark program's main: runs it, and turns a failure into a line on standard
// error ("<program>: <why>", after what was already printed) and the exit status.
template <typename Run>
int runBenchmark(const char* program, Run run)
{
    try {
        run();
    } catch (const BenchFailure& failure) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s: %s\n", program, failure.what());
        return failure.code();
    }
    return 0;
}
