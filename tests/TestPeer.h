#pragma once

// The main program's side of the link for tests: a real QTcpServer on 127.0.0.1:15201 that
// collects what the client writes and sends plain or wrapped messages back.
#include "JsonText.h"
#include "SecureUtil.h"

#include <json/value.h>

#include <QByteArray>
#include <QPointer>
#include <QRegularExpression>
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
    static constexpr quint16 kPort = 15201;

    bool listen()
    {
        server.setMaxPendingConnections(8);
        return server.isListening() || server.listen(QHostAddress(QStringLiteral("127.0.0.1")), kPort);
    }

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
        const std::string text = JsonText::writeCompact(message);
        if (!wrapped) {
            sendRaw(QByteArray(text.data(), static_cast<int>(text.size())));
            return;
        }
        const std::string cipherText = SecureUtil::encryptMessage(text);
        sendRaw(QByteArray("{\"") + QByteArray::fromStdString(cipherText) + QByteArray("\":\"\"}"));
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

    // The messages received so far, split by form: plain ones end with a line feed, wrapped ones
    // are {"<base64>":""} one after another.
    std::vector<Json::Value> messages(bool wrapped)
    {
        std::vector<Json::Value> out;
        const QByteArray all = bytes();
        std::string errors;
        if (!wrapped) {
            for (const QByteArray& line : all.split('\n')) {
                if (line.isEmpty()) {
                    continue;
                }
                Json::Value value;
                JsonText::parse(line.toStdString(), value, errors);
                out.push_back(value);
            }
            return out;
        }
        static const QRegularExpression wrappedForm(QStringLiteral("\\{\"([A-Za-z0-9+/=]*)\":\"\"\\}"));
        auto it = wrappedForm.globalMatch(QString::fromLatin1(all));
        while (it.hasNext()) {
            const std::string plain = SecureUtil::decryptMessage(it.next().captured(1).toStdString());
            Json::Value value;
            JsonText::parse(plain, value, errors);
            out.push_back(value);
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
