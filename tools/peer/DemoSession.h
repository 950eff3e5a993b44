#pragma once

#include "DemoMainProgram.h"

#include <json/value.h>

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <deque>

class PeerLink;
class Transcript;

// `tavo_peer --demo`: runs the key exchange, then carries out what DemoMainProgram decides, each
// decision printed as one line, its messages kept apart by the send gap. The session ends when
// the client leaves: well after its exit notice, badly when it drops the link without one.
class DemoSession : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        int connectTimeoutMs = 60000;
        int keyTimeoutMs = 5000;
        int sendGapMs = 100;
        DemoMainProgram::Timing timing;
    };

    DemoSession(PeerLink& link, Transcript& transcript, Options options, QObject* parent = nullptr);

    void start();

signals:
    void finished(int exitStatus);

private:
    void schedule(DemoMainProgram::Steps steps);
    void runDue();
    void onTimer();
    void end(int exitStatus);

    PeerLink& link;
    Transcript& transcript;
    Options options;
    DemoMainProgram mainProgram;
    QTimer timer;
    enum class Phase
    {
        Client,
        Key,
        Talking,
    } phase = Phase::Client;
    std::deque<DemoMainProgram::Step> pending;
    qint64 pendingSince = 0; // when the step before the first pending one ran (ms of `clock`)
    QElapsedTimer clock;
    bool clientSaidGoodbye = false;
    bool done = false;
};
