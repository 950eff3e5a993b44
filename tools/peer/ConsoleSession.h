#pragma once

#include "PeerSession.h"

#include <QByteArray>

#include <deque>

// For integrators trying the client by hand: every line read from standard input is sent to
// the client (a JSON line as it is, or one of the scenario's sending steps), and what comes
// back is printed. The key exchange runs first, as soon as the client connects.
class ConsoleSession : public PeerSession
{
    Q_OBJECT

public:
    struct Options : Timeouts
    {
        int sendGapMs = 100;
        // After the end of input: how long answers may still come before the link is closed.
        int lingerMs = 1000;
    };

    ConsoleSession(PeerLink& link, Transcript& transcript, Options options, QObject* parent = nullptr);

    // Starts reading standard input and waiting for the client.
    void start();

    // Where the input thread delivers its lines, and the end of its input.
    void takeLine(const QByteArray& line);
    void takeEndOfInput();

private:
    void keyed() override;
    void talkingTimerFired() override;
    void drain();

    Options options;
    std::deque<QByteArray> lines;
    int lineNumber = 0;
    bool inputEnded = false;
    bool lingering = false; // input ended; waiting for the client to fall quiet
    bool lastWasExitNotice = false;
};
