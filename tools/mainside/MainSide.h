#pragma once

#include <json/value.h>

#include <QByteArray>
#include <QString>

#include <optional>
#include <string>

class LinkCipher;

// The main program's end of the local link, written once for every stand-in that plays it
// (tavo_peer, the tests' peer, the benchmarks): the bytes it writes, how it reads what the
// client wrote, and its checks of the key reply and the exit notice. Each stand-in keeps the
// key it agreed in a cipher of its own and hands it in, as a main program keeps its own.
namespace MainSide {

// Compact JSON, members sorted, raw bytes, and the line feed.
QByteArray plain(const Json::Value& message);

// {"<base64 of SEED-CBC under `cipher`>":""} around any text, JSON or not; nothing when the text
// cannot be enciphered (empty, or longer than SecureUtil::kMaxPlainText).
std::optional<QByteArray> wrap(const LinkCipher& cipher, const QByteArray& text);

// The deciphered text of a wrapped message; empty when it does not decipher under `cipher`.
std::string unwrap(const LinkCipher& cipher, const QByteArray& message);

struct Received
{
    enum class Status
    {
        Ok,
        Undecipherable, // wrapped, and no text under the peer's key
        NoLineFeed,     // deciphered, but the text does not end as the client ends every text
        NotJson,
    };
    Status status = Status::Ok;
    QByteArray text;     // plain text, line feed included; deciphered when the message was wrapped
    Json::Value message; // null unless Ok
    std::string errors;  // NotJson: what the reader said
};

// One message as WireSplitter took it off the wire; a wrapped one is deciphered under `cipher`.
Received read(const LinkCipher& cipher, const QByteArray& message, bool wrapped);

// The key-initialisation request carrying `keyText`.
Json::Value keyRequest(const std::string& keyText);

// The client's key text from its key reply, which must be an object whose only member
// "initalizeKey" holds the base64 of an uncompressed point; nothing, with the reason, otherwise.
// Whether the point is on the curve is the agreement's business.
std::optional<std::string> clientKeyOf(const Json::Value& reply, QString& why);

// {"FrameIndex":4496} and nothing else, the number compared by value.
bool isExitNotice(const Json::Value& message);

} // namespace MainSide
