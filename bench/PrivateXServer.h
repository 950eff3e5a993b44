#pragma once

#include "ChildProcess.h"

#include <string>

// A private Xvfb for the benchmarks that measure the client on its real X11 platform. It takes a
// free display itself (-displayfd) and is asked to end, not killed, on every way out: killed
// outright, it would leave its lock file and socket behind in /tmp.
class PrivateXServer
{
public:
    PrivateXServer() = default;
    ~PrivateXServer();
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    // `screen` as Xvfb takes it ("1920x1080x24"); `dpi` 0 keeps Xvfb's own default. Returns the
    // display (":N"); throws BenchFailure when the server does not come up within `timeoutMs`.
    std::string start(const std::string& program, const std::string& workDir, int timeoutMs,
                      const std::string& screen = "1920x1080x24", int dpi = 0);

    ChildProcess& process() { return server; }

private:
    ChildProcess server;
};
