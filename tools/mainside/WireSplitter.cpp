#include "WireSplitter.h"

#include "Protocol.h"

namespace {

bool isBase64(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/' ||
           c == '=';
}

} // namespace

namespace WireSplitter {

Outcome take(QByteArray& buffer, bool wrapped, QByteArray& message)
{
    message.clear();
    if (buffer.isEmpty()) {
        return Outcome::NeedMore;
    }
    if (!wrapped) {
        const int end = buffer.indexOf('\n');
        if (end < 0) {
            return Outcome::NeedMore;
        }
        message = buffer.left(end + 1);
        buffer.remove(0, end + 1);
        return Outcome::Message;
    }

    const QByteArray head = QByteArray::fromRawData(Protocol::kWrapHead, Protocol::kWrapHeadBytes);
    const QByteArray tail = QByteArray::fromRawData(Protocol::kWrapTail, Protocol::kWrapTailBytes);
    // Every byte is checked as it comes, so a bad byte is reported at once, not after a timeout.
    int i = 0;
    for (; i < head.size(); ++i) {
        if (i == buffer.size()) {
            return Outcome::NeedMore;
        }
        if (buffer.at(i) != head.at(i)) {
            return Outcome::Malformed;
        }
    }
    while (i < buffer.size() && isBase64(buffer.at(i))) {
        ++i;
    }
    for (int t = 0; t < tail.size(); ++t, ++i) {
        if (i == buffer.size()) {
            return Outcome::NeedMore;
        }
        if (buffer.at(i) != tail.at(t)) {
            return Outcome::Malformed;
        }
    }
    message = buffer.left(i);
    buffer.remove(0, i);
    return Outcome::Message;
}

} // namespace WireSplitter
