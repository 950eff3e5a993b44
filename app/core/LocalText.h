#pragma once

#include <QString>
#include <string>

// Texts that cross the link in the local 8-bit code page are CP949 on every platform,
// whatever the code page of the machine running the client.
namespace LocalText {

std::string encode(const QString& text);
QString decode(const std::string& bytes);

} // namespace LocalText
