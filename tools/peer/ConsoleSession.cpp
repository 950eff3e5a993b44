#include "ConsoleSession.h"

#include "MainSide.h"
#include "PeerExit.h"
#include "PeerLink.h"
#include "Scenario.h"
#include "ScenarioRunner.h"
#include "Transcript.h"

#include <iostream>
#include <string>
#include <thread>

namespace {

// Standard input blocks, and no Qt class reads it on every platform, so a thread of its own
// does. The reader is never deleted: the thread may still sit in a read when the program ends.
// One per process: a second thread would share the same input.
class InputReader : public QObject
{
    Q_OBJECT

public:
    void start()
    {
        std::thread([this] {
            std::string line;
            while (std::getline(std::cin, line)) {
                emit lineRead(QByteArray::fromStdString(line));
            }
            emit inputEnded();
        }).detach();
    }

signals:
    void lineRead(const QByteArray& line);
    void inputEnded();
};

} // namespace

ConsoleSession::ConsoleSession(PeerLink& link, Transcript& transcript, Options options, QObject* parent)
    : PeerSession(link, transcript, options, parent), options(options)
{
    connect(&link, &PeerLink::messageReceived, this, [this](const Json::Value& message) {
        lastWasExitNotice = MainSide::isExitNotice(message);
        if (lingering) {
            timer.start(this->options.lingerMs);
        }
    });
    connect(&link, &PeerLink::linkEnded, this, [this] {
        if (isDone()) {
            return;
        }
        if (this->link.closedHere() || lastWasExitNotice) {
            end(PeerExit::kPassed);
            return;
        }
        this->transcript.failure(QStringLiteral("the client ended the connection without the exit notice"));
        end(PeerExit::kFailed);
    });
}

void ConsoleSession::start()
{
    // Kept in a static so it stays reachable, and alive, for as long as its thread may run.
    static InputReader* const reader = new InputReader;
    connect(reader, &InputReader::lineRead, this, &ConsoleSession::takeLine);
    connect(reader, &InputReader::inputEnded, this, &ConsoleSession::takeEndOfInput);
    reader->start();
    PeerSession::start();
}

void ConsoleSession::keyed()
{
    transcript.note(QStringLiteral("type JSON lines to send them; end the input to close"));
    drain();
}

void ConsoleSession::takeLine(const QByteArray& line)
{
    lines.push_back(line);
    drain();
}

void ConsoleSession::takeEndOfInput()
{
    inputEnded = true;
    drain();
}

void ConsoleSession::drain()
{
    if (isDone() || !talking() || lingering || timer.isActive()) {
        return;
    }
    while (!lines.empty()) {
        const qint64 since = link.msSinceLastWrite();
        if (since >= 0 && since < options.sendGapMs) {
            timer.start(static_cast<int>(options.sendGapMs - since));
            return;
        }
        const QString line = QString::fromUtf8(lines.front()).trimmed();
        lines.pop_front();
        ++lineNumber;
        QString error;
        const QString stepText = line.startsWith(QLatin1Char('{')) ? QStringLiteral("send ") + line : line;
        const std::optional<ScenarioStep> step = ScenarioParser::parseLine(stepText, lineNumber, error);
        if (!step) {
            if (!error.isEmpty()) {
                transcript.failure(QStringLiteral("input line %1: %2").arg(lineNumber).arg(error));
            }
            continue;
        }
        if (step->kind == ScenarioStep::Kind::Close) {
            link.close();
            continue;
        }
        if (!ScenarioRunner::performSend(link, *step, error)) {
            transcript.failure(
                QStringLiteral("input line %1: %2")
                    .arg(lineNumber)
                    .arg(error.isEmpty()
                             ? QStringLiteral("the console sends JSON lines and the steps send, send-cp949, "
                                              "send-raw, send-wrapped and close")
                             : error));
        }
    }
    if (inputEnded) {
        lingering = true;
        transcript.note(
            QStringLiteral("end of input; closing when the client has been quiet for %1 ms").arg(options.lingerMs));
        timer.start(options.lingerMs);
    }
}

void ConsoleSession::talkingTimerFired()
{
    if (lingering) {
        end(PeerExit::kPassed);
        return;
    }
    drain();
}

#include "ConsoleSession.moc"
