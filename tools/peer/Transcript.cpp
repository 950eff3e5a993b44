#include "Transcript.h"

#include <QTextCodec>
#include <QTime>

#include <cstdio>

namespace {

// Nothing for bytes the codec cannot read without loss.
bool decodeWhole(const char* codecName, const QByteArray& bytes, QString& out)
{
    QTextCodec* codec = QTextCodec::codecForName(codecName);
    if (!codec) {
        return false;
    }
    QTextCodec::ConverterState state;
    out = codec->toUnicode(bytes.constData(), bytes.size(), &state);
    return state.invalidChars == 0 && state.remainingChars == 0;
}

QString escapeControls(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('\n')) {
            out += QStringLiteral("\\n");
        } else if (c == QLatin1Char('\r')) {
            out += QStringLiteral("\\r");
        } else if (c == QLatin1Char('\t')) {
            out += QStringLiteral("\\t");
        } else if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

bool Transcript::openLog(const QString& path, QString& error)
{
    log.setFileName(path);
    if (!log.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        error = QStringLiteral("cannot write the log file %1: %2").arg(path, log.errorString());
        return false;
    }
    return true;
}

void Transcript::message(Direction direction, Form form, const QByteArray& text)
{
    const QString arrow = direction == Direction::Sent ? QStringLiteral("sent") : QStringLiteral("recv");
    const QString how = form == Form::Plain     ? QStringLiteral("plain  ")
                        : form == Form::Wrapped ? QStringLiteral("wrapped")
                                                : QStringLiteral("raw    ");
    write(arrow + QLatin1Char(' ') + how + QLatin1Char(' ') + readable(text), false);
}

void Transcript::note(const QString& text)
{
    write(QStringLiteral("---- ") + text, false);
}

void Transcript::failure(const QString& text)
{
    write(QStringLiteral("FAIL ") + text, true);
}

QString Transcript::readable(const QByteArray& bytes)
{
    QString text;
    if (decodeWhole("UTF-8", bytes, text)) {
        return escapeControls(text);
    }
    if (decodeWhole("CP949", bytes, text)) {
        return escapeControls(text) + QStringLiteral("   (texts read as CP949)");
    }
    QString out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        out += byte >= 0x80 ? QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0')) : QString(QLatin1Char(c));
    }
    return escapeControls(out);
}

void Transcript::write(const QString& line, bool toStandardError)
{
    const QByteArray bytes =
        (QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz")) + QLatin1Char(' ') + line + QLatin1Char('\n'))
            .toUtf8();
    // Flushed line by line: a run watched through a pipe must show each message as it happens.
    std::FILE* stream = toStandardError ? stderr : stdout;
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
    if (log.isOpen()) {
        log.write(bytes);
        log.flush();
    }
}
