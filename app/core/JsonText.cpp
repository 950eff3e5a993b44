#include "JsonText.h"

#include <json/reader.h>
#include <json/writer.h>

#include <limits>
#include <memory>
#include <sstream>

namespace {

// Deep enough for every real message, shallow enough that hostile nesting cannot exhaust the stack.
constexpr int kStackLimit = 64;

const Json::Value& nullValue()
{
    static const Json::Value value;
    return value;
}

} // namespace

namespace JsonText {

std::string writeCompact(const Json::Value& value)
{
    static const std::unique_ptr<Json::StreamWriter> writer = [] {
        Json::StreamWriterBuilder builder;
        builder["indentation"] = "";
        builder["commentStyle"] = "None";
        // FastWriter escapes bytes outside ASCII and garbles CP949; the peer expects them raw.
        builder["emitUTF8"] = true;
        return std::unique_ptr<Json::StreamWriter>(builder.newStreamWriter());
    }();
    std::ostringstream out;
    try {
        writer->write(value, &out);
    } catch (const std::exception&) {
        return "null\n";
    }
    out << '\n';
    return out.str();
}

bool parse(const std::string& text, Json::Value& out, std::string& errors)
{
    static const std::unique_ptr<Json::CharReader> reader = [] {
        Json::CharReaderBuilder builder;
        builder["allowComments"] = true;
        builder["stackLimit"] = kStackLimit;
        builder["failIfExtra"] = false;
        return std::unique_ptr<Json::CharReader>(builder.newCharReader());
    }();
    out = Json::Value();
    errors.clear();
    bool ok = false;
    try {
        ok = reader->parse(text.data(), text.data() + text.size(), &out, &errors);
    } catch (const std::exception& e) {
        errors = e.what();
        ok = false;
    }
    if (!ok) {
        out = Json::Value();
    }
    return ok;
}

std::optional<int> readInt(const Json::Value& value)
{
    switch (value.type()) {
    case Json::nullValue:
        return 0;
    case Json::booleanValue:
        return value.asBool() ? 1 : 0;
    case Json::intValue:
    case Json::uintValue:
        if (value.isInt()) {
            return value.asInt();
        }
        return std::nullopt;
    case Json::realValue: {
        const double real = value.asDouble();
        // Written so that NaN fails the test too.
        if (real >= std::numeric_limits<int>::min() && real <= std::numeric_limits<int>::max()) {
            return static_cast<int>(real);
        }
        return std::nullopt;
    }
    case Json::stringValue:
    case Json::arrayValue:
    case Json::objectValue:
        break;
    }
    return std::nullopt;
}

std::optional<std::string> readText(const Json::Value& value)
{
    if (value.isString()) {
        return value.asString();
    }
    if (value.isNull()) {
        return std::string();
    }
    if (value.isBool() || value.isNumeric()) {
        try {
            return value.asString();
        } catch (const std::exception&) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

const Json::Value& member(const Json::Value& object, const char* name)
{
    if (!object.isObject()) {
        return nullValue();
    }
    const Json::Value* found = object.find(name, name + std::char_traits<char>::length(name));
    return found ? *found : nullValue();
}

std::optional<int> frameIndexOf(const Json::Value& message)
{
    if (!message.isObject() && !message.isNull()) {
        return std::nullopt;
    }
    return readInt(member(message, "FrameIndex"));
}

std::optional<std::string> resultText(const Json::Value& message)
{
    const Json::Value& info = member(message, "Info");
    if (!info.isObject() && !info.isNull()) {
        return std::nullopt;
    }
    return readText(member(info, "result"));
}

std::optional<bool> toBool(const Json::Value& value)
{
    if (value.isNull() || value.isBool() || value.isNumeric()) {
        return value.asBool();
    }
    return std::nullopt;
}

std::optional<float> toFloat(const Json::Value& value)
{
    if (value.isNull() || value.isBool() || value.isNumeric()) {
        return value.asFloat();
    }
    return std::nullopt;
}

} // namespace JsonText
