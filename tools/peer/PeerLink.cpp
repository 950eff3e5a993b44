#include "PeerLink.h"

#include "MainSide.h"
#include "PeerKey.h"
#include "SecureUtil.h"
#include "WireSplitter.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace {

QByteArray withoutLineFeed(const QByteArray& text)
{
    return text.endsWith('\n') ? text.left(text.size() - 1) : text;
}

} // namespace

PeerLink::PeerLink(Transcript& transcript, QObject* parent) : QObject(parent), transcript(transcript)
{
    connect(&server, &QTcpServer::newConnection, this, &PeerLink::takeConnection);
}

PeerLink::~PeerLink()
{
    if (socket) {
        socket->disconnect(this);
        socket->abort();
    }
}

bool PeerLink::listen(quint16 port, QString& error)
{
    if (!server.listen(QHostAddress(QStringLiteral("127.0.0.1")), port)) {
        error = QStringLiteral("cannot listen on 127.0.0.1:%1: %2").arg(port).arg(server.errorString());
        return false;
    }
    transcript.note(QStringLiteral("listening on 127.0.0.1:%1").arg(server.serverPort()));
    return true;
}

quint16 PeerLink::port() const
{
    return server.serverPort();
}

bool PeerLink::connected() const
{
    return socket && !ended && socket->state() == QAbstractSocket::ConnectedState;
}

void PeerLink::takeConnection()
{
    QTcpSocket* next = server.nextPendingConnection();
    if (!next) {
        return;
    }
    // One client per run: later connections are refused by the system once we stop listening.
    server.close();
    if (socket) {
        next->abort();
        next->deleteLater();
        return;
    }
    socket = next;
    socket->setParent(this);
    connect(socket, &QTcpSocket::readyRead, this, &PeerLink::readIncoming);
    connect(socket, &QTcpSocket::disconnected, this, &PeerLink::onDisconnected);
    transcript.note(
        QStringLiteral("client connected from %1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort()));
    emit clientConnected();
}

bool PeerLink::write(const QByteArray& bytes, Transcript::Form form, const QByteArray& shown, QString& error)
{
    if (!connected()) {
        error = QStringLiteral("the link is not open");
        return false;
    }
    socket->write(bytes);
    socket->flush();
    lastWrite.start();
    transcript.message(Transcript::Direction::Sent, form, shown);
    return true;
}

bool PeerLink::send(const Json::Value& message, QString& error)
{
    const QByteArray text = MainSide::plain(message);
    if (!isKeyed) {
        return write(text, Transcript::Form::Plain, withoutLineFeed(text), error);
    }
    return sendWrapped(text, error);
}

bool PeerLink::sendRaw(const QByteArray& bytes, QString& error)
{
    return write(bytes, Transcript::Form::Raw, bytes, error);
}

bool PeerLink::sendWrapped(const QByteArray& text, QString& error)
{
    const std::optional<QByteArray> wrapped = MainSide::wrap(cipher, text);
    if (!wrapped) {
        error = QStringLiteral("a text of %1 bytes cannot be enciphered (1 to %2 bytes)")
                    .arg(text.size())
                    .arg(SecureUtil::kMaxPlainText);
        return false;
    }
    return write(*wrapped, Transcript::Form::Wrapped, withoutLineFeed(text), error);
}

bool PeerLink::startKeyExchange(const std::optional<std::string>& givenKey, QString& error)
{
    std::string keyText;
    if (givenKey) {
        exchangeKey.reset();
        keyText = *givenKey;
    } else {
        exchangeKey = std::make_unique<PeerKey>();
        keyText = exchangeKey->publicKeyText();
        if (keyText.empty()) {
            exchangeKey.reset();
            error = QStringLiteral("no P-256 key pair could be made");
            return false;
        }
    }
    if (!send(MainSide::keyRequest(keyText), error)) {
        exchangeKey.reset();
        return false;
    }
    awaitingKeyReply = true;
    return true;
}

void PeerLink::close()
{
    if (connected()) {
        closedByUs = true;
        transcript.note(QStringLiteral("closing the connection"));
        socket->disconnectFromHost();
    }
}

qint64 PeerLink::msSinceLastWrite() const
{
    return lastWrite.isValid() ? lastWrite.elapsed() : -1;
}

void PeerLink::readIncoming()
{
    if (!socket) {
        return;
    }
    pending.append(socket->readAll());
    // One message at a time: the key reply switches the form of everything behind it.
    while (!failed && !pending.isEmpty()) {
        QByteArray message;
        const WireSplitter::Outcome outcome = WireSplitter::take(pending, isKeyed, message);
        if (outcome == WireSplitter::Outcome::NeedMore) {
            return;
        }
        if (outcome == WireSplitter::Outcome::Malformed) {
            transcript.message(Transcript::Direction::Received, Transcript::Form::Raw, pending);
            fail(isKeyed ? QStringLiteral("the client sent bytes that are not a wrapped message {\"<base64>\":\"\"}")
                         : QStringLiteral("the client sent bytes that are not a plain message"));
            return;
        }
        handleMessage(message);
    }
}

void PeerLink::handleMessage(const QByteArray& bytes)
{
    const Transcript::Form form = isKeyed ? Transcript::Form::Wrapped : Transcript::Form::Plain;
    const MainSide::Received in = MainSide::read(cipher, bytes, isKeyed);
    switch (in.status) {
    case MainSide::Received::Status::Undecipherable:
        transcript.message(Transcript::Direction::Received, Transcript::Form::Raw, bytes);
        fail(QStringLiteral("the client's wrapped message does not decipher under the link key"));
        return;
    case MainSide::Received::Status::NoLineFeed:
        transcript.message(Transcript::Direction::Received, form, in.text);
        fail(QStringLiteral("the client's deciphered text does not end with a line feed"));
        return;
    case MainSide::Received::Status::NotJson:
        transcript.message(Transcript::Direction::Received, form, withoutLineFeed(in.text));
        fail(QStringLiteral("the client's message is not JSON: ") + QString::fromStdString(in.errors).simplified());
        return;
    case MainSide::Received::Status::Ok:
        break;
    }
    transcript.message(Transcript::Direction::Received, form, withoutLineFeed(in.text));
    if (awaitingKeyReply) {
        handleKeyReply(in.message);
        return;
    }
    emit messageReceived(in.message);
}

void PeerLink::handleKeyReply(const Json::Value& reply)
{
    awaitingKeyReply = false;
    const std::unique_ptr<PeerKey> key = std::move(exchangeKey);
    QString why;
    const std::optional<std::string> clientKey = MainSide::clientKeyOf(reply, why);
    if (!clientKey) {
        fail(why);
        return;
    }
    if (key) {
        // The reply came under the key it replaces; the new one holds from the next message on.
        const bool rekeying = isKeyed;
        if (!key->agreeWith(*clientKey, cipher)) {
            fail(QStringLiteral("the client's key is not a point of P-256"));
            return;
        }
        transcript.note(rekeying ? QStringLiteral("new key agreed; every message after this reply is wrapped under it")
                                 : QStringLiteral("key agreed; every later message is wrapped"));
    } else {
        transcript.note(QStringLiteral("key reply taken; the key text sent was not tavo_peer's own, so its key "
                                       "material stays as it was"));
    }
    isKeyed = true;
    emit keyExchanged();
}

void PeerLink::onDisconnected()
{
    if (ended) {
        return;
    }
    readIncoming();
    ended = true;
    if (!failed && !pending.isEmpty()) {
        transcript.message(Transcript::Direction::Received, Transcript::Form::Raw, pending);
        fail(QStringLiteral("the connection ended in the middle of a message"));
    }
    transcript.note(closedByUs ? QStringLiteral("connection closed")
                               : QStringLiteral("the client ended the connection"));
    emit linkEnded();
}

void PeerLink::fail(const QString& why)
{
    if (failed) {
        return;
    }
    failed = true;
    emit linkFailed(why);
}
