#pragma once
// Code page 936 (GBK), the code page every text of the program is handled in.

#include <QByteArray>
#include <QString>
#include <optional>

namespace CodePage {

// The bytes of one character in code page 936; nullopt when the code page cannot hold it.
std::optional<QByteArray> encodeChar(char32_t ucs4);
// The character event code of a character: 0..255 for a single byte, lead*256+trail-65536
// (negative) for a double-byte one; nullopt when code page 936 cannot hold it.
std::optional<qint16> charCode(char32_t ucs4);
// Whole texts. encode() gives nullopt when any character cannot be held; firstUnencodable()
// tells which one.
std::optional<QByteArray> encode(const QString& text);
std::optional<char32_t> firstUnencodable(const QString& text);
QString decode(const QByteArray& bytes);
// The text of one double-byte code or single byte, as it is drawn.
QString charText(quint8 lead, quint8 trail);
QString charText(quint8 single);

} // namespace CodePage
