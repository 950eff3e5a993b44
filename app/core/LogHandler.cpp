#include "LogHandler.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// Fixed on the first message of the process, so one run writes one file.
const QString& startTime()
{
    static const QString text = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh-mm-ss"));
    return text;
}

const QString& fileNameText()
{
    static const QString name = QStringLiteral("/logs/TAVO GUI LOG %1.txt").arg(startTime());
    return name;
}

const char* levelTag(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return " [DEBUG]";
    case QtInfoMsg:
        return " [INFO]";
    case QtWarningMsg:
        return " [WARNING]";
    case QtCriticalMsg:
        return " [Critical]";
    case QtFatalMsg:
        return " [FATAL]";
    }
    return nullptr;
}

// "yyyy-MM-dd hh:mm:ss.zzz" in local time. Every message on the link is logged, and
// QDateTime consults the time-zone file three times for each stamp; this does it once at most.
QString timeStampNow()
{
    char text[96]; // room for any int the compiler can imagine
#ifdef _WIN32
    // The system's own zone, the one the file's name and the crash report take: the C runtime's
    // localtime follows a TZ variable instead where one is set, and the lines would disagree
    // with the name by the whole offset.
    SYSTEMTIME local{};
    GetLocalTime(&local);
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", local.wYear, local.wMonth, local.wDay,
                  local.wHour, local.wMinute, local.wSecond, local.wMilliseconds);
#else
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    if (!localtime_r(&seconds, &local)) {
        return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
    }
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(ms));
#endif
    return QString::fromLatin1(text);
}

// Opens the file for appending, writes the line and closes it again, so each line is on disk
// when the handler returns and no handle is held between messages. A line that cannot be
// written is dropped; the next message tries again. Text mode: the platform's line ends.
void appendLine(const QString& path, const QByteArray& line)
{
#ifdef _WIN32
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(_wfopen(reinterpret_cast<const wchar_t*>(path.utf16()), L"a"),
                                                         &std::fclose);
    if (!file) {
        return;
    }
    (void)std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), file.get());
    (void)std::fputc('\n', file.get());
#else
    // The bare system calls: C streams would add a seek and a stat to every line.
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) {
        return;
    }
    const QByteArray bytes = line + '\n';
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            break;
        }
        data += written;
        left -= written;
    }
    ::close(fd);
#endif
}

} // namespace

namespace LogHandler {

QString currentLogFilePath()
{
    return QDir::currentPath() + fileNameText();
}

QString startTimeText()
{
    return startTime();
}

QString formatLine(QtMsgType type, const QMessageLogContext& context, const QString& message, const QString& timeStamp)
{
    const char* tag = levelTag(type);
    if (!tag) {
        return QString();
    }
    return timeStamp + QLatin1String(tag) + QStringLiteral(" [") +
           (context.function ? QString::fromUtf8(context.function) : QString()) + QLatin1Char('@') +
           QString::number(context.line) + QStringLiteral("] ") + message;
}

} // namespace LogHandler

void logMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    (void)fileNameText();
    const QString line = LogHandler::formatLine(type, context, message, timeStampNow());
    if (line.isNull()) {
        return;
    }
    appendLine(LogHandler::currentLogFilePath(), line.toUtf8());
    if (type == QtFatalMsg) {
        std::abort();
    }
}
