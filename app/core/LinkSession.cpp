#include "LinkSession.h"

#include "Envelope.h"
#include "JsonText.h"
#include "LinkWriter.h"
#include "Protocol.h"

#include <QTcpSocket>
#include <QtDebug>

namespace {

// Long enough for a local peer to take the exit notice, short enough never to hang the exit.
constexpr int kExitNoticeWaitMs = 1000;

Json::Value onlyFrameIndex(int n)
{
    Json::Value message(Json::objectValue);
    message["FrameIndex"] = n;
    return message;
}

// Log text of a value: its compact JSON, one character per byte as the link carries it.
QString compactForLog(const Json::Value& value)
{
    const std::string text = JsonText::writeCompact(value);
    return QString::fromLatin1(text.data(), static_cast<int>(text.size()));
}

// The key agreement's lines go to standard output and, for a program without a console, the log.
void logSecureLine(const std::string& line)
{
    qInfo().noquote() << QString::fromStdString(line);
}

} // namespace

LinkSession::LinkSession(const QHostAddress& linkHost, quint16 linkPort, QObject* parent)
    : QObject(parent), host(linkHost), port(linkPort), linkSocket(new QTcpSocket(this)), cipher(&logSecureLine)
{
    connect(linkSocket, &QTcpSocket::readyRead, this, &LinkSession::readMessage);
    connect(linkSocket, &QTcpSocket::disconnected, this, &LinkSession::disconnected);
}

LinkSession::~LinkSession()
{
    // The socket must not call back into a session that is being torn down.
    linkSocket->disconnect(this);
}

void LinkSession::open()
{
    linkSocket->connectToHost(host, port, QIODevice::ReadWrite);
}

bool LinkSession::isOpen() const
{
    return LinkWriter::isOpen(linkSocket);
}

void LinkSession::send(const Json::Value& message)
{
    LinkWriter::send(linkSocket, message, linkCipher());
}

void LinkSession::acknowledge(int bit)
{
    send(onlyFrameIndex(bit));
}

void LinkSession::sendExitNotice()
{
    if (exitNotice || !isOpen()) {
        return;
    }
    exitNotice = true;
    isClosing = true;
    qInfo("GUI Close Event!! - Exit");
    send(onlyFrameIndex(Protocol::kExitNotice));
    // The event loop ends right after the window closes: the notice must have left by then,
    // even when the peer is slow to take it.
    if (!LinkWriter::drain(linkSocket, kExitNoticeWaitMs)) {
        qWarning() << "Exit notice: the peer took no more within" << kExitNoticeWaitMs << "ms;"
                   << linkSocket->bytesToWrite() << "bytes left unsent";
    }
}

void LinkSession::readMessage()
{
    QByteArray batch;
    while (linkSocket->bytesAvailable() > 0) {
        batch.append(linkSocket->readAll());
    }
    if (batch.isEmpty()) {
        return;
    }
    if (isClosing) {
        qWarning().nospace() << "Message ignored, the program is closing: " << batch.size() << " bytes";
        return;
    }
    const Envelope::Incoming in = Envelope::decodeBatch(batch, linkCipher());
    switch (in.status) {
    case Envelope::Incoming::Status::Undecipherable:
        qCritical().noquote().nospace() << "Failed to parse Json : " << QString::fromStdString(in.errors);
        isClosing = true;
        emit linkFailed();
        return;
    case Envelope::Incoming::Status::NotJson:
        qWarning().noquote() << "Received text is not JSON:" << QString::fromStdString(in.errors);
        break;
    case Envelope::Incoming::Status::BadFrameIndex:
    case Envelope::Incoming::Status::BadText:
    case Envelope::Incoming::Status::Ok:
        break;
    }

    qDebug().noquote().nospace() << "recv root : " << compactForLog(in.message);
    qDebug().noquote().nospace() << "output1 root : " << compactForLog(JsonText::member(in.message, "Info"));

    const int n = in.frameIndex;
    switch (in.status) {
    case Envelope::Incoming::Status::BadFrameIndex:
        qWarning("Message ignored: \"FrameIndex\" is not a 32-bit integer");
        return;
    case Envelope::Incoming::Status::BadText:
        qWarning() << "Notice ignored: \"Info\".\"result\" is not a text; FrameIndex" << n;
        return;
    default:
        break;
    }
    switch (in.route) {
    case Envelope::Route::ScreenUpdate:
        emit screenUpdate(n, in.message);
        return;
    case Envelope::Route::FinalNotice:
        isClosing = true;
        emit finalNotice(in.text);
        return;
    case Envelope::Route::AckNotice:
        emit noticeToAcknowledge(Protocol::BitAckNotice, in.text);
        return;
    case Envelope::Route::KeyInit:
        runKeyInitialisation(in.message);
        return;
    case Envelope::Route::UpdateNotice:
        emit noticeToAcknowledge(Protocol::BitUpdateNotice, QString());
        return;
    case Envelope::Route::ShowScreen:
        emit showScreen(n, JsonText::member(in.message, "Info"));
        return;
    }
}

void LinkSession::runKeyInitialisation(const Json::Value& message)
{
    const std::optional<std::string> peerKey = JsonText::readText(JsonText::member(message, "Info"));
    if (!peerKey) {
        qWarning("Key initialisation ignored: \"Info\" is not a text");
        return;
    }
    // Without a key pair there is nothing to export or agree with; the old keys stay in force.
    if (!cipher.generateKeyPair()) {
        qCritical("Key initialisation failed: no key pair could be generated");
        return;
    }
    Json::Value reply(Json::objectValue);
    reply["initalizeKey"] = cipher.publicKeyText();
    // The reply travels in the form the request came in: plain the first time, and under the
    // old key for a later request, since the peer can compute the new key only from this reply.
    const std::optional<QByteArray> bytes = LinkWriter::encode(reply, linkCipher());
    if (cipher.deriveLinkKey(*peerKey) != 0) {
        qWarning("Key initialisation: the peer key could not be used; key material unchanged");
    }
    if (bytes) {
        LinkWriter::write(linkSocket, *bytes);
    }
    keyed = true;
}
