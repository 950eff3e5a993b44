#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// What tavo_peer prints: every message both ways, one line each with the time, the direction
// and the form it travelled in, deciphered; notes about the link; failures. With a log file,
// every line goes there too.
class Transcript
{
public:
    enum class Direction
    {
        Sent,
        Received,
    };
    enum class Form
    {
        Plain,
        Wrapped,
        Raw, // bytes sent as a scenario gave them, or received bytes that are no message
    };

    bool openLog(const QString& path, QString& error);

    void message(Direction direction, Form form, const QByteArray& text);
    void note(const QString& text);
    // Also on standard error, so a failing run says why even when its output is captured.
    void failure(const QString& text);

    // Bytes as a person can read them: UTF-8 as it is; otherwise the texts read as CP949, which
    // is how the link carries Korean, marked so; control bytes and what is neither as escapes.
    static QString readable(const QByteArray& bytes);

private:
    void write(const QString& line, bool toStandardError);

    QFile log;
};
