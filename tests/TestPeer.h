#pragma once

// The main program's side of the link for tests: a real QTcpServer on 127.0.0.1 that collects
// what the client writes and sends plain or wrapped messages back, in the forms of the library
// every stand-in main program uses.
#include "MainSide.h"
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

    void sendRaw(const QByteArray& bytes)
    {
        client->write(bytes);
        client->flush();
    }

    // Plain before the key agreement; wrapped (with the module's current link key) after it.
    void send(const Json::Value& message, bool wrapped)
    {
        const QByteArray text = MainSide::plain(message);
        sendRaw(wrapped ? MainSide::wrap(text).value_or(QByteArray()) : text);
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

    // The messages received so far in one form, deciphered with the module's current link key;
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
            out.push_back(MainSide::read(message, wrapped).message);
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
};
