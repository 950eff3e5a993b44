#pragma once

#include "JsonMetaType.h"
#include "LinkCipher.h"
#include "Transcript.h"

#include <json/value.h>

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpServer>

#include <memory>
#include <optional>
#include <string>

class PeerKey;
class QTcpSocket;

// The main program's side of the local link: listens, takes the one client, runs the key
// exchange, and from then on speaks the wrapped form. Everything that crosses the link is
// written to the transcript. Scenarios, the console and any other driver sit on top of it.
class PeerLink : public QObject
{
    Q_OBJECT

public:
    explicit PeerLink(Transcript& transcript, QObject* parent = nullptr);
    ~PeerLink() override;

    // Port 0 takes any free port; port() tells which.
    bool listen(quint16 port, QString& error);
    quint16 port() const;

    bool connected() const;
    bool keyed() const { return isKeyed; }
    bool keyExchangePending() const { return awaitingKeyReply; }
    // Whether the link ended because tavo_peer closed it.
    bool closedHere() const { return closedByUs; }

    // A message in the form the link is in: plain before the key exchange, wrapped after it.
    bool send(const Json::Value& message, QString& error);
    // Bytes exactly as given, never wrapped.
    bool sendRaw(const QByteArray& bytes, QString& error);
    // Any text, JSON or not, enciphered under tavo_peer's key and wrapped.
    bool sendWrapped(const QByteArray& text, QString& error);

    // Sends the key-initialisation request with a fresh key of tavo_peer's own, or with a key
    // text given from outside (tavo_peer then has no private key for it and keeps its key
    // material as it was). The reply is checked and consumed here: keyExchanged() or linkFailed().
    // On a keyed link the request and its reply travel under the key in force, and a new key of
    // tavo_peer's own holds from the message after the reply on.
    bool startKeyExchange(const std::optional<std::string>& givenKey, QString& error);

    // Ends the connection from this side.
    void close();

    // Milliseconds since the last write, or -1 before the first one.
    qint64 msSinceLastWrite() const;

signals:
    void clientConnected();
    void messageReceived(const Json::Value& message);
    void keyExchanged();
    // The client broke the link's rules: bytes that are no message, or a wrong key reply.
    void linkFailed(const QString& why);
    void linkEnded();

private:
    void takeConnection();
    void readIncoming();
    void onDisconnected();
    void handleMessage(const QByteArray& bytes);
    void handleKeyReply(const Json::Value& reply);
    void fail(const QString& why);
    bool write(const QByteArray& bytes, Transcript::Form form, const QByteArray& shown, QString& error);

    Transcript& transcript;
    QTcpServer server;
    QPointer<QTcpSocket> socket;
    QByteArray pending;
    bool isKeyed = false;
    bool awaitingKeyReply = false;
    bool closedByUs = false;
    bool ended = false;
    bool failed = false;
    std::unique_ptr<PeerKey> exchangeKey;
    // tavo_peer's own copy of the link key, from its own half of each agreement.
    LinkCipher cipher;
    QElapsedTimer lastWrite;
};
