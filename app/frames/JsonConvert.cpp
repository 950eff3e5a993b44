#include "JsonConvert.h"

namespace JsonConvert {

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
