#pragma once

// tavo_peer run as its own process, the way an integrator runs it: its output collected, its
// listening port read from its first line, every wait bounded.
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

class PeerProcess
{
public:
    ~PeerProcess()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    // True once it listens; false when it ended first (a taken port, a bad scenario) or took too long.
    bool start(const QStringList& args, int ms = 10000)
    {
        process.start(QStringLiteral(TAVO_PEER_PATH), args);
        if (!process.waitForStarted(5000)) {
            return false;
        }
        static const QRegularExpression listening(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)"));
        QRegularExpressionMatch match;
        const bool listens = QTest::qWaitFor(
            [&] {
                match = listening.match(out());
                return match.hasMatch() || process.state() == QProcess::NotRunning;
            },
            ms);
        listenPort = static_cast<quint16>(match.captured(1).toUInt());
        return listens && match.hasMatch();
    }

    quint16 port() const { return listenPort; }

    bool finish(int ms = 30000) { return process.state() == QProcess::NotRunning || process.waitForFinished(ms); }

    int exitCode() const { return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1; }

    QString out()
    {
        stdoutText += QString::fromUtf8(process.readAllStandardOutput());
        return stdoutText;
    }

    QString err()
    {
        stderrText += QString::fromUtf8(process.readAllStandardError());
        return stderrText;
    }

    // Everything it wrote, for a failing test's message.
    QString all() { return out() + QStringLiteral("\n--- stderr ---\n") + err(); }

    QProcess process;

private:
    quint16 listenPort = 0;
    QString stdoutText;
    QString stderrText;
};
