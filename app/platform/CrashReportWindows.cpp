#include "CrashReport.h"

#include "FixedLine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtDebug>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

// clang-format off
#include <windows.h>
#include <dbghelp.h>
// clang-format on

namespace {

using CrashReportLine::FixedLine;
using CrashReportLine::kCrashed;

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

} // namespace


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

