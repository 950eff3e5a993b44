#include "LocalText.h"

#include <QTextCodec>

namespace {

QTextCodec* cp949()
{
    static QTextCodec* const codec = QTextCodec::codecForName("CP949");
    return codec;
}

} // namespace

namespace LocalText {

std::string encode(const QString& text)
{
    const QByteArray bytes = cp949() ? cp949()->fromUnicode(text) : text.toLocal8Bit();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

QString decode(const std::string& bytes)
{
    const QByteArray raw = QByteArray::fromRawData(bytes.data(), static_cast<int>(bytes.size()));
    return cp949() ? cp949()->toUnicode(raw) : QString::fromLocal8Bit(raw);
}

} // namespace LocalText
