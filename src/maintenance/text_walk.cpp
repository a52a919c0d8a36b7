#include "maintenance/text_walk.h"

#include "platform/codepage.h"

namespace {
constexpr int kWrapColumn = 106;
}

QString walkExerciseText(const QByteArray& text, bool doubleLineEnds)
{
    const QString lineEnd = doubleLineEnds ? QStringLiteral("\n\n") : QStringLiteral("\n");
    QString shown;
    shown.reserve(text.size() + text.size() / 8);
    int column = 0;
    const qsizetype size = text.size();
    for (qsizetype p = 0; p < size; ++p) {
        const quint8 byte = quint8(text.at(p));
        if (byte == 13) {
            // The byte after the CR travels with it; when it is not the LF it still shows.
            QString piece = QStringLiteral("\n");
            if (p + 1 < size) {
                const quint8 next = quint8(text.at(++p));
                if (next != 10)
                    piece += next < 128 ? QString(QChar(next)) : CodePage::charText(next);
            }
            shown += piece;
            if (doubleLineEnds)
                shown += piece;
            column = 0;
            continue;
        }
        if (byte > 128) {
            if (p + 1 < size)
                shown += CodePage::charText(byte, quint8(text.at(++p)));
            else
                shown += QChar(QChar::ReplacementCharacter); // a lead byte without its trail
            column += 2;
        } else {
            shown += byte < 128 ? QString(QChar(byte)) : CodePage::charText(byte);
            column += 1;
        }
        if (column >= kWrapColumn) {
            shown += lineEnd;
            column = 0;
        }
    }
    return shown;
}
