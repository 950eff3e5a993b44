#include "LogHandler.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTextStream>

#include <cstdlib>

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
    QFile file(LogHandler::currentLogFilePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        if (type == QtFatalMsg) {
            std::abort();
        }
        return;
    }
    {
        QTextStream stream(&file);
        stream.setCodec("UTF-8");
        stream << line << '\n';
        stream.flush();
    }
    file.close();
    if (type == QtFatalMsg) {
        std::abort();
    }
}
