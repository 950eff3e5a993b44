#include "PeerSession.h"

#include "PeerExit.h"
#include "PeerLink.h"
#include "Transcript.h"

PeerSession::PeerSession(PeerLink& link, Transcript& transcript, Timeouts timeouts, QObject* parent)
    : QObject(parent), link(link), transcript(transcript), timeouts(timeouts)
{
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &PeerSession::onTimer);
    connect(&link, &PeerLink::clientConnected, this, [this] {
        timer.stop();
        phase = Phase::Key;
        QString error;
        if (!this->link.startKeyExchange(std::nullopt, error)) {
            this->transcript.failure(error);
            end(PeerExit::kFailed);
            return;
        }
        timer.start(this->timeouts.keyTimeoutMs);
    });
    connect(&link, &PeerLink::keyExchanged, this, [this] {
        timer.stop();
        phase = Phase::Talking;
        keyed();
    });
    connect(&link, &PeerLink::linkFailed, this, [this](const QString& why) {
        this->transcript.failure(why);
        end(PeerExit::kFailed);
    });
}

void PeerSession::start()
{
    if (!link.connected()) {
        transcript.note(QStringLiteral("waiting up to %1 ms for the client").arg(timeouts.connectTimeoutMs));
        timer.start(timeouts.connectTimeoutMs);
    }
}

void PeerSession::onTimer()
{
    if (done) {
        return;
    }
    switch (phase) {
    case Phase::Client:
        transcript.failure(QStringLiteral("no client connected within %1 ms").arg(timeouts.connectTimeoutMs));
        end(PeerExit::kNoClient);
        return;
    case Phase::Key:
        transcript.failure(QStringLiteral("no key reply from the client within %1 ms").arg(timeouts.keyTimeoutMs));
        end(PeerExit::kFailed);
        return;
    case Phase::Talking:
        talkingTimerFired();
        return;
    }
}

void PeerSession::end(int exitStatus)
{
    if (done) {
        return;
    }
    done = true;
    timer.stop();
    link.close();
    emit finished(exitStatus);
}
