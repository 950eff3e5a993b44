#pragma once

#include <QString>
#include <QtGlobal>

// Appends every Qt log message as one line to "logs/TAVO GUI LOG <start time>.txt" under the
// current working directory. Installed before the application object exists.
void logMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message);

namespace LogHandler {

// The path of this run's log file, fixed by the first message (empty before it).
QString currentLogFilePath();

// The start-time text in that file's name, "yyyy-MM-dd hh-mm-ss"; fixed by the first message too.
QString startTimeText();

// One formatted line for a message, without the line end.
QString formatLine(QtMsgType type, const QMessageLogContext& context, const QString& message, const QString& timeStamp);

} // namespace LogHandler
