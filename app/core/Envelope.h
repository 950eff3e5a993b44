#pragma once

#include "Protocol.h"

#include <json/value.h>

#include <QByteArray>
#include <QString>

#include <string>

class LinkCipher;

// Decoding of one incoming batch of link bytes and the routing of a message by "FrameIndex".
namespace Envelope {

enum class Route
{
    ScreenUpdate, // bit 64: to the screen on show
    FinalNotice,  // bits 16 or 32: box, then close
    AckNotice,    // bit 256: box, then acknowledge
    KeyInit,      // bit 512: key agreement
    UpdateNotice, // bit 1024: fixed box, then acknowledge
    ShowScreen,   // anything else: a screen number
};

// The first matching row decides, so a value with several flag bits takes the earliest.
Route routeOf(int frameIndex);

// A message as it was read, once: what the session routes on and what it shows.
struct Incoming
{
    enum class Status
    {
        Ok,
        NotJson,        // plain text that does not parse: handled as a null message
        Undecipherable, // keyed, and no JSON could be recovered: the integrity error
        BadFrameIndex,  // "FrameIndex" is not a 32-bit integer: ignored
        BadText,        // a notice whose "Info"."result" is not a text: ignored
    };
    Status status = Status::Ok;
    Json::Value message;
    int frameIndex = 0;
    Route route = Route::ShowScreen;
    // A notice's "Info"."result", decoded from the local code page.
    QString text;
    std::string errors;
};

// Everything after the first zero byte of a batch is ignored. Once keyed (a cipher given), the
// first member name is the base64 ciphertext of the real message under that cipher.
Incoming decodeBatch(const QByteArray& batch, const LinkCipher* cipher);

// {"<cipherText>":""}, the wrapped form of a message.
QByteArray wrap(const std::string& cipherText);

} // namespace Envelope
