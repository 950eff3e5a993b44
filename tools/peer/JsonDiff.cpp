#include "JsonDiff.h"

#include "JsonText.h"
#include "Transcript.h"

namespace {

QString shown(const Json::Value& value)
{
    std::string text = JsonText::writeCompact(value);
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return Transcript::readable(QByteArray::fromStdString(text));
}

QString where(const QString& path)
{
    return path.isEmpty() ? QStringLiteral("the message") : path;
}

bool sameNumber(const Json::Value& a, const Json::Value& b)
{
    if (a.isIntegral() && b.isIntegral()) {
        if (a.isInt64() && b.isInt64()) {
            return a.asInt64() == b.asInt64();
        }
        return a.isUInt64() && b.isUInt64() && a.asUInt64() == b.asUInt64();
    }
    return !a.isIntegral() && !b.isIntegral() && a.asDouble() == b.asDouble();
}

void compare(const Json::Value& expected, const Json::Value& actual, const QString& path, QStringList& out)
{
    if (expected.isNumeric() && actual.isNumeric() && !expected.isBool() && !actual.isBool()) {
        if (!sameNumber(expected, actual)) {
            out << QStringLiteral("%1: expected %2, got %3").arg(where(path), shown(expected), shown(actual));
        }
        return;
    }
    if (expected.type() != actual.type()) {
        out << QStringLiteral("%1: expected %2, got %3").arg(where(path), shown(expected), shown(actual));
        return;
    }
    if (expected.isObject()) {
        const QString prefix = path.isEmpty() ? QString() : path + QLatin1Char('.');
        for (const std::string& name : expected.getMemberNames()) {
            const QString member = prefix + QString::fromStdString(name);
            if (!actual.isMember(name)) {
                out << QStringLiteral("%1: missing (expected %2)").arg(member, shown(expected[name]));
            } else {
                compare(expected[name], actual[name], member, out);
            }
        }
        for (const std::string& name : actual.getMemberNames()) {
            if (!expected.isMember(name)) {
                out << QStringLiteral("%1: not expected (got %2)")
                           .arg(prefix + QString::fromStdString(name), shown(actual[name]));
            }
        }
        return;
    }
    if (expected.isArray()) {
        if (expected.size() != actual.size()) {
            out << QStringLiteral("%1: expected %2 items, got %3")
                       .arg(where(path))
                       .arg(expected.size())
                       .arg(actual.size());
        }
        const Json::ArrayIndex common = std::min(expected.size(), actual.size());
        for (Json::ArrayIndex i = 0; i < common; ++i) {
            compare(expected[i], actual[i], QStringLiteral("%1[%2]").arg(path).arg(i), out);
        }
        return;
    }
    if (expected != actual) {
        out << QStringLiteral("%1: expected %2, got %3").arg(where(path), shown(expected), shown(actual));
    }
}

} // namespace

namespace JsonDiff {

QStringList differences(const Json::Value& expected, const Json::Value& actual)
{
    QStringList out;
    compare(expected, actual, QString(), out);
    return out;
}

} // namespace JsonDiff
