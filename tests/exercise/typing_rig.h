#pragma once
// A typing engine on a recording canvas and a fake screen, over a text built from its lines.

#include "exercise/typing_engine.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QMap>
#include <QPair>
#include <QStringList>
#include <algorithm>
#include <cstring>
#include <memory>

// What each cell of the input rows shows: empty, a character (two bytes for the left half of a
// wide one) or "~" for the right half of a wide one.
class RecordingCanvas : public CellCanvas {
public:
    struct Cell {
        QByteArray shown;
        QColor colour;
    };
    void drawChar(int line, int column, quint8 lead, quint8 trail, bool doubleByte, QColor colour) override
    {
        QByteArray bytes(1, char(lead));
        if (doubleByte)
            bytes.append(char(trail));
        cells[{line, column}] = {bytes, colour};
        if (doubleByte)
            cells[{line, column + 1}] = {QByteArray("~"), colour};
        log << QStringLiteral("draw %1,%2").arg(line).arg(column);
    }
    void blank(int line, int column, int count) override
    {
        for (int i = 0; i < count; ++i)
            cells[{line, column + i}] = {};
        log << QStringLiteral("blank %1,%2x%3").arg(line).arg(column).arg(count);
    }
    QByteArray shown(int line, int column) const { return cells.value({line, column}).shown; }
    QByteArrayList row(int line, int column, int count) const
    {
        QByteArrayList shownCells;
        for (int i = 0; i < count; ++i)
            shownCells << shown(line, column + i);
        return shownCells;
    }
    QColor colour(int line, int column) const { return cells.value({line, column}).colour; }

    QMap<QPair<int, int>, Cell> cells;
    QStringList log;
};

// The screen and main window as the engine sees them; the scroll bar keeps its value in range.
class FakeHost : public TypingHost {
public:
    void startCountdown() override { ++countdownStarts; }
    void showCurrentLine(int oneBased) override { lineShown = oneBased; }
    void showCursorColumn(int column) override { columnShown = column; }
    int scrollValue() const override { return value; }
    int scrollMaximum() const override { return maximum; }
    void setScrollValue(int v) override { value = std::clamp(v, 0, maximum); }
    int screenTop() const override { return -value; }
    void escapePressed() override { ++escapes; }

    int countdownStarts = 0;
    int lineShown = -1;
    int columnShown = -1;
    int value = 0;
    int maximum = 0;
    int escapes = 0;
};

// Display lines given as their bytes; a line ending in CR LF counts the CR but not the LF.
inline ExerciseText textOfLines(const QList<QByteArray>& lines)
{
    ExerciseText text;
    int position = 0;
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        std::memcpy(text.textBytes.data() + position, line.constData(), std::size_t(line.size()));
        text.lineTable[i].start = qint16(position);
        text.lineTable[i].length = qint16(line.endsWith("\r\n") ? line.size() - 1 : line.size());
        position += int(line.size());
    }
    text.textLength = position;
    text.lastLine = int(lines.size()) - 1;
    return text;
}

// Codes as the screen delivers them: a byte of 0x80 or more starts a double-byte character.
inline QList<qint16> codesOf(const QByteArray& gbk)
{
    QList<qint16> codes;
    for (int i = 0; i < gbk.size(); ++i) {
        const auto byte = quint8(gbk[i]);
        if (byte >= 0x80 && i + 1 < gbk.size()) {
            codes << qint16(quint16(byte << 8 | quint8(gbk[i + 1])));
            ++i;
        } else {
            codes << qint16(byte);
        }
    }
    return codes;
}

struct TypingRig {
    explicit TypingRig(const QList<QByteArray>& lines, int scrollMaximum = 0)
        : text(textOfLines(lines)), engine(std::make_unique<TypingEngine>(text, canvas, host))
    {
        host.maximum = scrollMaximum;
    }
    void type(const QByteArray& gbk)
    {
        for (qint16 code : codesOf(gbk))
            engine->character(code);
    }
    void press(int keyCode, int times = 1)
    {
        for (int i = 0; i < times; ++i)
            engine->keyDown(keyCode);
    }
    void press(std::initializer_list<int> keyCodes)
    {
        for (int keyCode : keyCodes)
            engine->keyDown(keyCode);
    }
    // Plays a script: each item is a key named after it ("Left", "Right", "Up", "Down",
    // "Delete") or the characters it holds.
    void play(const QByteArrayList& script)
    {
        static const QMap<QByteArray, int> keys{{"Left", 37}, {"Up", 38}, {"Right", 39}, {"Down", 40}, {"Delete", 46}};
        for (const QByteArray& item : script) {
            if (keys.contains(item))
                press(keys.value(item));
            else
                type(item);
        }
    }
    quint8 typed(int p) const { return engine->typedBytes()[p]; }
    // The bytes stored at positions p .. p + count - 1, and their marks as '0' and '1'.
    QByteArray typed(int p, int count) const
    {
        return QByteArray(reinterpret_cast<const char*>(engine->typedBytes().data()) + p, count);
    }
    QByteArray marks(int p, int count) const
    {
        QByteArray result;
        for (int i = 0; i < count; ++i)
            result += marked(p + i) ? '1' : '0';
        return result;
    }
    bool marked(int p) const { return engine->positionMarks()[p] != 0; }
    int line() const { return engine->currentLine(); }
    int column() const { return engine->cursorColumn(); }
    QPair<int, int> at() const { return {line(), column()}; }

    ExerciseText text;
    RecordingCanvas canvas;
    FakeHost host;
    std::unique_ptr<TypingEngine> engine;
};

using At = QPair<int, int>; // line, column

namespace Keys {
constexpr int Esc = 27, Left = 37, Up = 38, Right = 39, Down = 40, Delete = 46;
constexpr char Backspace[] = "\b";
constexpr char Enter[] = "\r";
} // namespace Keys
