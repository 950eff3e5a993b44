#include "DemoSession.h"

#include "PeerExit.h"
#include "PeerLink.h"
#include "Transcript.h"

#include <algorithm>

namespace {

constexpr int kExitNotice = 4496;

bool isExitNotice(const Json::Value& message)
{
    return message.isObject() && message["FrameIndex"].isInt() && message["FrameIndex"].asInt() == kExitNotice;
}

} // namespace

DemoSession::DemoSession(PeerLink& link, Transcript& transcript, Options options, QObject* parent)
    : QObject(parent), link(link), transcript(transcript), options(options), mainProgram(options.timing)
{
    clock.start();
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &DemoSession::onTimer);
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
        schedule(mainProgram.begin());
    });
    connect(&link, &PeerLink::messageReceived, this, [this](const Json::Value& message) {
        if (done || phase != Phase::Talking) {
            return;
        }
        if (isExitNotice(message)) {
            // Whatever was still to come has nobody left to see it.
            clientSaidGoodbye = true;
            pending.clear();
        }
        schedule(mainProgram.react(message));
    });
    connect(&link, &PeerLink::linkFailed, this, [this](const QString& why) {
        this->transcript.failure(why);
        end(PeerExit::kFailed);
    });
    connect(&link, &PeerLink::linkEnded, this, [this] {
        if (done) {
            return;
        }
        if (clientSaidGoodbye) {
            end(PeerExit::kPassed);
            return;
        }
        this->transcript.failure(QStringLiteral("the client ended the connection without the exit notice"));
        end(PeerExit::kFailed);
    });
}

void DemoSession::start()
{
    transcript.note(QStringLiteral("demo: waiting up to %1 ms for the client").arg(options.connectTimeoutMs));
    if (!link.connected()) {
        timer.start(options.connectTimeoutMs);
    }
}

void DemoSession::schedule(DemoMainProgram::Steps steps)
{
    if (pending.empty()) {
        pendingSince = clock.elapsed();
    }
    for (DemoMainProgram::Step& step : steps) {
        pending.push_back(std::move(step));
    }
    runDue();
}

void DemoSession::runDue()
{
    while (!done && !pending.empty()) {
        const DemoMainProgram::Step& step = pending.front();
        const qint64 now = clock.elapsed();
        qint64 wait = pendingSince + step.delayMs - now;
        if (step.message) {
            const qint64 since = link.msSinceLastWrite();
            if (since >= 0) {
                wait = std::max(wait, options.sendGapMs - since);
            }
        }
        if (wait > 0) {
            timer.start(static_cast<int>(wait));
            return;
        }
        if (!step.decision.isEmpty()) {
            transcript.note(step.decision);
        }
        if (step.message) {
            QString error;
            if (!link.send(*step.message, error)) {
                transcript.failure(error);
                end(PeerExit::kFailed);
                return;
            }
        }
        pending.pop_front();
        pendingSince = now;
    }
}

void DemoSession::onTimer()
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
        runDue();
        return;
    }
}

void DemoSession::end(int exitStatus)
{
    done = true;
    timer.stop();
    pending.clear();
    link.close();
    emit finished(exitStatus);
}
