#include "CrashReport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtDebug>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#ifdef _WIN32
// clang-format off
#include <windows.h>
#include <dbghelp.h>
// clang-format on
#else
#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// One log line in a fixed buffer: what a crash handler uses instead of strings and printf, which
// may allocate or lock. Text that does not fit is cut, never overrun.
class FixedLine
{
public:
    void append(const char* text)
    {
        while (*text && length < sizeof buffer - 1) {
            buffer[length++] = *text++;
        }
    }

    void appendDecimal(std::uint32_t value, int width)
    {
        char digits[10];
        int count = 0;
        do {
            digits[count++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0 && count < 10);
        for (int i = count; i < width; ++i) {
            append("0");
        }
        while (count > 0) {
            const char digit[2] = {digits[--count], '\0'};
            append(digit);
        }
    }

    void appendHex(std::uint32_t value)
    {
        append("0x");
        for (int shift = 28; shift >= 0; shift -= 4) {
            const char digit[2] = {"0123456789ABCDEF"[(value >> shift) & 0xF], '\0'};
            append(digit);
        }
    }

    // "yyyy-MM-dd hh:mm:ss.zzz", as the log handler stamps its lines.
    void appendStamp(std::uint32_t year, std::uint32_t month, std::uint32_t day, std::uint32_t hour,
                     std::uint32_t minute, std::uint32_t second, std::uint32_t millisecond)
    {
        appendDecimal(year, 4);
        append("-");
        appendDecimal(month, 2);
        append("-");
        appendDecimal(day, 2);
        append(" ");
        appendDecimal(hour, 2);
        append(":");
        appendDecimal(minute, 2);
        append(":");
        appendDecimal(second, 2);
        append(".");
        appendDecimal(millisecond, 3);
    }

    const char* data() const { return buffer; }
    std::size_t size() const { return length; }

private:
    char buffer[512] = {};
    std::size_t length = 0;
};

// A fatal line as the log handler writes one for a message with an empty context.
constexpr char kCrashed[] = " [FATAL] [@0] Crashed";

#ifdef _WIN32
constexpr std::size_t kMaxPath = 2048;
// How long a crashed thread waits for its report before the process ends anyway.
constexpr DWORD kReportTimeoutMs = 60000;
// Stacks and threads, small enough to mail; Wine writes what it knows of these and ignores the rest.
const MINIDUMP_TYPE kDumpType =
    static_cast<MINIDUMP_TYPE>(MiniDumpNormal | MiniDumpWithThreadInfo | MiniDumpWithUnloadedModules);

// The exception filter is called with no context of its own, so what it needs lives here, written
// at start-up before the filter is installed.
struct Prepared
{
    wchar_t logPath[kMaxPath];
    wchar_t dumpPath[kMaxPath];
    char dumpName[kMaxPath]; // as the log line names it: "logs\TAVO GUI CRASH <time>.dmp"
    HANDLE request;          // set by the filter, or by the destructor with no exception
    HANDLE writer;           // the thread that writes the report
    DWORD writerId;
    EXCEPTION_POINTERS* exception;
    DWORD threadId;
    LONG entered;
};
Prepared prepared;

struct HandleCloser
{
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

bool copyPath(const QString& path, wchar_t* out)
{
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wide characters are UTF-16 code units");
    const QString native = QDir::toNativeSeparators(path);
    if (static_cast<std::size_t>(native.size()) >= kMaxPath) {
        return false;
    }
    std::memcpy(out, native.utf16(), static_cast<std::size_t>(native.size()) * sizeof(wchar_t));
    out[native.size()] = L'\0';
    return true;
}

void appendToLog(const FixedLine& line)
{
    const HANDLE file = CreateFileW(prepared.logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

// The report is written on a thread of its own, made at start-up: the crashed thread's stack may
// be spent (a stack overflow), and a dump written by the crashed thread itself would show the
// writing on top of the crash.
DWORD WINAPI writeReport(void*)
{
    WaitForSingleObject(prepared.request, INFINITE);
    if (!prepared.exception) {
        return 0; // uninstalled
    }
    MINIDUMP_EXCEPTION_INFORMATION info = {};
    info.ThreadId = prepared.threadId;
    info.ExceptionPointers = prepared.exception;
    info.ClientPointers = FALSE;
    DWORD error = 0;
    const HANDLE file = CreateFileW(prepared.dumpPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = GetLastError();
    } else {
        if (!MiniDumpWriteDump(GetCurrentProcess(), GetCurrentProcessId(), file, kDumpType, &info, nullptr, nullptr)) {
            error = GetLastError() != 0 ? GetLastError() : static_cast<DWORD>(E_FAIL);
        }
        CloseHandle(file);
        if (error != 0) {
            DeleteFileW(prepared.dumpPath);
        }
    }

    SYSTEMTIME now = {};
    GetLocalTime(&now);
    FixedLine line;
    line.appendStamp(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    line.append(kCrashed);
    line.append(" (exception ");
    line.appendHex(static_cast<std::uint32_t>(prepared.exception->ExceptionRecord->ExceptionCode));
    if (error == 0) {
        line.append("); report written to ");
        line.append(prepared.dumpName);
    } else {
        line.append("); no report: ");
        line.append(prepared.dumpName);
        line.append(" could not be written (error ");
        line.appendHex(error);
        line.append(")");
    }
    // The log is a text-mode file: Windows line ends.
    line.append("\r\n");
    appendToLog(line);
    return 0;
}

LONG WINAPI onUnhandledException(EXCEPTION_POINTERS* exception)
{
    if (InterlockedExchange(&prepared.entered, 1) != 0) {
        if (GetCurrentThreadId() == prepared.writerId) {
            return EXCEPTION_EXECUTE_HANDLER; // the report itself failed: end now
        }
        // Another thread crashed first; the process ends with its report.
        Sleep(INFINITE);
    }
    prepared.exception = exception;
    prepared.threadId = GetCurrentThreadId();
    SetEvent(prepared.request);
    WaitForSingleObject(prepared.writer, kReportTimeoutMs);
    // Ends the process with the exception's code, without the system's dialog or debugger.
    return EXCEPTION_EXECUTE_HANDLER;
}

#else
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
#endif

} // namespace

#ifdef _WIN32

struct CrashReport::Handlers
{
    UniqueHandle request;
    UniqueHandle writer;
    LPTOP_LEVEL_EXCEPTION_FILTER previous = nullptr;
};

CrashReport::CrashReport(const QString& logFilePath, const QString& startTime)
{
    if (prepared.request) {
        qWarning("Crash report: one is installed already");
        return;
    }
    const QFileInfo log(logFilePath);
    const QString dumpFile = QStringLiteral("TAVO GUI CRASH %1.dmp").arg(startTime);
    const QByteArray dumpName = QDir::toNativeSeparators(log.dir().dirName() + QLatin1Char('/') + dumpFile).toUtf8();
    if (!copyPath(log.absoluteFilePath(), prepared.logPath) ||
        !copyPath(log.absolutePath() + QLatin1Char('/') + dumpFile, prepared.dumpPath) ||
        static_cast<std::size_t>(dumpName.size()) >= sizeof prepared.dumpName) {
        qWarning().noquote() << "Crash report: the log's path is too long; a crash leaves no report:" << logFilePath;
        return;
    }
    std::memcpy(prepared.dumpName, dumpName.constData(), static_cast<std::size_t>(dumpName.size()) + 1);

    auto made = std::make_unique<Handlers>();
    made->request.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!made->request) {
        qWarning("Crash report: no event (error %lu); a crash leaves no report", GetLastError());
        return;
    }
    prepared.request = made->request.get();
    prepared.exception = nullptr;
    prepared.entered = 0;
    made->writer.reset(CreateThread(nullptr, 0, writeReport, nullptr, 0, &prepared.writerId));
    if (!made->writer) {
        qWarning("Crash report: no thread (error %lu); a crash leaves no report", GetLastError());
        prepared.request = nullptr;
        return;
    }
    prepared.writer = made->writer.get();
    made->previous = SetUnhandledExceptionFilter(onUnhandledException);
    handlers = std::move(made);
}

CrashReport::~CrashReport()
{
    if (!handlers) {
        return;
    }
    SetUnhandledExceptionFilter(handlers->previous);
    prepared.exception = nullptr;
    SetEvent(prepared.request);
    WaitForSingleObject(prepared.writer, INFINITE);
    prepared.writer = nullptr;
    prepared.request = nullptr;
}

#else

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

#endif
