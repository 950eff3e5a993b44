#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM, SIGINT and SIGHUP end the program the normal way, through the event loop, so the
// window closes and the exit notice leaves while the link is still open. The handler only
// writes the signal's number to a pipe; the event loop reads it. Nothing on Windows, where the
// end of a session reaches the program as window messages instead.
class TermSignals : public QObject
{
    Q_OBJECT

public:
    explicit TermSignals(QObject* parent = nullptr);
    ~TermSignals() override;

signals:
    void received(int signalNumber);

private:
    void readPipe();

    QSocketNotifier* notifier = nullptr;
};
