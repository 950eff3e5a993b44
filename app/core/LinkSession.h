#pragma once

#include "JsonMetaType.h"
#include "LinkCipher.h"

#include <json/value.h>

#include <QHostAddress>
#include <QObject>
#include <QString>

class QTcpSocket;

// The client's end of the local link: the socket, the reading and decoding of what the main
// program writes, where each message goes, the key set-up and every write. It holds no widget:
// the main window shows what the session reports and tells it what the user answered.
class LinkSession : public QObject
{
    Q_OBJECT

public:
    // The program connects to 127.0.0.1:15201; a test gives a port of its own.
    LinkSession(const QHostAddress& host, quint16 port, QObject* parent = nullptr);
    ~LinkSession() override;

    // Starts connecting; never waits.
    void open();

    // Whether the key-initialisation reply has been sent: from then on both ways are wrapped.
    bool isKeyed() const { return keyed; }
    // Connected, or still connecting (the socket keeps what is written meanwhile).
    bool isOpen() const;
    QTcpSocket* socket() const { return linkSocket; }

    // One message in the form the link is in now; one that cannot go is logged and dropped.
    void send(const Json::Value& message);
    // {"FrameIndex": bit}, the answer to a notice once the user has dismissed its box.
    void acknowledge(int bit);

    // The exit notice, at most once per session and only while the link is open; it has left
    // for the peer (or a bounded wait has run out) when this returns.
    void sendExitNotice();

signals:
    // Bit 64: for the screen on show.
    void screenUpdate(int frameIndex, const Json::Value& message);
    // Any other number: the screen to show, with its start data.
    void showScreen(int frameIndex, const Json::Value& info);
    // Bits 16 or 32: show the text; the program closes once it is dismissed.
    void finalNotice(const QString& text);
    // Bit 256 (with the main program's text) or 1024 (text empty: the window's own); answer
    // with acknowledge(bit) once dismissed.
    void noticeToAcknowledge(int bit, const QString& text);
    // Once keyed, a message that does not decipher to JSON: the link can no longer be trusted.
    void linkFailed();
    void disconnected();

private:
    void readMessage();
    void runKeyInitialisation(const Json::Value& message);
    // The cipher both ways once keyed; none before, while the link is plain.
    const LinkCipher* linkCipher() const { return keyed ? &cipher : nullptr; }

    const QHostAddress host;
    const quint16 port;
    QTcpSocket* linkSocket = nullptr;
    // This link's key, IV and own key pair: a new session starts unkeyed, with all zero.
    LinkCipher cipher;
    bool keyed = false;
    // From the first final notice or undecipherable message on, the program is closing: later
    // messages are logged and not acted on.
    bool isClosing = false;
    bool exitNotice = false;
};
