#include "Envelope.h"

#include "JsonText.h"
#include "LinkCipher.h"
#include "LocalText.h"

namespace Envelope {

using namespace Protocol;

Route routeOf(int n)
{
    if (n & BitUpdate) {
        return Route::ScreenUpdate;
    }
    if (n & (BitFinalNotice16 | BitFinalNotice32)) {
        return Route::FinalNotice;
    }
    if (n & BitAckNotice) {
        return Route::AckNotice;
    }
    if (n & BitKeyInit) {
        return Route::KeyInit;
    }
    if (n & BitUpdateNotice) {
        return Route::UpdateNotice;
    }
    return Route::ShowScreen;
}

Incoming decodeBatch(const QByteArray& batch, const LinkCipher* cipher)
{
    Incoming in;
    const int zero = batch.indexOf('\0');
    const QByteArray textBytes = zero < 0 ? batch : batch.left(zero);
    const std::string text(textBytes.constData(), static_cast<size_t>(textBytes.size()));

    Json::Value outer;
    const bool parsed = JsonText::parse(text, outer, in.errors);
    if (!cipher) {
        if (!parsed) {
            in.status = Incoming::Status::NotJson;
        }
        in.message = outer;
    } else {
        // A batch with no member (not an object, or an empty one) has nothing to decipher.
        if (!outer.isObject() || outer.empty()) {
            in.status = Incoming::Status::Undecipherable;
            if (in.errors.empty()) {
                in.errors = "no enciphered member";
            }
            return in;
        }
        const std::string cipherText = outer.getMemberNames().front();
        const std::string plain = cipher->decryptMessage(cipherText);
        if (!JsonText::parse(plain, in.message, in.errors)) {
            in.status = Incoming::Status::Undecipherable;
            return in;
        }
    }

    const std::optional<int> n = JsonText::frameIndexOf(in.message);
    if (!n) {
        in.status = Incoming::Status::BadFrameIndex;
        return in;
    }
    in.frameIndex = *n;
    in.route = routeOf(*n);
    if (in.route == Route::FinalNotice || in.route == Route::AckNotice) {
        const std::optional<std::string> result = JsonText::resultText(in.message);
        if (!result) {
            in.status = Incoming::Status::BadText;
            return in;
        }
        in.text = LocalText::decode(*result);
    }
    return in;
}

QByteArray wrap(const std::string& cipherText)
{
    QByteArray wrapped;
    wrapped.reserve(kWrapHeadBytes + static_cast<int>(cipherText.size()) + kWrapTailBytes);
    return wrapped.append(kWrapHead, kWrapHeadBytes)
        .append(cipherText.data(), static_cast<int>(cipherText.size()))
        .append(kWrapTail, kWrapTailBytes);
}

} // namespace Envelope
