#pragma once

#include "Scenario.h"

#include <json/value.h>

#include <QObject>
#include <QTimer>

#include <deque>

class PeerLink;
class Transcript;

// Plays a scenario against the connected client, one step after the other. Every wait has a
// limit; the first step that fails ends the run with a message saying which line and why.
class ScenarioRunner : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        int connectTimeoutMs = 60000;
        int expectTimeoutMs = 5000;
        // The link has no framing: two writes that reach the client in one read count as one
        // message, so writes are kept at least this far apart.
        int sendGapMs = 100;
    };

    ScenarioRunner(PeerLink& link, Transcript& transcript, Scenario scenario, Options options,
                   QObject* parent = nullptr);

    // Waits for the client, then runs the steps; finished() tells the exit status.
    void start();

    // The sending steps, shared with the console.
    static bool performSend(PeerLink& link, const ScenarioStep& step, QString& error);

signals:
    void finished(int exitStatus);

private:
    enum class Waiting
    {
        Nothing,
        Client,
        Pause,
        Gap,
        Message,
        Silence,
        KeyReply,
        Close,
        Goodbye,
    };

    void next();
    void nextLater();
    bool runStep(const ScenarioStep& step); // false when the run has to wait
    bool checkClose();
    void onMessage(const Json::Value& message);
    void onKeyExchanged();
    void onLinkEnded();
    void onTimer();
    void wait(Waiting what, int ms);
    void finish();
    void fail(const QString& why, int exitStatus);
    void failStep(const QString& why);
    void end(int exitStatus);

    PeerLink& link;
    Transcript& transcript;
    Scenario scenario;
    Options options;
    QTimer timer;
    Waiting waiting = Waiting::Nothing;
    std::deque<Json::Value> inbox;
    size_t index = 0;
    int expectTimeoutMs;
    bool linkEnded = false;
    bool exitNoticeSeen = false;
    bool closeExpected = false;
    bool done = false;
};
