#include "Scenario.h"

#include "LocalText.h"

#include <json/reader.h>

#include <QRegularExpression>
#include <QStringList>
#include <QTextCodec>

#include <memory>

namespace {

// Long enough for any deliberate pause, short enough that a typo cannot stall a run for hours.
constexpr int kLongestPauseMs = 600000;

const QStringList& keywords()
{
    static const QStringList words{
        QStringLiteral("send"),         QStringLiteral("send-cp949"),   QStringLiteral("send-raw"),
        QStringLiteral("send-wrapped"), QStringLiteral("expect"),       QStringLiteral("expect-cp949"),
        QStringLiteral("expect-none"),  QStringLiteral("expect-close"), QStringLiteral("wait"),
        QStringLiteral("close"),        QStringLiteral("timeout"),      QStringLiteral("key-exchange"),
        QStringLiteral("manual-key")};
    return words;
}

// Stricter than the link's own reader: a scenario line holds exactly one value and no
// repeated member names, so a typo is reported instead of silently sending something else.
std::optional<Json::Value> parseJson(const QString& text, QString& error)
{
    static const std::unique_ptr<Json::CharReader> reader = [] {
        Json::CharReaderBuilder builder;
        builder["allowComments"] = false;
        builder["failIfExtra"] = true;
        builder["rejectDupKeys"] = true;
        return std::unique_ptr<Json::CharReader>(builder.newCharReader());
    }();
    const std::string utf8 = text.toStdString();
    Json::Value value;
    std::string errors;
    bool ok = false;
    try {
        ok = reader->parse(utf8.data(), utf8.data() + utf8.size(), &value, &errors);
    } catch (const std::exception& e) {
        errors = e.what();
    }
    if (!ok) {
        error = QStringLiteral("not JSON: ") + QString::fromStdString(errors).simplified();
        return std::nullopt;
    }
    return value;
}

std::optional<int> parseMs(const QString& text, QString& error)
{
    bool number = false;
    const int ms = text.toInt(&number);
    if (!number || ms < 0 || ms > kLongestPauseMs) {
        error = QStringLiteral("\"%1\" is not a number of milliseconds from 0 to %2").arg(text).arg(kLongestPauseMs);
        return std::nullopt;
    }
    return ms;
}

std::optional<std::string> cp949Bytes(const std::string& utf8, QString& error)
{
    const QString text = QString::fromStdString(utf8);
    QTextCodec* codec = QTextCodec::codecForName("CP949");
    if (!codec || !codec->canEncode(text)) {
        error = QStringLiteral("\"%1\" has no CP949 form").arg(text);
        return std::nullopt;
    }
    return LocalText::encode(text);
}

} // namespace

namespace ScenarioParser {

std::optional<QByteArray> unescape(const QString& text, QString& error)
{
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    for (int i = 0; i < utf8.size(); ++i) {
        const char c = utf8.at(i);
        if (c != '\\') {
            out.append(c);
            continue;
        }
        const char next = i + 1 < utf8.size() ? utf8.at(i + 1) : '\0';
        i += 1;
        switch (next) {
        case 'n':
            out.append('\n');
            break;
        case 'r':
            out.append('\r');
            break;
        case 't':
            out.append('\t');
            break;
        case '0':
            out.append('\0');
            break;
        case '\\':
            out.append('\\');
            break;
        case 'x': {
            bool hex = false;
            const int value = utf8.mid(i + 1, 2).toInt(&hex, 16);
            if (!hex || utf8.mid(i + 1, 2).size() != 2) {
                error = QStringLiteral("\\x needs two hexadecimal digits");
                return std::nullopt;
            }
            out.append(static_cast<char>(value));
            i += 2;
            break;
        }
        default:
            error = QStringLiteral("unknown escape \\%1 (known: \\n \\r \\t \\0 \\\\ \\xHH)")
                        .arg(next ? QString(QLatin1Char(next)) : QStringLiteral("at the end of the line"));
            return std::nullopt;
        }
    }
    return out;
}

std::optional<Json::Value> toCp949(const Json::Value& value, QString& error)
{
    if (value.isString()) {
        const std::optional<std::string> bytes = cp949Bytes(value.asString(), error);
        return bytes ? std::optional<Json::Value>(Json::Value(*bytes)) : std::nullopt;
    }
    if (value.isArray()) {
        Json::Value out(Json::arrayValue);
        for (const Json::Value& item : value) {
            const std::optional<Json::Value> converted = toCp949(item, error);
            if (!converted) {
                return std::nullopt;
            }
            out.append(*converted);
        }
        return out;
    }
    if (value.isObject()) {
        Json::Value out(Json::objectValue);
        for (const std::string& name : value.getMemberNames()) {
            const std::optional<std::string> key = cp949Bytes(name, error);
            const std::optional<Json::Value> converted = key ? toCp949(value[name], error) : std::nullopt;
            if (!converted) {
                return std::nullopt;
            }
            out[*key] = *converted;
        }
        return out;
    }
    return value;
}

std::optional<ScenarioStep> parseLine(const QString& rawLine, int lineNumber, QString& error)
{
    error.clear();
    const QString line = rawLine.trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) {
        return std::nullopt;
    }
    static const QRegularExpression space(QStringLiteral("\\s"));
    const int split = line.indexOf(space);
    const QString keyword = split < 0 ? line : line.left(split);
    const QString argument = split < 0 ? QString() : line.mid(split + 1).trimmed();

    ScenarioStep step;
    step.line = lineNumber;
    step.text = line;

    if (!keywords().contains(keyword)) {
        error = QStringLiteral("unknown step \"%1\" (known: %2)").arg(keyword, keywords().join(QStringLiteral(", ")));
        return std::nullopt;
    }
    const bool noArgument = keyword == QLatin1String("close") || keyword == QLatin1String("expect-close") ||
                            keyword == QLatin1String("manual-key");
    const bool optionalArgument = keyword == QLatin1String("key-exchange");
    if (noArgument && !argument.isEmpty()) {
        error = QStringLiteral("\"%1\" takes nothing after it").arg(keyword);
        return std::nullopt;
    }
    if (!noArgument && !optionalArgument && argument.isEmpty()) {
        error = QStringLiteral("\"%1\" needs something after it").arg(keyword);
        return std::nullopt;
    }

    if (keyword == QLatin1String("send") || keyword == QLatin1String("send-cp949") ||
        keyword == QLatin1String("expect") || keyword == QLatin1String("expect-cp949")) {
        step.kind = keyword.startsWith(QLatin1String("send")) ? ScenarioStep::Kind::Send : ScenarioStep::Kind::Expect;
        std::optional<Json::Value> value = parseJson(argument, error);
        if (value && keyword.endsWith(QLatin1String("-cp949"))) {
            value = toCp949(*value, error);
        }
        if (!value) {
            return std::nullopt;
        }
        step.message = *value;
    } else if (keyword == QLatin1String("send-raw") || keyword == QLatin1String("send-wrapped")) {
        step.kind =
            keyword == QLatin1String("send-raw") ? ScenarioStep::Kind::SendRaw : ScenarioStep::Kind::SendWrapped;
        const std::optional<QByteArray> bytes = unescape(argument, error);
        if (!bytes) {
            return std::nullopt;
        }
        step.bytes = *bytes;
    } else if (keyword == QLatin1String("expect-none") || keyword == QLatin1String("wait") ||
               keyword == QLatin1String("timeout")) {
        step.kind = keyword == QLatin1String("wait")      ? ScenarioStep::Kind::Wait
                    : keyword == QLatin1String("timeout") ? ScenarioStep::Kind::Timeout
                                                          : ScenarioStep::Kind::ExpectNone;
        const std::optional<int> ms = parseMs(argument, error);
        if (!ms) {
            return std::nullopt;
        }
        step.ms = *ms;
    } else if (keyword == QLatin1String("key-exchange")) {
        step.kind = ScenarioStep::Kind::KeyExchange;
        if (!argument.isEmpty()) {
            step.givenKey = argument.toStdString();
        }
    } else if (keyword == QLatin1String("close")) {
        step.kind = ScenarioStep::Kind::Close;
    } else if (keyword == QLatin1String("expect-close")) {
        step.kind = ScenarioStep::Kind::ExpectClose;
    } else {
        step.kind = ScenarioStep::Kind::ManualKey;
    }
    return step;
}

std::optional<Scenario> parse(const QByteArray& fileText, std::vector<ScenarioError>& errors)
{
    errors.clear();
    QTextCodec::ConverterState state;
    const QString text = QTextCodec::codecForName("UTF-8")->toUnicode(fileText.constData(), fileText.size(), &state);
    if (state.invalidChars > 0) {
        errors.push_back({0, QStringLiteral("the file is not UTF-8 text")});
        return std::nullopt;
    }

    Scenario scenario;
    // Follows the link through the file, so steps that cannot work where they stand are
    // reported before anything is sent.
    enum class Link
    {
        Open,
        ClosedByPeer,
        Ended,
    } link = Link::Open;
    bool keyed = true;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const int number = i + 1;
        QString error;
        std::optional<ScenarioStep> step = parseLine(lines.at(i), number, error);
        if (!step) {
            if (!error.isEmpty()) {
                errors.push_back({number, error});
            }
            continue;
        }
        auto fail = [&](const QString& why) { errors.push_back({number, why}); };
        using Kind = ScenarioStep::Kind;
        if (step->kind == Kind::ManualKey) {
            if (!scenario.steps.empty() || scenario.manualKey) {
                fail(QStringLiteral("manual-key must come once, before every step"));
            }
            scenario.manualKey = true;
            keyed = false;
            continue;
        }
        const bool pauseOnly = step->kind == Kind::Wait || step->kind == Kind::Timeout;
        if (link == Link::Ended && !pauseOnly) {
            fail(QStringLiteral("the connection has ended by this line; only wait and timeout may follow"));
        } else if (link == Link::ClosedByPeer && !pauseOnly && step->kind != Kind::ExpectClose) {
            fail(QStringLiteral("the connection is closed by this line; only expect-close, wait and timeout "
                                "may follow"));
        }
        switch (step->kind) {
        case Kind::SendWrapped:
            if (!keyed) {
                fail(QStringLiteral("send-wrapped needs a key: put key-exchange before it"));
            }
            break;
        case Kind::KeyExchange:
            keyed = true;
            break;
        case Kind::Close:
            link = Link::ClosedByPeer;
            break;
        case Kind::ExpectClose:
            link = Link::Ended;
            break;
        default:
            break;
        }
        scenario.steps.push_back(std::move(*step));
    }
    if (errors.empty() && scenario.steps.empty()) {
        errors.push_back({0, QStringLiteral("the scenario has no steps")});
    }
    if (!errors.empty()) {
        return std::nullopt;
    }
    return scenario;
}

} // namespace ScenarioParser
