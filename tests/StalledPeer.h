#pragma once

// A main program that is busy elsewhere: it accepts the client on a free loopback port, reads
// nothing until told to, and then everything until the client's end closes. The reading runs
// on a thread of its own, so it goes on while the client's thread sits in a blocking wait.
#include <QByteArray>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <memory>

class StalledPeer : public QTcpServer
{
public:
    ~StalledPeer() override
    {
        if (!reader && descriptor >= 0) {
            QTcpSocket unread;
            unread.setSocketDescriptor(descriptor); // and closes it on the way out
        }
        takeAll();
    }

    bool listenOnFreePort() { return listen(QHostAddress(QHostAddress::LocalHost), 0); }

    bool waitForClient(int ms = 5000)
    {
        return QTest::qWaitFor([this] { return descriptor >= 0; }, ms);
    }

    // Starts taking the client's bytes `delayMs` from now.
    void startReading(int delayMs)
    {
        reader.reset(QThread::create([this, delayMs] {
            QThread::msleep(static_cast<unsigned long>(delayMs));
            QTcpSocket socket;
            if (!socket.setSocketDescriptor(descriptor)) {
                return;
            }
            // Ends when the client has closed its end, or has sent nothing for a long while.
            while (socket.waitForReadyRead(5000)) {
                received.append(socket.readAll());
            }
            received.append(socket.readAll());
        }));
        reader->start();
    }

    // Everything read, once the reading has ended.
    QByteArray takeAll()
    {
        if (reader) {
            reader->wait();
        }
        return received;
    }

protected:
    void incomingConnection(qintptr socketDescriptor) override { descriptor = socketDescriptor; }

private:
    std::atomic<qintptr> descriptor{-1};
    std::unique_ptr<QThread> reader;
    QByteArray received;
};
