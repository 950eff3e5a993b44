#include "DemoSession.h"

#include "MainSide.h"
#include "PeerExit.h"
#include "PeerLink.h"
#include "Transcript.h"

#include <algorithm>

DemoSession::DemoSession(PeerLink& link, Transcript& transcript, Options options, QObject* parent)
    : PeerSession(link, transcript, options, parent), options(options), mainProgram(options.timing)
{
    clock.start();
    connect(&link, &PeerLink::messageReceived, this, [this](const Json::Value& message) {
        if (isDone() || !talking()) {
            return;
        }
        if (MainSide::isExitNotice(message)) {
            // Whatever was still to come has nobody left to see it.
            clientSaidGoodbye = true;
            pending.clear();
        }
        schedule(mainProgram.react(message));
    });
    connect(&link, &PeerLink::linkEnded, this, [this] {
        if (isDone()) {
            return;
        }
        pending.clear();
        if (clientSaidGoodbye) {
            end(PeerExit::kPassed);
            return;
        }
        this->transcript.failure(QStringLiteral("the client ended the connection without the exit notice"));
        end(PeerExit::kFailed);
    });
}

void DemoSession::keyed()
{
    schedule(mainProgram.begin());
}

void DemoSession::talkingTimerFired()
{
    runDue();
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
    while (!isDone() && !pending.empty()) {
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
                pending.clear();
                end(PeerExit::kFailed);
                return;
            }
        }
        pending.pop_front();
        pendingSince = now;
    }
}
