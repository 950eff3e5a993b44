#pragma once

#include <QByteArray>

// Cuts what the client wrote into messages. The link has no framing, but the client's own
// forms delimit themselves: a plain message ends with its line feed, a wrapped one is
// {"<base64>":""}. Reads that join or split messages are therefore taken apart here.
namespace WireSplitter {

enum class Outcome
{
    Message,  // `message` holds the first message, taken off the front of the buffer
    NeedMore, // the buffer holds the start of a message, or nothing
    Malformed // the buffer does not start with a message in the expected form
};

Outcome take(QByteArray& buffer, bool wrapped, QByteArray& message);

} // namespace WireSplitter
