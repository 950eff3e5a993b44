#include "TermSignals.h"

#include <QSocketNotifier>
#include <QtDebug>

#if !defined(_WIN32)
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

#if !defined(_WIN32)
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// One pipe per process: [0] read by the event loop, [1] written by the handler.
int pipeEnds[2] = {-1, -1};

extern "C" void onSignal(int signalNumber)
{
    const int saved = errno;
    const unsigned char n = static_cast<unsigned char>(signalNumber);
    // Only async-signal-safe calls here; a full pipe just drops a repeat.
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &n, 1);
    errno = saved;
}
#endif

} // namespace

TermSignals::TermSignals(QObject* parent) : QObject(parent)
{
#if !defined(_WIN32)
    if (pipeEnds[0] < 0) {
        if (::pipe(pipeEnds) != 0) {
            qWarning("Signals: no pipe; SIGTERM ends the program without its exit notice");
            return;
        }
        for (const int end : pipeEnds) {
            ::fcntl(end, F_SETFL, ::fcntl(end, F_GETFL) | O_NONBLOCK);
            ::fcntl(end, F_SETFD, FD_CLOEXEC);
        }
    }
    notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &TermSignals::readPipe);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int s : kSignals) {
        ::sigaction(s, &action, nullptr);
    }
#endif
}

TermSignals::~TermSignals()
{
#if !defined(_WIN32)
    if (notifier) {
        struct sigaction action = {};
        action.sa_handler = SIG_DFL;
        sigemptyset(&action.sa_mask);
        for (const int s : kSignals) {
            ::sigaction(s, &action, nullptr);
        }
    }
#endif
}

void TermSignals::readPipe()
{
#if !defined(_WIN32)
    unsigned char n = 0;
    while (::read(pipeEnds[0], &n, 1) == 1) {
        qInfo() << "Signal" << n << "received: closing";
        emit received(n);
    }
#endif
}
