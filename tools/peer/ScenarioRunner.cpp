#include "ScenarioRunner.h"

#include "Protocol.h"
#include "JsonDiff.h"
#include "JsonText.h"
#include "MainSide.h"
#include "PeerExit.h"
#include "PeerLink.h"
#include "Transcript.h"

namespace {

// After a passed run, how long the client may take to see the connection end.
constexpr int kGoodbyeMs = 3000;

QString shown(const Json::Value& value)
{
    QByteArray text = QByteArray::fromStdString(JsonText::writeCompact(value));
    text.chop(1);
    return Transcript::readable(text);
}

} // namespace

ScenarioRunner::ScenarioRunner(PeerLink& link, Transcript& transcript, Scenario scenario, Options options,
                               QObject* parent)
    : QObject(parent), link(link), transcript(transcript), scenario(std::move(scenario)), options(options),
      expectTimeoutMs(options.expectTimeoutMs)
{
    if (!this->scenario.manualKey) {
        ScenarioStep exchange;
        exchange.kind = ScenarioStep::Kind::KeyExchange;
        exchange.text = QStringLiteral("key exchange on connection");
        this->scenario.steps.insert(this->scenario.steps.begin(), exchange);
    }
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &ScenarioRunner::onTimer);
    connect(&link, &PeerLink::messageReceived, this, &ScenarioRunner::onMessage);
    connect(&link, &PeerLink::keyExchanged, this, &ScenarioRunner::onKeyExchanged);
    connect(&link, &PeerLink::linkEnded, this, &ScenarioRunner::onLinkEnded);
    connect(&link, &PeerLink::linkFailed, this, &ScenarioRunner::failStep);
    connect(&link, &PeerLink::clientConnected, this, [this] {
        if (waiting == Waiting::Client) {
            timer.stop();
            waiting = Waiting::Nothing;
            next();
        }
    });
}

void ScenarioRunner::start()
{
    if (link.connected()) {
        next();
        return;
    }
    transcript.note(QStringLiteral("waiting up to %1 ms for the client").arg(options.connectTimeoutMs));
    wait(Waiting::Client, options.connectTimeoutMs);
}

bool ScenarioRunner::performSend(PeerLink& link, const ScenarioStep& step, QString& error)
{
    bool sent = false;
    switch (step.kind) {
    case ScenarioStep::Kind::Send:
        sent = link.send(step.message, error);
        break;
    case ScenarioStep::Kind::SendRaw:
        sent = link.sendRaw(step.bytes, error);
        break;
    case ScenarioStep::Kind::SendWrapped:
        if (!link.keyed()) {
            error = QStringLiteral("send-wrapped needs the key exchange first");
            return false;
        }
        sent = link.sendWrapped(step.bytes, error);
        break;
    default:
        error = QStringLiteral("not a sending step");
        return false;
    }
    return sent;
}

void ScenarioRunner::wait(Waiting what, int ms)
{
    waiting = what;
    timer.start(ms);
}

void ScenarioRunner::next()
{
    while (!done && waiting == Waiting::Nothing) {
        if (index >= scenario.steps.size()) {
            finish();
            return;
        }
        if (!runStep(scenario.steps[index])) {
            return;
        }
        ++index;
    }
}

bool ScenarioRunner::runStep(const ScenarioStep& step)
{
    using Kind = ScenarioStep::Kind;
    QString error;
    // The key request is a write like any other, so it keeps the gap too.
    const bool writes = step.kind == Kind::Send || step.kind == Kind::SendRaw || step.kind == Kind::SendWrapped ||
                        step.kind == Kind::KeyExchange;
    const qint64 since = link.msSinceLastWrite();
    if (writes && since >= 0 && since < options.sendGapMs) {
        wait(Waiting::Gap, static_cast<int>(options.sendGapMs - since));
        return false;
    }
    switch (step.kind) {
    case Kind::Send:
    case Kind::SendRaw:
    case Kind::SendWrapped: {
        if (linkEnded && !link.closedHere()) {
            failStep(QStringLiteral("the client ended the connection; nothing can be sent"));
            return false;
        }
        if (!performSend(link, step, error)) {
            failStep(error);
            return false;
        }
        return true;
    }
    case Kind::Timeout:
        expectTimeoutMs = step.ms;
        return true;
    case Kind::Close:
        link.close();
        return true;
    case Kind::Wait:
        wait(Waiting::Pause, step.ms);
        return false;
    case Kind::Expect:
        if (!inbox.empty()) {
            const Json::Value got = inbox.front();
            inbox.pop_front();
            const QStringList differences = JsonDiff::differences(step.message, got);
            if (!differences.isEmpty()) {
                failStep(QStringLiteral("the client sent %1\n  %2")
                             .arg(shown(got), differences.join(QStringLiteral("\n  "))));
                return false;
            }
            return true;
        }
        if (linkEnded) {
            failStep(QStringLiteral("the connection ended before the client sent the message"));
            return false;
        }
        wait(Waiting::Message, expectTimeoutMs);
        return false;
    case Kind::ExpectNone:
        if (!inbox.empty()) {
            failStep(QStringLiteral("the client sent %1").arg(shown(inbox.front())));
            return false;
        }
        wait(Waiting::Silence, step.ms);
        return false;
    case Kind::ExpectClose:
        if (checkClose()) {
            return true;
        }
        if (!done) {
            wait(Waiting::Close, expectTimeoutMs);
        }
        return false;
    case Kind::KeyExchange:
        if (!link.startKeyExchange(step.givenKey, error)) {
            failStep(error);
            return false;
        }
        wait(Waiting::KeyReply, expectTimeoutMs);
        return false;
    case Kind::ManualKey:
        return true;
    }
    return true;
}

// The exit notice and then the end of the connection; only the end when tavo_peer closed it,
// since a client whose link is gone has nothing to send its notice on.
bool ScenarioRunner::checkClose()
{
    if (!link.closedHere() && !exitNoticeSeen && !inbox.empty()) {
        const Json::Value got = inbox.front();
        inbox.pop_front();
        if (!MainSide::isExitNotice(got)) {
            failStep(QStringLiteral("the client sent %1 instead of the exit notice {\"FrameIndex\":%2}")
                         .arg(shown(got))
                         .arg(Protocol::kExitNotice));
            return false;
        }
        exitNoticeSeen = true;
    }
    if (!inbox.empty()) {
        failStep(QStringLiteral("the client sent %1 after the exit notice").arg(shown(inbox.front())));
        return false;
    }
    if (!linkEnded) {
        return false;
    }
    if (!link.closedHere() && !exitNoticeSeen) {
        failStep(QStringLiteral("the client ended the connection without the exit notice {\"FrameIndex\":%1}")
                     .arg(Protocol::kExitNotice));
        return false;
    }
    closeExpected = true;
    return true;
}

void ScenarioRunner::onMessage(const Json::Value& message)
{
    inbox.push_back(message);
    if (done) {
        return;
    }
    switch (waiting) {
    case Waiting::Silence:
        timer.stop();
        waiting = Waiting::Nothing;
        failStep(QStringLiteral("the client sent %1").arg(shown(message)));
        return;
    case Waiting::Message:
    case Waiting::Close:
        timer.stop();
        waiting = Waiting::Nothing;
        nextLater();
        return;
    default:
        return;
    }
}

void ScenarioRunner::onKeyExchanged()
{
    if (done || waiting != Waiting::KeyReply) {
        return;
    }
    timer.stop();
    waiting = Waiting::Nothing;
    ++index;
    nextLater();
}

// Messages that arrived in one read are all in the inbox before the next step looks at it.
void ScenarioRunner::nextLater()
{
    QMetaObject::invokeMethod(this, &ScenarioRunner::next, Qt::QueuedConnection);
}

void ScenarioRunner::onLinkEnded()
{
    linkEnded = true;
    if (done) {
        return;
    }
    switch (waiting) {
    case Waiting::KeyReply:
        failStep(QStringLiteral("the connection ended before the key reply"));
        return;
    case Waiting::Message:
    case Waiting::Close:
        timer.stop();
        waiting = Waiting::Nothing;
        next();
        return;
    case Waiting::Goodbye:
        timer.stop();
        end(PeerExit::kPassed);
        return;
    default:
        return;
    }
}

void ScenarioRunner::onTimer()
{
    const Waiting was = waiting;
    waiting = Waiting::Nothing;
    switch (was) {
    case Waiting::Client:
        fail(QStringLiteral("no client connected within %1 ms").arg(options.connectTimeoutMs), PeerExit::kNoClient);
        return;
    case Waiting::Pause:
    case Waiting::Silence:
        ++index;
        next();
        return;
    case Waiting::Gap:
        next();
        return;
    case Waiting::Message:
        failStep(QStringLiteral("no message from the client within %1 ms").arg(expectTimeoutMs));
        return;
    case Waiting::KeyReply:
        failStep(QStringLiteral("no key reply from the client within %1 ms").arg(expectTimeoutMs));
        return;
    case Waiting::Close:
        failStep(exitNoticeSeen || link.closedHere()
                     ? QStringLiteral("the connection did not end within %1 ms").arg(expectTimeoutMs)
                     : QStringLiteral("no exit notice from the client within %1 ms").arg(expectTimeoutMs));
        return;
    case Waiting::Goodbye:
        end(PeerExit::kPassed);
        return;
    case Waiting::Nothing:
        return;
    }
}

void ScenarioRunner::finish()
{
    if (!inbox.empty()) {
        QStringList unexpected;
        for (const Json::Value& message : inbox) {
            unexpected << shown(message);
        }
        fail(QStringLiteral("at the end of the scenario, the client had sent what no step expected:\n") +
                 unexpected.join(QLatin1Char('\n')),
             PeerExit::kFailed);
        return;
    }
    if (linkEnded && !link.closedHere() && !closeExpected) {
        fail(QStringLiteral("the client ended the connection, which the scenario did not expect"), PeerExit::kFailed);
        return;
    }
    transcript.note(QStringLiteral("scenario passed"));
    if (link.connected()) {
        // Set first: the end of the connection may be reported from inside close().
        wait(Waiting::Goodbye, kGoodbyeMs);
        link.close();
        return;
    }
    end(PeerExit::kPassed);
}

void ScenarioRunner::failStep(const QString& why)
{
    if (done) {
        return;
    }
    const ScenarioStep* step = index < scenario.steps.size() ? &scenario.steps[index] : nullptr;
    const QString where = !step             ? QStringLiteral("after the last step")
                          : step->line == 0 ? step->text
                                            : QStringLiteral("line %1: %2").arg(step->line).arg(step->text);
    fail(where + QLatin1Char('\n') + why, PeerExit::kFailed);
}

void ScenarioRunner::fail(const QString& why, int exitStatus)
{
    if (done) {
        return;
    }
    for (const QString& line : why.split(QLatin1Char('\n'))) {
        transcript.failure(line);
    }
    end(exitStatus);
}

void ScenarioRunner::end(int exitStatus)
{
    done = true;
    timer.stop();
    waiting = Waiting::Nothing;
    link.close();
    emit finished(exitStatus);
}
