// The yardstick for TAVO_DSK's start-up: the least a Qt Widgets program can do of the same job,
// a 900 x 600 window and a connection to the link's port. It ends when the peer closes the
// connection, and with status 1 when it cannot connect or nothing ends it within --limit-ms.

#include <QApplication>
#include <QTcpSocket>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

constexpr int kWidth = 900;
constexpr int kHeight = 600;

bool readNumber(const char* text, int& out)
{
    bool ok = false;
    const int value = QByteArray(text).toInt(&ok);
    if (ok && value > 0) {
        out = value;
    }
    return ok && value > 0;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int port = 15201;
    int limitMs = 60000;
    for (int i = 1; i < argc; ++i) {
        const QByteArray name(argv[i]);
        const bool known = (name == "--port" || name == "--limit-ms") && i + 1 < argc;
        if (!known || !readNumber(argv[++i], name == "--port" ? port : limitMs)) {
            std::fprintf(stderr, "usage: tavo_bench_minimal_gui [--port N] [--limit-ms MS]\n");
            return 2;
        }
    }

    int status = 0;
    QTcpSocket socket;
    QObject::connect(&socket, &QTcpSocket::disconnected, &app, &QApplication::quit);
    QObject::connect(&socket, &QAbstractSocket::errorOccurred, &app, [&](QAbstractSocket::SocketError error) {
        if (error != QAbstractSocket::RemoteHostClosedError) {
            std::fprintf(stderr, "tavo_bench_minimal_gui: %s\n", qPrintable(socket.errorString()));
            status = 1;
            app.quit();
        }
    });
    QTimer::singleShot(limitMs, &app, [&] {
        std::fprintf(stderr, "tavo_bench_minimal_gui: the connection did not end within %d ms\n", limitMs);
        status = 1;
        app.quit();
    });
    // Connect first, then show, in the order the client does.
    socket.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(port));

    QWidget window;
    window.resize(kWidth, kHeight);
    window.show();
    const int code = app.exec();
    return status != 0 ? status : code;
}
