#include "JsonConvert.h"

#include <limits>

namespace JsonConvert {

std::optional<int> toInt(const Json::Value& value)
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

} // namespace JsonConvert
