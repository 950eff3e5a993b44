#include "LogHandler.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// Fixed on the first message of the process, so one run writes one file.
const QString& fileNameText()
{
    static const QString name = QStringLiteral("/logs/TAVO GUI LOG %1.txt")
                                    .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh-mm-ss")));
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

} // namespace

namespace LogHandler {

QString currentLogFilePath()
{
    return QDir::currentPath() + fileNameText();
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
    const QString timeStamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
    const QString line = LogHandler::formatLine(type, context, message, timeStamp);
    if (line.isNull()) {
        return;
    }
    // Opened and closed for every line, so each line is on disk when the handler returns; plain
    // C streams do that with a third of the system calls QFile and QTextStream make, and every
    // message on the link is logged. Text mode writes the platform's line ends.
    const QString path = LogHandler::currentLogFilePath();
#ifdef _WIN32
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(_wfopen(reinterpret_cast<const wchar_t*>(path.utf16()), L"a"),
                                                         &std::fclose);
#else
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(QFile::encodeName(path).constData(), "a"),
                                                         &std::fclose);
#endif
    if (!file) {
        if (type == QtFatalMsg) {
            std::abort();
        }
        return;
    }
    const QByteArray bytes = line.toUtf8() + '\n';
    (void)std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), file.get());
    file.reset();
    if (type == QtFatalMsg) {
        std::abort();
    }
}
