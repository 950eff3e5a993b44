#include "LinkWriter.h"

#include "Envelope.h"
#include "JsonText.h"
#include "LinkCipher.h"

#include <QAbstractSocket>
#include <QElapsedTimer>
#include <QtDebug>

namespace LinkWriter {

std::optional<QByteArray> encode(const Json::Value& message, const LinkCipher* cipher)
{
    const std::string text = JsonText::writeCompact(message);
    if (!cipher) {
        if (text.size() > static_cast<size_t>(kMaxPlainBytes)) {
            qCritical().nospace() << "Message refused: plain text of " << text.size() << " bytes exceeds "
                                  << kMaxPlainBytes;
            return std::nullopt;
        }
        return QByteArray(text.data(), static_cast<int>(text.size()));
    }
    const std::string cipherText = cipher->encryptMessage(text);
    if (cipherText.empty()) {
        qCritical().nospace() << "Message refused: plain text of " << text.size() << " bytes cannot be enciphered";
        return std::nullopt;
    }
    const QByteArray wrapped = Envelope::wrap(cipherText);
    if (wrapped.size() > kMaxWrappedBytes) {
        qCritical().nospace() << "Message refused: wrapped text of " << wrapped.size() << " bytes exceeds "
                              << kMaxWrappedBytes;
        return std::nullopt;
    }
    return wrapped;
}

bool isOpen(const QAbstractSocket* socket)
{
    if (!socket || !socket->isOpen()) {
        return false;
    }
    const auto state = socket->state();
    return state == QAbstractSocket::ConnectedState || state == QAbstractSocket::ConnectingState ||
           state == QAbstractSocket::HostLookupState;
}

bool send(QAbstractSocket* socket, const Json::Value& message, const LinkCipher* cipher)
{
    const std::optional<QByteArray> bytes = encode(message, cipher);
    return bytes && write(socket, *bytes);
}

bool write(QAbstractSocket* socket, const QByteArray& bytes)
{
    if (!isOpen(socket)) {
        qWarning() << "Link not open: message dropped";
        return false;
    }
    socket->write(bytes);
    // Out now rather than on the event loop's next turn: the main program waits for each answer.
    // Not while connecting: a flush then writes to a socket that is not connected yet and ends
    // the connection; Qt sends the buffered bytes itself once it is up.
    if (socket->state() == QAbstractSocket::ConnectedState) {
        socket->flush();
    }
    return true;
}

bool drain(QAbstractSocket* socket, int ms)
{
    if (!socket) {
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    // One wait returns once some bytes have gone; a peer that reads slowly takes several.
    while (socket->bytesToWrite() > 0 && isOpen(socket)) {
        const qint64 left = ms - clock.elapsed();
        if (left <= 0 || !socket->waitForBytesWritten(static_cast<int>(left))) {
            break;
        }
    }
    return socket->bytesToWrite() == 0;
}

} // namespace LinkWriter
