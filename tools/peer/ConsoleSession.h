#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <deque>

class PeerLink;
class Transcript;

// For integrators trying the client by hand: every line read from standard input is sent to
// the client (a JSON line as it is, or one of the scenario's sending steps), and what comes
// back is printed. The key exchange runs first, as soon as the client connects.
class ConsoleSession : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        int connectTimeoutMs = 60000;
        int keyTimeoutMs = 5000;
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

signals:
    void finished(int exitStatus);

private:
    void drain();
    void onTimer();
    void end(int exitStatus);

    PeerLink& link;
    Transcript& transcript;
    Options options;
    QTimer timer;
    enum class Phase
    {
        Client,   // waiting for the client to connect
        Key,      // waiting for the key reply
        Talking,  // sending input lines, kept apart by the send gap
        Lingering // input ended; waiting for the client to fall quiet
    } phase = Phase::Client;
    std::deque<QByteArray> lines;
    int lineNumber = 0;
    bool inputEnded = false;
    bool lastWasExitNotice = false;
    bool done = false;
};
