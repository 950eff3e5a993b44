#include "BenchPeer.h"

#include "BenchFailure.h"
#include "ChildProcess.h"
#include "MainSide.h"
#include "PeerKey.h"
#include "WireSplitter.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr int kAcceptSliceMs = 10;
constexpr size_t kReadChunk = 65536;

std::string systemError(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

// Waits until `fd` is readable or the deadline passes, with microsecond resolution.
bool readableBefore(int fd, BenchPeer::Clock::time_point deadline)
{
    while (true) {
        const auto left = deadline - BenchPeer::Clock::now();
        if (left <= BenchPeer::Clock::duration::zero()) {
            return false;
        }
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        timespec wait{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        pollfd p{fd, POLLIN, 0};
        const int ready = ppoll(&p, 1, &wait, nullptr);
        if (ready > 0) {
            return true;
        }
        if (ready < 0 && errno != EINTR) {
            throw BenchFailure(BenchFailure::Failed, systemError("poll"));
        }
    }
}

} // namespace

BenchPeer::~BenchPeer()
{
    closeConnection();
    if (listenFd >= 0) {
        ::close(listenFd);
    }
}

void BenchPeer::listen(std::uint16_t port)
{
    listenPort = port;
    listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd < 0) {
        throw BenchFailure(BenchFailure::Setup, systemError("socket"));
    }
    // Lets a run start while connections of the previous one are still in TIME_WAIT; a port
    // another program listens on is still refused.
    const int on = 1;
    if (setsockopt(listenFd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
        throw BenchFailure(BenchFailure::Setup, systemError("setsockopt SO_REUSEADDR"));
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listenFd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (errno == EADDRINUSE) {
            throw BenchFailure(BenchFailure::Setup,
                               "port " + std::to_string(port) +
                                   " on 127.0.0.1 is in use: another program (a main program, tavo_peer, a test) "
                                   "listens on it. The client only connects to this port; stop that program and "
                                   "run again");
        }
        throw BenchFailure(BenchFailure::Setup,
                           systemError(("cannot listen on 127.0.0.1:" + std::to_string(port)).c_str()));
    }
    if (::listen(listenFd, 4) != 0) {
        throw BenchFailure(BenchFailure::Setup, systemError("listen"));
    }
}

BenchPeer::Clock::time_point BenchPeer::accept(int timeoutMs, ChildProcess& process)
{
    closeConnection();
    peerName = process.name();
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        const Clock::time_point slice = std::min(deadline, Clock::now() + std::chrono::milliseconds(kAcceptSliceMs));
        if (readableBefore(listenFd, slice)) {
            break;
        }
        if (!process.running()) {
            throw BenchFailure(BenchFailure::NoConnection,
                               peerName + " ended (" + process.exitText() + ") without connecting to 127.0.0.1:" +
                                   std::to_string(listenPort) + "\n" + process.outputTail());
        }
        if (Clock::now() >= deadline) {
            throw BenchFailure(BenchFailure::NoConnection,
                               peerName + " did not connect to 127.0.0.1:" + std::to_string(listenPort) + " within " +
                                   std::to_string(timeoutMs) + " ms\n" + process.outputTail());
        }
    }
    const Clock::time_point accepted = Clock::now();
    connFd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (connFd < 0) {
        throw BenchFailure(BenchFailure::Failed, systemError("accept"));
    }
    return accepted;
}

void BenchPeer::setNoDelay(bool on)
{
    const int value = on ? 1 : 0;
    if (setsockopt(connFd, IPPROTO_TCP, TCP_NODELAY, &value, sizeof value) != 0) {
        throw BenchFailure(BenchFailure::Failed, systemError("setsockopt TCP_NODELAY"));
    }
}

void BenchPeer::exchangeKeys(int timeoutMs)
{
    PeerKey key;
    const std::string keyText = key.publicKeyText();
    if (keyText.empty()) {
        throw BenchFailure(BenchFailure::Failed, "no P-256 key pair could be made");
    }
    write(MainSide::plain(MainSide::keyRequest(keyText)).toStdString());

    const std::optional<std::string> reply = nextMessage(Clock::now() + std::chrono::milliseconds(timeoutMs));
    if (!reply) {
        throw BenchFailure(BenchFailure::Failed,
                           peerName + " did not answer the key request within " + std::to_string(timeoutMs) + " ms");
    }
    const MainSide::Received in = MainSide::read(cipher, QByteArray::fromStdString(*reply), keyed);
    QString why = QStringLiteral("not JSON");
    std::optional<std::string> clientKey;
    if (in.status == MainSide::Received::Status::Ok) {
        clientKey = MainSide::clientKeyOf(in.message, why);
    }
    if (clientKey && !key.agreeWith(*clientKey, cipher)) {
        why = QStringLiteral("not a point of P-256");
        clientKey.reset();
    }
    if (!clientKey) {
        throw BenchFailure(BenchFailure::Failed,
                           peerName + " sent no usable key reply (" + why.toStdString() + "): " + *reply);
    }
    keyed = true;
}

void BenchPeer::write(const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        // A closed connection must end the run with a message, not with SIGPIPE.
        const ssize_t n = send(connFd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            throw BenchFailure(BenchFailure::Failed, systemError(("writing to " + peerName).c_str()));
        }
        done += static_cast<size_t>(n);
    }
}

std::optional<std::string> BenchPeer::nextMessage(Clock::time_point deadline)
{
    char chunk[kReadChunk];
    while (true) {
        QByteArray message;
        const WireSplitter::Outcome outcome = WireSplitter::take(pending, keyed, message);
        if (outcome == WireSplitter::Outcome::Message) {
            return message.toStdString();
        }
        if (outcome == WireSplitter::Outcome::Malformed) {
            throw BenchFailure(BenchFailure::Failed,
                               peerName + " sent bytes that are no message: " + pending.left(200).toStdString());
        }
        if (!readableBefore(connFd, deadline)) {
            return std::nullopt;
        }
        const ssize_t n = read(connFd, chunk, sizeof chunk);
        if (n == 0) {
            throw BenchFailure(BenchFailure::Failed, peerName + " closed the connection");
        }
        if (n < 0 && errno != EINTR) {
            throw BenchFailure(BenchFailure::Failed, systemError(("reading from " + peerName).c_str()));
        }
        if (n > 0) {
            pending.append(chunk, static_cast<int>(n));
        }
    }
}

void BenchPeer::closeConnection()
{
    if (connFd >= 0) {
        ::close(connFd);
        connFd = -1;
    }
    pending.clear();
    keyed = false;
}

std::string BenchPeer::wrap(const std::string& text) const
{
    return MainSide::wrap(cipher, QByteArray::fromStdString(text)).value_or(QByteArray()).toStdString();
}

std::string BenchPeer::unwrap(const std::string& message) const
{
    return MainSide::unwrap(cipher, QByteArray::fromStdString(message));
}
