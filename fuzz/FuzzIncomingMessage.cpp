// Any batch of bytes from the link, in the plain and the keyed state: decoding, the routing
// decision and the reading of the members a route uses must take it without a fault.

#include "Envelope.h"
#include "JsonText.h"
#include "LinkCipher.h"

#include <cstdint>
#include <cstdlib>

namespace {

// RFC 4196's first CBC key and IV, so that wrapped seeds made with it decipher.
const unsigned char kKey[16] = {0xed, 0x24, 0x01, 0xad, 0x22, 0xfa, 0x25, 0x59,
                                0x91, 0xba, 0xfd, 0xb0, 0x1f, 0xef, 0xd6, 0x97};
const unsigned char kIv[16] = {0x93, 0xeb, 0x14, 0x9f, 0x92, 0xc9, 0x90, 0x5b,
                               0xae, 0x5c, 0xd3, 0x4d, 0xa0, 0x6c, 0x3c, 0x8e};

void check(bool promise)
{
    if (!promise) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    LinkCipher cipher;
    cipher.setLinkKeyMaterial(kKey, kIv);
    // The first byte picks the state of the link; the rest is the batch as the socket gave it.
    const bool keyed = data[0] & 1;
    const QByteArray batch(reinterpret_cast<const char*>(data + 1), static_cast<int>(size - 1));
    const Envelope::Incoming in = Envelope::decodeBatch(batch, keyed ? &cipher : nullptr);
    if (in.status != Envelope::Incoming::Status::Ok && in.status != Envelope::Incoming::Status::NotJson) {
        return 0;
    }
    check(in.route == Envelope::routeOf(in.frameIndex));
    (void)JsonText::writeCompact(in.message);
    switch (in.route) {
    case Envelope::Route::FinalNotice:
    case Envelope::Route::AckNotice:
        (void)JsonText::resultText(in.message);
        break;
    case Envelope::Route::KeyInit:
        (void)JsonText::readText(JsonText::member(in.message, "Info"));
        break;
    case Envelope::Route::ShowScreen:
    case Envelope::Route::ScreenUpdate:
    case Envelope::Route::UpdateNotice:
        (void)JsonText::member(in.message, "Info");
        break;
    }
    return 0;
}
