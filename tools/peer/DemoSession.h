#pragma once

#include "DemoMainProgram.h"
#include "PeerSession.h"

#include <json/value.h>

#include <QElapsedTimer>

#include <deque>

// `tavo_peer --demo`: runs the key exchange, then carries out what DemoMainProgram decides, each
// decision printed as one line, its messages kept apart by the send gap. The session ends when
// the client leaves: well after its exit notice, badly when it drops the link without one.
class DemoSession : public PeerSession
{
    Q_OBJECT

public:
    struct Options : Timeouts
    {
        int sendGapMs = 100;
        DemoMainProgram::Timing timing;
    };

    DemoSession(PeerLink& link, Transcript& transcript, Options options, QObject* parent = nullptr);

private:
    void keyed() override;
    void talkingTimerFired() override;
    void schedule(DemoMainProgram::Steps steps);
    void runDue();

    Options options;
    DemoMainProgram mainProgram;
    std::deque<DemoMainProgram::Step> pending;
    qint64 pendingSince = 0; // when the step before the first pending one ran (ms of `clock`)
    QElapsedTimer clock;
    bool clientSaidGoodbye = false;
};
