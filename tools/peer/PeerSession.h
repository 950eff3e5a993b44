#pragma once

#include <QObject>
#include <QTimer>

class PeerLink;
class Transcript;

// What every interactive driver of tavo_peer starts with: wait for the client, run the key
// exchange as soon as it connects, each with a time limit, then hand over to the driver. The
// driver's own waits use the same timer once the link is keyed.
class PeerSession : public QObject
{
    Q_OBJECT

public:
    struct Timeouts
    {
        int connectTimeoutMs = 60000;
        int keyTimeoutMs = 5000;
    };

    // Starts waiting for the client.
    void start();

signals:
    void finished(int exitStatus);

protected:
    PeerSession(PeerLink& link, Transcript& transcript, Timeouts timeouts, QObject* parent);

    // The link is keyed: from now on the driver talks, and the timer is its own.
    virtual void keyed() = 0;
    virtual void talkingTimerFired() = 0;

    bool talking() const { return phase == Phase::Talking; }
    bool isDone() const { return done; }
    // Closes the link and reports the exit status, once.
    void end(int exitStatus);

    PeerLink& link;
    Transcript& transcript;
    QTimer timer;

private:
    void onTimer();

    Timeouts timeouts;
    enum class Phase
    {
        Client,
        Key,
        Talking,
    } phase = Phase::Client;
    bool done = false;
};
