#include "PeerLink.h"

#include "JsonDiff.h"
#include "JsonText.h"
#include "PeerKey.h"
#include "SecureUtil.h"
#include "WireSplitter.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace {

constexpr int kKeyRequest = 512;
constexpr int kKeyTextLength = 88;
constexpr size_t kUncompressedPoint = 65;

QByteArray withoutLineFeed(const std::string& text)
{
    QByteArray bytes = QByteArray::fromStdString(text);
    if (bytes.endsWith('\n')) {
        bytes.chop(1);
    }
    return bytes;
}

} // namespace

bool PeerLink::isExitNotice(const Json::Value& message)
{
    Json::Value notice(Json::objectValue);
    notice["FrameIndex"] = kExitNotice;
    return JsonDiff::differences(notice, message).isEmpty();
}

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
    const std::string text = JsonText::writeCompact(message);
    if (!isKeyed) {
        return write(QByteArray::fromStdString(text), Transcript::Form::Plain, withoutLineFeed(text), error);
    }
    return sendWrapped(QByteArray::fromStdString(text), error);
}

bool PeerLink::sendRaw(const QByteArray& bytes, QString& error)
{
    return write(bytes, Transcript::Form::Raw, bytes, error);
}

bool PeerLink::sendWrapped(const QByteArray& text, QString& error)
{
    if (text.isEmpty() || static_cast<size_t>(text.size()) > SecureUtil::kMaxPlainText) {
        error = QStringLiteral("a text of %1 bytes cannot be enciphered (1 to %2 bytes)")
                    .arg(text.size())
                    .arg(SecureUtil::kMaxPlainText);
        return false;
    }
    const std::string cipherText = SecureUtil::encryptMessage(text.toStdString());
    const QByteArray wrapped = "{\"" + QByteArray::fromStdString(cipherText) + "\":\"\"}";
    QByteArray shown = text;
    if (shown.endsWith('\n')) {
        shown.chop(1);
    }
    return write(wrapped, Transcript::Form::Wrapped, shown, error);
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
    Json::Value request(Json::objectValue);
    request["FrameIndex"] = kKeyRequest;
    request["Info"] = keyText;
    if (!send(request, error)) {
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
    std::string text;
    Transcript::Form form = Transcript::Form::Plain;
    if (!isKeyed) {
        text = bytes.toStdString();
    } else {
        form = Transcript::Form::Wrapped;
        const QByteArray cipherText = bytes.mid(2, bytes.size() - 7);
        text = SecureUtil::decryptMessage(cipherText.toStdString());
        if (text.empty()) {
            transcript.message(Transcript::Direction::Received, Transcript::Form::Raw, bytes);
            fail(QStringLiteral("the client's wrapped message does not decipher under the link key"));
            return;
        }
        if (text.back() != '\n') {
            transcript.message(Transcript::Direction::Received, form, QByteArray::fromStdString(text));
            fail(QStringLiteral("the client's deciphered text does not end with a line feed"));
            return;
        }
    }
    transcript.message(Transcript::Direction::Received, form, withoutLineFeed(text));

    Json::Value message;
    std::string errors;
    if (!JsonText::parse(text, message, errors)) {
        fail(QStringLiteral("the client's message is not JSON: ") + QString::fromStdString(errors).simplified());
        return;
    }
    if (awaitingKeyReply) {
        handleKeyReply(message);
        return;
    }
    emit messageReceived(message);
}

void PeerLink::handleKeyReply(const Json::Value& reply)
{
    awaitingKeyReply = false;
    const std::unique_ptr<PeerKey> key = std::move(exchangeKey);
    if (!reply.isObject() || reply.size() != 1 || !reply.isMember("initalizeKey")) {
        fail(QStringLiteral("the key reply must be an object whose only member is \"initalizeKey\""));
        return;
    }
    const Json::Value& value = reply["initalizeKey"];
    if (!value.isString()) {
        fail(QStringLiteral("\"initalizeKey\" must be a text"));
        return;
    }
    const std::string clientKey = value.asString();
    if (clientKey.size() != static_cast<size_t>(kKeyTextLength)) {
        fail(QStringLiteral("the client's key text has %1 characters, not %2")
                 .arg(clientKey.size())
                 .arg(kKeyTextLength));
        return;
    }
    const std::optional<std::vector<unsigned char>> point = SecureUtil::base64Decode(clientKey);
    if (!point || point->size() != kUncompressedPoint || point->front() != 0x04) {
        fail(QStringLiteral("the client's key text is not an uncompressed point (65 bytes, the first 0x04)"));
        return;
    }
    if (key) {
        if (!key->agreeWith(clientKey)) {
            fail(QStringLiteral("the client's key is not a point of P-256"));
            return;
        }
        transcript.note(QStringLiteral("key agreed; every later message is wrapped"));
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
