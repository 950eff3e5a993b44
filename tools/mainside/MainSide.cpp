#include "MainSide.h"

#include "Envelope.h"
#include "JsonText.h"
#include "LinkCipher.h"
#include "Protocol.h"
#include "SecureUtil.h"

namespace {

constexpr size_t kKeyTextLength = 88;
constexpr size_t kUncompressedPoint = 65;

} // namespace

namespace MainSide {

QByteArray plain(const Json::Value& message)
{
    return QByteArray::fromStdString(JsonText::writeCompact(message));
}

std::optional<QByteArray> wrap(const LinkCipher& cipher, const QByteArray& text)
{
    if (text.isEmpty() || static_cast<size_t>(text.size()) > SecureUtil::kMaxPlainText) {
        return std::nullopt;
    }
    const std::string cipherText = cipher.encryptMessage(text.toStdString());
    if (cipherText.empty()) {
        return std::nullopt;
    }
    return Envelope::wrap(cipherText);
}

std::string unwrap(const LinkCipher& cipher, const QByteArray& message)
{
    const int wrapBytes = Protocol::kWrapHeadBytes + Protocol::kWrapTailBytes;
    if (message.size() < wrapBytes) {
        return {};
    }
    return cipher.decryptMessage(message.mid(Protocol::kWrapHeadBytes, message.size() - wrapBytes).toStdString());
}

Received read(const LinkCipher& cipher, const QByteArray& message, bool wrapped)
{
    Received out;
    if (!wrapped) {
        out.text = message;
    } else {
        const std::string text = unwrap(cipher, message);
        if (text.empty()) {
            out.status = Received::Status::Undecipherable;
            return out;
        }
        out.text = QByteArray::fromStdString(text);
        if (!out.text.endsWith('\n')) {
            out.status = Received::Status::NoLineFeed;
            return out;
        }
    }
    if (!JsonText::parse(out.text.toStdString(), out.message, out.errors)) {
        out.status = Received::Status::NotJson;
    }
    return out;
}

Json::Value keyRequest(const std::string& keyText)
{
    Json::Value request(Json::objectValue);
    request["FrameIndex"] = Protocol::BitKeyInit;
    request["Info"] = keyText;
    return request;
}

std::optional<std::string> clientKeyOf(const Json::Value& reply, QString& why)
{
    if (!reply.isObject() || reply.size() != 1 || !reply.isMember("initalizeKey")) {
        why = QStringLiteral("the key reply must be an object whose only member is \"initalizeKey\"");
        return std::nullopt;
    }
    const Json::Value& value = reply["initalizeKey"];
    if (!value.isString()) {
        why = QStringLiteral("\"initalizeKey\" must be a text");
        return std::nullopt;
    }
    std::string clientKey = value.asString();
    if (clientKey.size() != kKeyTextLength) {
        why =
            QStringLiteral("the client's key text has %1 characters, not %2").arg(clientKey.size()).arg(kKeyTextLength);
        return std::nullopt;
    }
    const std::optional<std::vector<unsigned char>> point = SecureUtil::base64Decode(clientKey);
    if (!point || point->size() != kUncompressedPoint || point->front() != 0x04) {
        why = QStringLiteral("the client's key text is not an uncompressed point (65 bytes, the first 0x04)");
        return std::nullopt;
    }
    return clientKey;
}

bool isExitNotice(const Json::Value& message)
{
    if (!message.isObject() || message.size() != 1) {
        return false;
    }
    // jsoncpp counts 4496.0 as integral too, as the scenarios' comparison does.
    const Json::Value& frameIndex = JsonText::member(message, "FrameIndex");
    return frameIndex.isIntegral() && frameIndex.isInt64() && frameIndex.asInt64() == Protocol::kExitNotice;
}

} // namespace MainSide
