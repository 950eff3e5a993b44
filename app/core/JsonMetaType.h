#pragma once

#include <json/value.h>

#include <QMetaType>

// Messages cross Qt signals by value; queued connections and QSignalSpy need the type known.
Q_DECLARE_METATYPE(Json::Value)
