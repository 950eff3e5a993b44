#pragma once

#include "LinkCipher.h"

#include <QByteArray>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

class ChildProcess;

// The main program's side of the link, kept lean for measuring: blocking sockets, poll with
// deadlines, no event loop and no transcript, so the time it reports is spent on the other side.
// One listening socket for the whole run; one connection at a time.
class BenchPeer
{
public:
    using Clock = std::chrono::steady_clock;

    BenchPeer() = default;
    ~BenchPeer();
    BenchPeer(const BenchPeer&) = delete;
    BenchPeer& operator=(const BenchPeer&) = delete;

    // Throws BenchFailure when the port is taken.
    void listen(std::uint16_t port);
    // Waits for the next connection while `process` keeps running; returns when it was accepted.
    // Throws BenchFailure when the process ends first or does not connect within `timeoutMs`.
    Clock::time_point accept(int timeoutMs, ChildProcess& process);
    // Off by default, as on the client's socket.
    void setNoDelay(bool on);

    // The key request with a fresh key of the peer's own, the reply checked, the peer's key set.
    void exchangeKeys(int timeoutMs);

    void write(const std::string& bytes);
    // The next whole message (plain before the key exchange, wrapped after it); nothing when none
    // came by the deadline. Throws when the connection ended or the bytes are no message.
    std::optional<std::string> nextMessage(Clock::time_point deadline);
    // Closes the connection from this side; the client is expected to close too.
    void closeConnection();

    // A text enciphered under the peer's key and wrapped; equal texts give equal bytes.
    std::string wrap(const std::string& text) const;
    // The deciphered text of a wrapped message; empty when it does not decipher.
    std::string unwrap(const std::string& message) const;

private:
    int listenFd = -1;
    int connFd = -1;
    std::uint16_t listenPort = 0;
    std::string peerName;
    QByteArray pending;
    bool keyed = false;
    // The key the peer agreed on its own, as a main program holds it.
    LinkCipher cipher;
};
