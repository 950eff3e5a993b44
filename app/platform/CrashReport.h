#pragma once

#include <QString>

#include <memory>

// What a crash leaves behind, beside the run's log, for support to read:
//  - Windows: an unhandled exception writes a minidump "TAVO GUI CRASH <start time>.dmp" into the
//    log's folder (the start-time text of the log's own name) and appends a fatal line naming it;
//    the process then ends with the exception's code, without the system's crash dialog.
//  - Linux: SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT append a fatal line with the signal's name;
//    the process then dies of that signal as it would have (exit status, core file).
// A crashed process may hold the heap's or Qt's locks, so everything the handler needs is made
// here, at start-up, and the handler writes with bare system calls. Made right after the log's
// first line; uninstalled when destroyed. One at a time per process.
class CrashReport
{
public:
    // logFilePath: this run's log file; startTime: the start-time text of its name.
    CrashReport(const QString& logFilePath, const QString& startTime);
    ~CrashReport();
    CrashReport(const CrashReport&) = delete;
    CrashReport& operator=(const CrashReport&) = delete;

    // False when the handler could not be put in place (logged as a warning).
    bool isInstalled() const { return handlers != nullptr; }

private:
    struct Handlers;
    std::unique_ptr<Handlers> handlers;
};
