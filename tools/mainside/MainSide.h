#pragma once

#include <json/value.h>

#include <QByteArray>
#include <QString>

#include <optional>
#include <string>

// The main program's end of the local link, written once for every stand-in that plays it
// (tavo_peer, the tests' peer, the benchmarks): the bytes it writes, how it reads what the
// client wrote, and its checks of the key reply and the exit notice. Enciphering uses the
// module's link key, so a peer in the client's own process shares the client's key.
namespace MainSide {

// Compact JSON, members sorted, raw bytes, and the line feed.
QByteArray plain(const Json::Value& message);

// {"<base64 of SEED-CBC>":""} around any text, JSON or not; nothing when the text cannot be
// enciphered (empty, or longer than SecureUtil::kMaxPlainText).
std::optional<QByteArray> wrap(const QByteArray& text);

// The deciphered text of a wrapped message; empty when it does not decipher.
std::string unwrap(const QByteArray& message);

struct Received
{
    enum class Status
    {
        Ok,
        Undecipherable, // wrapped, and no text under the link key
        NoLineFeed,     // deciphered, but the text does not end as the client ends every text
        NotJson,
    };
    Status status = Status::Ok;
    QByteArray text;     // plain text, line feed included; deciphered when the message was wrapped
    Json::Value message; // null unless Ok
    std::string errors;  // NotJson: what the reader said
};

// One message as WireSplitter took it off the wire.
Received read(const QByteArray& message, bool wrapped);

// The key-initialisation request carrying `keyText`.
Json::Value keyRequest(const std::string& keyText);

// The client's key text from its key reply, which must be an object whose only member
// "initalizeKey" holds the base64 of an uncompressed point; nothing, with the reason, otherwise.
// Whether the point is on the curve is the agreement's business.
std::optional<std::string> clientKeyOf(const Json::Value& reply, QString& why);

// {"FrameIndex":4496} and nothing else, the number compared by value.
bool isExitNotice(const Json::Value& message);

} // namespace MainSide
