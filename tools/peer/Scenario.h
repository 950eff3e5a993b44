#pragma once

#include <json/value.h>

#include <QByteArray>
#include <QString>

#include <optional>
#include <string>
#include <vector>

// One step of a tavo_peer scenario: a line of the scenario file, already read.
struct ScenarioStep
{
    enum class Kind
    {
        Send,        // send / send-cp949: a message in the form the link is in
        SendRaw,     // send-raw: bytes written as they are, never wrapped
        SendWrapped, // send-wrapped: any text enciphered and wrapped, JSON or not
        Expect,      // expect / expect-cp949: the next message from the client
        ExpectNone,  // expect-none: nothing from the client for a while
        Wait,        // wait: a pause; what arrives meanwhile waits for the next step
        ExpectClose, // expect-close: the exit notice, then the end of the connection
        Close,       // close: tavo_peer ends the connection
        Timeout,     // timeout: how long later steps wait for the client
        KeyExchange, // key-exchange: the key-initialisation request and its reply
        ManualKey,   // manual-key: a setting of the whole scenario, never a step of its own
    };

    Kind kind = Kind::Send;
    int line = 0;        // line number in the file, 1-based
    QString text;        // the line as written, for messages
    Json::Value message; // Send, Expect: texts already in the bytes that travel
    QByteArray bytes;    // SendRaw, SendWrapped
    int ms = 0;          // ExpectNone, Wait, Timeout
    // KeyExchange with a key text of the scenario's own, which tavo_peer holds no private key for.
    std::optional<std::string> givenKey;
};

struct Scenario
{
    // Set by a `manual-key` line: no key exchange when the client connects.
    bool manualKey = false;
    std::vector<ScenarioStep> steps;
};

struct ScenarioError
{
    int line = 0;
    QString message;
};

namespace ScenarioParser {

// The whole file (UTF-8). Every unreadable line is reported, not just the first.
std::optional<Scenario> parse(const QByteArray& fileText, std::vector<ScenarioError>& errors);

// One line; nothing for a blank line or a comment, and nothing with `error` set for a bad one.
std::optional<ScenarioStep> parseLine(const QString& line, int lineNumber, QString& error);

// The text of send-raw and send-wrapped: \n \r \t \\ \0 and \xHH stand for their bytes.
std::optional<QByteArray> unescape(const QString& text, QString& error);

// Every text in the value (member names too) in CP949 bytes; nothing when a character has
// no CP949 form, named in `error`.
std::optional<Json::Value> toCp949(const Json::Value& value, QString& error);

} // namespace ScenarioParser
