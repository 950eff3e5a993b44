#pragma once

#include <json/value.h>

#include <QByteArray>

#include <optional>

class LinkCipher;
class QAbstractSocket;

// The one path that turns a message into link bytes and writes them to the socket.
namespace LinkWriter {

// Hard limits of the peer: a plain message of 4096 bytes, a wrapped one that fits a
// 4096-byte buffer with its terminating zero byte.
constexpr int kMaxPlainBytes = 4096;
constexpr int kMaxWrappedBytes = 4095;

// The bytes of one message: plain before the key agreement (no cipher), wrapped under `cipher`
// once keyed. Nothing, with a critical log line, when the message cannot be sent whole.
std::optional<QByteArray> encode(const Json::Value& message, const LinkCipher* cipher);

// Whether the socket can take a message: connected, or still connecting (Qt buffers the bytes).
bool isOpen(const QAbstractSocket* socket);

// Writes one message; a message that cannot be sent whole, or a socket that is not open,
// writes nothing. Returns whether the bytes were handed to the socket.
bool send(QAbstractSocket* socket, const Json::Value& message, const LinkCipher* cipher);

// Writes bytes that encode() made earlier (a reply that must travel under the key in force
// when its request came). Returns whether they were handed to the socket.
bool write(QAbstractSocket* socket, const QByteArray& bytes);

// Waits until everything written has left for the peer, or `ms` have passed, whichever comes
// first; for the last message before the process ends. Returns whether all has left.
bool drain(QAbstractSocket* socket, int ms);

} // namespace LinkWriter
