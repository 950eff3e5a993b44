#pragma once

// The main program's side of the link for tests: a real QTcpServer on 127.0.0.1 that collects
// what the client writes and sends plain or wrapped messages back, in the forms of the library
// every stand-in main program uses. It agrees its own key with the client and keeps it.
#include "LinkCipher.h"
#include "MainSide.h"
#include "PeerKey.h"
#include "Protocol.h"
#include "WireSplitter.h"

#include <json/value.h>

#include <QByteArray>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <vector>

// Messages as the main program writes them.
namespace LinkMessages {

inline Json::Value frameIndex(int n)
{
    Json::Value message(Json::objectValue);
    message["FrameIndex"] = n;
    return message;
}

// A message whose "Info"."result" carries a text, as notices and screen updates do.
inline Json::Value notice(int n, const std::string& result)
{
    Json::Value message = frameIndex(n);
    message["Info"]["result"] = result;
    return message;
}

} // namespace LinkMessages

class TestPeer
{
public:
    static constexpr quint16 kPort = Protocol::kLinkPort;

    // Port 0 takes any free port, so tests that listen can run side by side; port() tells which.
    bool listen(quint16 port = kPort)
    {
        server.setMaxPendingConnections(8);
        return server.isListening() || server.listen(QHostAddress(QStringLiteral("127.0.0.1")), port);
    }

    quint16 port() const { return server.serverPort(); }

    // Takes the newest pending connection; older ones are dropped.
    bool waitForClient(int ms = 5000)
    {
        const bool ok = QTest::qWaitFor([this] { return server.hasPendingConnections(); }, ms);
        while (server.hasPendingConnections()) {
            QTcpSocket* next = server.nextPendingConnection();
            if (client) {
                client->abort();
                client->deleteLater();
            }
            client = next;
        }
        received.clear();
        return ok && client;
    }

    QTcpSocket* socket() const { return client.data(); }

    // The peer's own key, set by exchangeKey() or by a test that agreed one itself.
    LinkCipher& cipher() { return key; }

    void sendRaw(const QByteArray& bytes)
    {
        client->write(bytes);
        client->flush();
    }

    // Plain before the key agreement; wrapped (under the peer's own key) after it.
    void send(const Json::Value& message, bool wrapped)
    {
        const QByteArray text = MainSide::plain(message);
        sendRaw(wrapped ? MainSide::wrap(key, text).value_or(QByteArray()) : text);
    }

    // The key request with a fresh key pair of the peer's own, in the form the link is in, and the
    // peer's key from the client's reply, as a main program runs it. Leaves nothing received.
    bool exchangeKey(bool wrapped, int ms = 5000)
    {
        PeerKey own;
        clear();
        send(MainSide::keyRequest(own.publicKeyText()), wrapped);
        if (!waitForMessages(1, wrapped, ms)) {
            return false;
        }
        QString why;
        const std::optional<std::string> clientKey = MainSide::clientKeyOf(messages(wrapped).front(), why);
        clear();
        return clientKey && own.agreeWith(*clientKey, key);
    }

    QByteArray bytes()
    {
        pump();
        return received;
    }

    // Waits until at least `count` bytes have arrived in all.
    bool waitForBytes(int count, int ms = 5000)
    {
        return QTest::qWaitFor([&] { return bytes().size() >= count; }, ms);
    }

    // The messages received so far in one form, deciphered under the peer's own key;
    // null for one that does not read. Bytes in front that are not in that form (a plain reply
    // before wrapped messages) are passed over, and a message still arriving is not counted.
    std::vector<Json::Value> messages(bool wrapped)
    {
        std::vector<Json::Value> out;
        QByteArray rest = bytes();
        while (!rest.isEmpty()) {
            QByteArray message;
            const WireSplitter::Outcome outcome = WireSplitter::take(rest, wrapped, message);
            if (outcome == WireSplitter::Outcome::NeedMore) {
                break;
            }
            if (outcome == WireSplitter::Outcome::Malformed) {
                const int next = rest.indexOf('{', 1);
                rest.remove(0, next < 0 ? rest.size() : next);
                continue;
            }
            out.push_back(MainSide::read(key, message, wrapped).message);
        }
        return out;
    }

    bool waitForMessages(size_t count, bool wrapped, int ms = 5000)
    {
        return QTest::qWaitFor([&] { return messages(wrapped).size() >= count; }, ms);
    }

    void clear()
    {
        pump();
        received.clear();
    }

    void disconnectClient()
    {
        if (client) {
            client->disconnectFromHost();
        }
    }

private:
    void pump()
    {
        if (client) {
            received.append(client->readAll());
        }
    }

    QTcpServer server;
    QPointer<QTcpSocket> client;
    QByteArray received;
    LinkCipher key;
};
