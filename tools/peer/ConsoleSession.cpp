#include "ConsoleSession.h"

#include "PeerExit.h"
#include "PeerLink.h"
#include "Scenario.h"
#include "ScenarioRunner.h"
#include "Transcript.h"

#include <iostream>
#include <string>
#include <thread>

namespace {

constexpr int kExitNotice = 4496;

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
    : QObject(parent), link(link), transcript(transcript), options(options)
{
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &ConsoleSession::onTimer);
    connect(&link, &PeerLink::clientConnected, this, [this] {
        timer.stop();
        phase = Phase::Key;
        QString error;
        if (!this->link.startKeyExchange(std::nullopt, error)) {
            this->transcript.failure(error);
            end(PeerExit::kFailed);
            return;
        }
        timer.start(this->options.keyTimeoutMs);
    });
    connect(&link, &PeerLink::keyExchanged, this, [this] {
        timer.stop();
        phase = Phase::Talking;
        this->transcript.note(QStringLiteral("type JSON lines to send them; end the input to close"));
        drain();
    });
    connect(&link, &PeerLink::messageReceived, this, [this](const Json::Value& message) {
        lastWasExitNotice = message.isObject() && message.size() == 1 && message["FrameIndex"].isInt() &&
                            message["FrameIndex"].asInt() == kExitNotice;
        if (phase == Phase::Lingering) {
            timer.start(this->options.lingerMs);
        }
    });
    connect(&link, &PeerLink::linkFailed, this, [this](const QString& why) {
        this->transcript.failure(why);
        end(PeerExit::kFailed);
    });
    connect(&link, &PeerLink::linkEnded, this, [this] {
        if (done) {
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
    if (!link.connected()) {
        transcript.note(QStringLiteral("waiting up to %1 ms for the client").arg(options.connectTimeoutMs));
        timer.start(options.connectTimeoutMs);
    }
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
    if (done || phase != Phase::Talking || timer.isActive()) {
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
        phase = Phase::Lingering;
        transcript.note(
            QStringLiteral("end of input; closing when the client has been quiet for %1 ms").arg(options.lingerMs));
        timer.start(options.lingerMs);
    }
}

void ConsoleSession::onTimer()
{
    if (done) {
        return;
    }
    switch (phase) {
    case Phase::Client:
        transcript.failure(QStringLiteral("no client connected within %1 ms").arg(options.connectTimeoutMs));
        end(PeerExit::kNoClient);
        return;
    case Phase::Key:
        transcript.failure(QStringLiteral("no key reply from the client within %1 ms").arg(options.keyTimeoutMs));
        end(PeerExit::kFailed);
        return;
    case Phase::Talking:
        drain();
        return;
    case Phase::Lingering:
        end(PeerExit::kPassed);
        return;
    }
}

void ConsoleSession::end(int exitStatus)
{
    done = true;
    timer.stop();
    link.close();
    emit finished(exitStatus);
}

#include "ConsoleSession.moc"
