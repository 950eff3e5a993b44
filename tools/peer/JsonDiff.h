#pragma once

#include <json/value.h>

#include <QString>
#include <QStringList>

// Where two messages differ, one line per difference, named by the path of the member
// ("Info.result", "list[2]"). Empty when they are equal; numbers compare by value, so an
// integer and an unsigned integer of the same value are equal.
namespace JsonDiff {

QStringList differences(const Json::Value& expected, const Json::Value& actual);

} // namespace JsonDiff
