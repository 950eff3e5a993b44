#include "LinkSession.h"

#include "AppState.h"
#include "Envelope.h"
#include "JsonText.h"
#include "LinkWriter.h"
#include "LocalText.h"
#include "Protocol.h"
#include "SecureUtil.h"

#include <QTcpSocket>
#include <QtDebug>

namespace {

// Long enough for a local peer to take the exit notice, short enough never to hang the exit.
constexpr int kExitNoticeWaitMs = 1000;

QHostAddress& endpointHostSetting()
{
    static QHostAddress host(QHostAddress::LocalHost);
    return host;
}

quint16& endpointPortSetting()
{
    static quint16 port = Protocol::kLinkPort;
    return port;
}

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

void LinkSession::setEndpoint(const QHostAddress& host, quint16 port)
{
    endpointHostSetting() = host;
    endpointPortSetting() = port;
}

LinkSession::LinkSession(QObject* parent) : QObject(parent), linkSocket(new QTcpSocket(this))
{
    SecureUtil::setLineSink(&logSecureLine);
    connect(linkSocket.data(), &QTcpSocket::readyRead, this, &LinkSession::readMessage);
    connect(linkSocket.data(), &QTcpSocket::disconnected, this, &LinkSession::disconnected);
}

LinkSession::~LinkSession()
{
    // The socket must not call back into a session that is being torn down.
    linkSocket->disconnect(this);
}

void LinkSession::open()
{
    linkSocket->connectToHost(endpointHostSetting(), endpointPortSetting(), QIODevice::ReadWrite);
}

bool LinkSession::send(const Json::Value& message)
{
    return LinkWriter::send(linkSocket.data(), message);
}

void LinkSession::acknowledge(int bit)
{
    send(onlyFrameIndex(bit));
}

void LinkSession::sendExitNotice()
{
    if (exitNotice || !LinkWriter::isOpen(linkSocket.data())) {
        return;
    }
    exitNotice = true;
    isClosing = true;
    qInfo("GUI Close Event!! - Exit");
    send(onlyFrameIndex(Protocol::kExitNotice));
    // The event loop ends right after the window closes: the notice must have left by then,
    // even when the peer is slow to take it.
    if (!LinkWriter::drain(linkSocket.data(), kExitNoticeWaitMs)) {
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
    // QAbstractSocket never emits readyRead while one of its readyRead slots is still running.
    // Handling the batch after this slot returns lets messages that arrive while a box waits
    // be read and handled inside that wait, instead of sitting unread in the socket.
    QMetaObject::invokeMethod(
        this, [this, batch] { handleBatch(batch); }, Qt::QueuedConnection);
}

void LinkSession::handleBatch(const QByteArray& batch)
{
    if (isClosing) {
        qWarning().nospace() << "Message ignored, the program is closing: " << batch.size() << " bytes";
        return;
    }
    const Envelope::Incoming in = Envelope::decodeBatch(batch, AppState::keyEstablished());
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
    case Envelope::Incoming::Status::Ok:
        break;
    }

    qDebug().noquote().nospace() << "recv root : " << compactForLog(in.message);
    qDebug().noquote().nospace() << "output1 root : " << compactForLog(JsonText::member(in.message, "Info"));

    if (in.status == Envelope::Incoming::Status::BadFrameIndex) {
        qWarning("Message ignored: \"FrameIndex\" is not a 32-bit integer");
        return;
    }
    route(in.message, in.frameIndex);
}

void LinkSession::route(const Json::Value& message, int n)
{
    switch (Envelope::routeOf(n)) {
    case Envelope::Route::ScreenUpdate:
        emit screenUpdate(n, message);
        return;
    case Envelope::Route::FinalNotice:
    case Envelope::Route::AckNotice: {
        const std::optional<std::string> result = JsonText::resultText(message);
        if (!result) {
            qWarning() << "Notice ignored: \"Info\".\"result\" is not a text; FrameIndex" << n;
            return;
        }
        if (Envelope::routeOf(n) == Envelope::Route::FinalNotice) {
            isClosing = true;
            emit finalNotice(LocalText::decode(*result));
        } else {
            emit noticeToAcknowledge(Protocol::BitAckNotice, LocalText::decode(*result));
        }
        return;
    }
    case Envelope::Route::KeyInit:
        runKeyInitialisation(message);
        return;
    case Envelope::Route::UpdateNotice:
        emit noticeToAcknowledge(Protocol::BitUpdateNotice, QString());
        return;
    case Envelope::Route::ShowScreen:
        emit showScreen(n, JsonText::member(message, "Info"));
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
    if (!SecureUtil::generateKeyPair()) {
        qCritical("Key initialisation failed: no key pair could be generated");
        return;
    }
    Json::Value reply(Json::objectValue);
    reply["initalizeKey"] = SecureUtil::publicKeyText();
    // The reply travels in the form the request came in: plain the first time, and under the
    // old key for a later request, since the peer can compute the new key only from this reply.
    const std::optional<QByteArray> bytes = LinkWriter::encode(reply);
    if (SecureUtil::deriveLinkKey(*peerKey) != 0) {
        qWarning("Key initialisation: the peer key could not be used; key material unchanged");
    }
    if (bytes) {
        LinkWriter::write(linkSocket.data(), *bytes);
    }
    AppState::setKeyEstablished(true);
}
