#pragma once

#include <json/value.h>

#include <optional>

// jsoncpp's own asBool and asFloat without their exceptions (integers: JsonText::readInt): the
// same value where jsoncpp converts, nothing where it would throw. Screens read the main
// program's loosely typed members with these, so a member of the wrong type is refused.
namespace JsonConvert {

// null is false, numbers are true unless zero (or NaN).
std::optional<bool> toBool(const Json::Value& value);

// null is 0, booleans 0 or 1.
std::optional<float> toFloat(const Json::Value& value);

} // namespace JsonConvert
