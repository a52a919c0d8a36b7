#include "platform/byte_length.h"

#include "platform/codepage.h"

#include <QList>

QString trimSpaces(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == u' ')
        ++first;
    while (last > first && text.at(last - 1) == u' ')
        --last;
    return text.mid(first, last - first);
}

ByteLength measureBytes(const QString& text)
{
    ByteLength length;
    for (char32_t ucs4 : trimSpaces(text).toUcs4()) {
        const auto code = CodePage::charCode(ucs4);
        if (!code || *code < 0) {
            length.bytes += 2;
            length.doubleByte = true;
        } else {
            length.bytes += 1;
        }
    }
    return length;
}

int bytelen(const QString& text)
{
    return measureBytes(text).bytes;
}
