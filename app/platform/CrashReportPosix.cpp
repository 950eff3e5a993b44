#include "CrashReport.h"

#include "FixedLine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtDebug>

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

using CrashReportLine::FixedLine;
using CrashReportLine::kCrashed;

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr std::size_t kSignalCount = sizeof kFatalSignals / sizeof kFatalSignals[0];
constexpr std::size_t kMaxPath = 4096;
// Room for the handler when the crash is a stack overflow.
constexpr std::size_t kAltStackSize = 64 * 1024;

// The signal handler is called with no context of its own, so what it needs lives here, written
// at start-up before the handler is installed.
struct Prepared
{
    char logPath[kMaxPath];
    long utcOffset; // seconds east of UTC at start-up: local time without the time-zone code
};
Prepared prepared;

const char* signalName(int signalNumber)
{
    switch (signalNumber) {
    case SIGSEGV:
        return "SIGSEGV";
    case SIGBUS:
        return "SIGBUS";
    case SIGFPE:
        return "SIGFPE";
    case SIGILL:
        return "SIGILL";
    case SIGABRT:
        return "SIGABRT";
    }
    return "signal";
}

// localtime_r may take a lock and read the time-zone file: the offset is taken at start-up and
// the date worked out by arithmetic (days since 1970-01-01 to the proleptic Gregorian calendar).
void appendLocalStamp(FixedLine& line)
{
    timespec now = {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const long long local = static_cast<long long>(now.tv_sec) + prepared.utcOffset;
    long long days = local / 86400;
    long long seconds = local % 86400;
    if (seconds < 0) {
        seconds += 86400;
        --days;
    }
    days += 719468; // from 0000-03-01
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long monthIndex = (5 * dayOfYear + 2) / 153; // March is 0
    const long long day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    const long long month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    const long long year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    line.appendStamp(static_cast<std::uint32_t>(year), static_cast<std::uint32_t>(month),
                     static_cast<std::uint32_t>(day), static_cast<std::uint32_t>(seconds / 3600),
                     static_cast<std::uint32_t>(seconds / 60 % 60), static_cast<std::uint32_t>(seconds % 60),
                     static_cast<std::uint32_t>(now.tv_nsec / 1000000));
}

// Async-signal-safe calls only.
extern "C" void onFatalSignal(int signalNumber)
{
    const int saved = errno;
    FixedLine line;
    appendLocalStamp(line);
    line.append(kCrashed);
    line.append(": ");
    line.append(signalName(signalNumber));
    line.append("\n");
    const int fd = ::open(prepared.logPath, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd >= 0) {
        const char* data = line.data();
        std::size_t left = line.size();
        while (left > 0) {
            const ssize_t written = ::write(fd, data, left);
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written <= 0) {
                break;
            }
            data += written;
            left -= static_cast<std::size_t>(written);
        }
        ::close(fd);
    }
    errno = saved;
    // SA_RESETHAND put the default action back on entry. Raised again, the signal ends the
    // process as it would have without us (a faulting instruction would fault again when this
    // returns, but a signal from kill or raise would not come back by itself).
    ::raise(signalNumber);
}

} // namespace


struct CrashReport::Handlers
{
    struct sigaction previous[kSignalCount] = {};
    std::unique_ptr<char[]> altStack;
    stack_t previousAltStack = {};
};

CrashReport::CrashReport(const QString& logFilePath, const QString& startTime)
{
    Q_UNUSED(startTime) // Linux writes no dump, only the line
    const QByteArray path = QFile::encodeName(QFileInfo(logFilePath).absoluteFilePath());
    if (static_cast<std::size_t>(path.size()) >= sizeof prepared.logPath) {
        qWarning().noquote() << "Crash report: the log's path is too long; a crash leaves no line:" << logFilePath;
        return;
    }
    std::memcpy(prepared.logPath, path.constData(), static_cast<std::size_t>(path.size()) + 1);
    const std::time_t now = std::time(nullptr);
    std::tm local = {};
    prepared.utcOffset = ::localtime_r(&now, &local) ? local.tm_gmtoff : 0;

    auto made = std::make_unique<Handlers>();
    // A stack of its own for the handler, on this (the GUI) thread, unless one is set already.
    stack_t current = {};
    if (::sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE)) {
        made->altStack.reset(new char[kAltStackSize]);
        stack_t own = {};
        own.ss_sp = made->altStack.get();
        own.ss_size = kAltStackSize;
        if (::sigaltstack(&own, &made->previousAltStack) != 0) {
            made->altStack.reset();
        }
    }
    struct sigaction action = {};
    action.sa_handler = onFatalSignal;
    action.sa_flags = SA_RESETHAND | SA_ONSTACK;
    // A second fault inside the handler then takes the default action at once.
    sigemptyset(&action.sa_mask);
    for (const int s : kFatalSignals) {
        sigaddset(&action.sa_mask, s);
    }
    for (std::size_t i = 0; i < kSignalCount; ++i) {
        ::sigaction(kFatalSignals[i], &action, &made->previous[i]);
    }
    handlers = std::move(made);
}

CrashReport::~CrashReport()
{
    if (!handlers) {
        return;
    }
    for (std::size_t i = 0; i < kSignalCount; ++i) {
        ::sigaction(kFatalSignals[i], &handlers->previous[i], nullptr);
    }
    if (handlers->altStack) {
        ::sigaltstack(&handlers->previousAltStack, nullptr);
    }
}

