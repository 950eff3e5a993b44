#include "ChildProcess.h"

#include "BenchFailure.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

constexpr int kReapPollUs = 500;
constexpr size_t kTailBytes = 2000;

// The inherited environment with `overrides` (NAME=value) put in place of same-named entries.
std::vector<std::string> mergedEnvironment(const std::vector<std::string>& overrides)
{
    std::map<std::string, std::string> byName;
    for (char** e = environ; e && *e; ++e) {
        const std::string entry(*e);
        byName[entry.substr(0, entry.find('='))] = entry;
    }
    for (const std::string& entry : overrides) {
        byName[entry.substr(0, entry.find('='))] = entry;
    }
    std::vector<std::string> out;
    out.reserve(byName.size());
    for (const auto& [name, entry] : byName) {
        out.push_back(entry);
    }
    return out;
}

std::vector<char*> pointers(std::vector<std::string>& texts)
{
    std::vector<char*> out;
    out.reserve(texts.size() + 1);
    for (std::string& text : texts) {
        out.push_back(text.data());
    }
    out.push_back(nullptr);
    return out;
}

// posix_spawn's file actions, always destroyed.
struct FileActions
{
    FileActions() { ok = posix_spawn_file_actions_init(&actions) == 0; }
    ~FileActions()
    {
        if (ok) {
            posix_spawn_file_actions_destroy(&actions);
        }
    }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
    posix_spawn_file_actions_t actions{};
    bool ok = false;
};

} // namespace

ChildProcess::~ChildProcess()
{
    kill();
}

void ChildProcess::start(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& environment, const std::string& workDir,
                         const std::string& outputFile)
{
    if (access(program.c_str(), X_OK) != 0) {
        throw BenchFailure(BenchFailure::Setup,
                           program + " is missing or not executable (" + std::strerror(errno) + "); build it first");
    }
    programName = program.substr(program.rfind('/') + 1);
    outputPath = outputFile;

    FileActions files;
    if (!files.ok ||
        posix_spawn_file_actions_addopen(&files.actions, STDOUT_FILENO, outputFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644) != 0 ||
        posix_spawn_file_actions_adddup2(&files.actions, STDOUT_FILENO, STDERR_FILENO) != 0 ||
        posix_spawn_file_actions_addchdir_np(&files.actions, workDir.c_str()) != 0) {
        throw BenchFailure(BenchFailure::Setup, "cannot prepare the start of " + program);
    }
    std::vector<std::string> argTexts{program};
    argTexts.insert(argTexts.end(), args.begin(), args.end());
    std::vector<std::string> envTexts = mergedEnvironment(environment);
    std::vector<char*> argv = pointers(argTexts);
    std::vector<char*> envp = pointers(envTexts);

    finished.reset();
    peakKb = 0;
    started = std::chrono::steady_clock::now();
    const int error = posix_spawn(&childPid, program.c_str(), &files.actions, nullptr, argv.data(), envp.data());
    if (error != 0) {
        childPid = -1;
        throw BenchFailure(BenchFailure::Setup, "cannot start " + program + ": " + std::strerror(error));
    }
}

bool ChildProcess::running()
{
    if (childPid < 0 || finished) {
        return false;
    }
    int status = 0;
    const pid_t done = waitpid(childPid, &status, WNOHANG);
    if (done == childPid) {
        reap(status);
        return false;
    }
    return done == 0;
}

void ChildProcess::reap(int status)
{
    Exit exitInfo;
    exitInfo.exited = WIFEXITED(status);
    exitInfo.status = exitInfo.exited ? WEXITSTATUS(status) : WTERMSIG(status);
    finished = exitInfo;
}

void ChildProcess::samplePeakResident()
{
    if (childPid < 0 || finished) {
        return;
    }
    if (const std::optional<long> kb = vmHwmKb(childPid); kb && *kb > peakKb) {
        peakKb = *kb;
    }
}

bool ChildProcess::waitForExit(int ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (true) {
        samplePeakResident();
        if (!running()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(kReapPollUs));
    }
}

void ChildProcess::kill()
{
    if (running()) {
        ::kill(childPid, SIGKILL);
        int status = 0;
        if (waitpid(childPid, &status, 0) == childPid) {
            reap(status);
        }
    }
}

void ChildProcess::stop(int graceMs)
{
    if (running()) {
        ::kill(childPid, SIGTERM);
        if (!waitForExit(graceMs)) {
            kill();
        }
    }
}

std::string ChildProcess::exitText() const
{
    if (!finished) {
        return "still running";
    }
    return finished->exited ? "exit code " + std::to_string(finished->status)
                            : "killed by signal " + std::to_string(finished->status);
}

std::string ChildProcess::outputTail() const
{
    std::ifstream in(outputPath, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    std::string all = text.str();
    if (all.size() > kTailBytes) {
        all = "..." + all.substr(all.size() - kTailBytes);
    }
    return all.empty() ? "(" + programName + " wrote nothing)" : programName + " wrote:\n" + all;
}

std::optional<long> ChildProcess::vmHwmKb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            char* end = nullptr;
            const long kb = std::strtol(line.c_str() + 6, &end, 10);
            return end == line.c_str() + 6 ? std::nullopt : std::optional<long>(kb);
        }
    }
    return std::nullopt;
}
