#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

// A program under measurement, started with posix_spawn so that the start time is taken as close
// to the exec as possible. Its standard output and error go to a file, shown when something fails.
// A process still running when this object goes away is killed and reaped, so no run leaves one behind.
class ChildProcess
{
public:
    struct Exit
    {
        bool exited = false; // false: killed by a signal
        int status = 0;      // exit code or signal number
    };

    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Throws BenchFailure when the program is missing or cannot be started. `environment` entries
    // are NAME=value and override the inherited ones; `workDir` becomes its working directory.
    void start(const std::string& program, const std::vector<std::string>& args,
               const std::vector<std::string>& environment, const std::string& workDir, const std::string& outputFile);

    pid_t pid() const { return childPid; }
    // Taken just before the process is created.
    std::chrono::steady_clock::time_point startTime() const { return started; }
    const std::string& name() const { return programName; }
    bool running();
    // The exit, once it has been reaped.
    const std::optional<Exit>& exitState() const { return finished; }

    // Waits at most `ms` for the process to end. While it runs, its peak resident memory is
    // sampled, so the last reading is taken just before it exits.
    bool waitForExit(int ms);
    // Highest VmHWM (kB) read from /proc/<pid>/status so far; 0 before the first reading.
    long peakResidentKb() const { return peakKb; }
    void samplePeakResident();

    void kill();
    // Asks the process to end (SIGTERM), so that it can clean up after itself; kills it when it
    // has not ended within `graceMs`.
    void stop(int graceMs);
    // "exit code 0", "killed by signal 9", "still running".
    std::string exitText() const;
    // The last lines the program wrote, for an error message.
    std::string outputTail() const;

private:
    void reap(int status);
    // "VmHWM" in kB; nothing once the process has exited (a zombie has no memory map).
    static std::optional<long> vmHwmKb(pid_t pid);

    pid_t childPid = -1;
    std::string programName;
    std::string outputPath;
    std::optional<Exit> finished;
    long peakKb = 0;
    std::chrono::steady_clock::time_point started;
};
