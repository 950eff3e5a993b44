// The bare side of the round-trip comparison: connects to the bench peer like the client does,
// answers its key request, then answers every update with {"FrameIndex":8}, using the client's
// own codec (Envelope::decodeBatch, LinkWriter::encode) but no event loop, no window and no log file.
// Like the client, it leaves Nagle's algorithm on and takes each read as one message.

#include "BenchFailure.h"
#include "BenchOptions.h"
#include "Envelope.h"
#include "JsonText.h"
#include "LinkCipher.h"
#include "LinkWriter.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QByteArray>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

namespace {

constexpr int kUpdateAccepted = 8;
constexpr size_t kReadChunk = 65536;

std::string systemError(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

// Closes the socket on every way out of main.
struct Connection
{
    int fd = -1;
    ~Connection()
    {
        if (fd >= 0) {
            close(fd);
        }
    }
};

int connectTo(std::uint16_t port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        throw BenchFailure(BenchFailure::Setup, systemError("socket"));
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const std::string why = systemError("cannot connect to 127.0.0.1:" + std::to_string(port));
        close(fd);
        throw BenchFailure(BenchFailure::NoConnection, why);
    }
    return fd;
}

void writeAll(int fd, const QByteArray& bytes)
{
    int done = 0;
    while (done < bytes.size()) {
        const ssize_t n = send(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            throw BenchFailure(BenchFailure::Failed, systemError("write"));
        }
        done += static_cast<int>(n);
    }
}

// The echo's end of the link: its socket, its key and whether the key agreement is done.
struct Echo
{
    int fd = -1;
    bool keyed = false;
    LinkCipher cipher;
    const LinkCipher* linkCipher() const { return keyed ? &cipher : nullptr; }
};

void send(const Echo& echo, const Json::Value& message)
{
    const std::optional<QByteArray> bytes = LinkWriter::encode(message, echo.linkCipher());
    if (!bytes) {
        throw BenchFailure(BenchFailure::Failed, "a reply could not be encoded");
    }
    writeAll(echo.fd, *bytes);
}

// The client's key initialisation, without its log lines.
void answerKeyRequest(Echo& echo, const Json::Value& message)
{
    const std::optional<std::string> peerKey = JsonText::readText(JsonText::member(message, "Info"));
    if (!peerKey || !echo.cipher.generateKeyPair()) {
        throw BenchFailure(BenchFailure::Failed, "the key request cannot be answered");
    }
    const std::string ownKey = echo.cipher.publicKeyText();
    if (echo.cipher.deriveLinkKey(*peerKey) != 0) {
        throw BenchFailure(BenchFailure::Failed, "the peer's key is unusable");
    }
    Json::Value reply(Json::objectValue);
    reply["initalizeKey"] = ownKey;
    send(echo, reply);
    echo.keyed = true;
}

// What the integrity-check screen does with an update.
void answerUpdate(const Echo& echo, const Json::Value& message)
{
    const Json::Value& update = JsonText::member(JsonText::member(message, "Info"), "Update");
    if (!update.isBool() || !update.asBool()) {
        throw BenchFailure(BenchFailure::Failed, "an update without \"Update\":true came");
    }
    Json::Value reply(Json::objectValue);
    reply["FrameIndex"] = kUpdateAccepted;
    send(echo, reply);
}

void handleBatch(Echo& echo, const QByteArray& batch)
{
    const Envelope::Incoming in = Envelope::decodeBatch(batch, echo.linkCipher());
    if (in.status != Envelope::Incoming::Status::Ok) {
        throw BenchFailure(BenchFailure::Failed, "a message that does not decode came: " + in.errors);
    }
    switch (in.route) {
    case Envelope::Route::KeyInit:
        answerKeyRequest(echo, in.message);
        return;
    case Envelope::Route::ScreenUpdate:
        answerUpdate(echo, in.message);
        return;
    default:
        throw BenchFailure(BenchFailure::Failed,
                           "an unexpected message came: FrameIndex " + std::to_string(in.frameIndex));
    }
}

void run(int argc, char** argv)
{
    const BenchOptions options(argc, argv, "The bare loopback echo tavo_bench_link measures the client against.",
                               {{"--port", std::to_string(Protocol::kLinkPort), "the bench peer's port"},
                                {"--idle-ms", "30000", "give up after this long without a message"}});
    const int port = options.number("--port", 1);
    const int idleMs = options.number("--idle-ms", 1);
    Connection link;
    link.fd = connectTo(static_cast<std::uint16_t>(port));
    Echo echo;
    echo.fd = link.fd;

    char chunk[kReadChunk];
    while (true) {
        pollfd p{link.fd, POLLIN, 0};
        const int ready = poll(&p, 1, idleMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            throw BenchFailure(BenchFailure::Failed, systemError("poll"));
        }
        if (ready == 0) {
            throw BenchFailure(BenchFailure::Failed, "no message for " + std::to_string(idleMs) + " ms");
        }
        const ssize_t n = read(link.fd, chunk, sizeof chunk);
        if (n == 0) {
            return; // the peer closed the connection: the run is over
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            throw BenchFailure(BenchFailure::Failed, systemError("read"));
        }
        handleBatch(echo, QByteArray(chunk, static_cast<int>(n)));
    }
}

} // namespace

int main(int argc, char** argv)
{
    return runBenchmark("tavo_bench_echo", [&] { run(argc, argv); });
}
