#include "platform/codepage.h"

#include <QList>
#include <QStringDecoder>
#include <QStringEncoder>

namespace CodePage {

std::optional<QByteArray> encodeChar(char32_t ucs4)
{
    const QString text = QString::fromUcs4(&ucs4, 1);
    // "GBK" must be named through the constructor: encodingForName() does not know it.
    QStringEncoder encoder("GBK");
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError() || bytes.isEmpty())
        return std::nullopt;
    return bytes;
}

std::optional<qint16> charCode(char32_t ucs4)
{
    const auto bytes = encodeChar(ucs4);
    if (!bytes)
        return std::nullopt;
    if (bytes->size() == 1)
        return qint16(quint8(bytes->at(0)));
    if (bytes->size() == 2)
        return qint16(int(quint8(bytes->at(0))) * 256 + quint8(bytes->at(1)) - 65536);
    return std::nullopt;
}

std::optional<QByteArray> encode(const QString& text)
{
    QStringEncoder encoder("GBK");
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    return bytes;
}

std::optional<char32_t> firstUnencodable(const QString& text)
{
    for (char32_t ucs4 : text.toUcs4())
        if (!encodeChar(ucs4))
            return ucs4;
    return std::nullopt;
}

QString decode(const QByteArray& bytes)
{
    QStringDecoder decoder("GBK");
    return decoder.decode(bytes);
}

QString charText(quint8 lead, quint8 trail)
{
    const char pair[2] = {char(lead), char(trail)};
    return decode(QByteArray(pair, 2));
}

QString charText(quint8 single)
{
    return decode(QByteArray(1, char(single)));
}

} // namespace CodePage
