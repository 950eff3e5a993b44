#pragma once

#include <json/value.h>

#include <optional>
#include <string>

// Reading and writing the JSON text of link messages. Nothing here throws: jsoncpp's
// exceptions must never reach Qt's event loop.
namespace JsonText {

// Compact text with the members sorted, raw bytes outside ASCII and a line feed at the end.
std::string writeCompact(const Json::Value& value);

// Parses the first JSON value of the text (comments allowed, nesting bounded). On failure
// `out` is null and `errors` holds the reader's messages.
bool parse(const std::string& text, Json::Value& out, std::string& errors);

// An integer the way jsoncpp's asInt reads it, without its exceptions: null is 0, booleans 0
// or 1, reals truncated toward zero; nothing for texts, arrays, objects and numbers outside
// 32 bits. Every integer the main program sends is read this way.
std::optional<int> readInt(const Json::Value& value);

// A text member: numbers and booleans convert to their text, null is empty; nothing for
// arrays and objects.
std::optional<std::string> readText(const Json::Value& value);

// Member `name` of an object; null when the value is not an object or lacks the member.
const Json::Value& member(const Json::Value& object, const char* name);

// jsoncpp's own asBool and asFloat without their exceptions: the same value where jsoncpp
// converts, nothing where it would throw. Screens read the main program's loosely typed members
// with these, so a member of the wrong type is refused. null is false and 0; booleans are 0 or 1;
// numbers are true unless zero (or NaN).
std::optional<bool> toBool(const Json::Value& value);
std::optional<float> toFloat(const Json::Value& value);

// "FrameIndex" of a message (0 when missing or null); nothing when it cannot be read.
std::optional<int> frameIndexOf(const Json::Value& message);

// "Info"."result" of a message (empty when missing); nothing when it is not a text.
std::optional<std::string> resultText(const Json::Value& message);

} // namespace JsonText
