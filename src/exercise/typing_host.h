#pragma once
// What the typing engine reaches outside itself: the cells it draws in, and the countdown, the
// Status panel fields, the main window's scroll bar and the screen's top edge. Tests and the
// replay of a keystroke log give their own.

#include <QColor>
#include <QtGlobal>

// Where the engine draws: cells of the input row of a display line. A cell is one text
// position; a double-byte character covers two cells.
class CellCanvas {
public:
    virtual ~CellCanvas() = default;
    // Draws one character (lead/trail for a double-byte one, trail 0 and lead the byte for a
    // single one) with its left edge at the cell, in the colour.
    virtual void drawChar(int line, int column, quint8 lead, quint8 trail, bool doubleByte, QColor colour) = 0;
    // Draws `cells` spaces from the cell on, blanking what they showed.
    virtual void blank(int line, int column, int cells) = 0;
};

// The scroll bar's value and maximum are in twips, the screen's top edge too (0 or negative).
class TypingHost {
public:
    virtual ~TypingHost() = default;
    virtual void startCountdown() = 0;
    virtual void showCurrentLine(int oneBased) = 0; // Status panel value 7
    virtual void showCursorColumn(int column) = 0;  // Status panel value 13
    virtual int scrollValue() const = 0;
    virtual int scrollMaximum() const = 0;
    virtual void setScrollValue(int value) = 0;
    virtual int screenTop() const = 0;
    // Esc: the screen computes and stores the result (when typing had started) and closes.
    virtual void escapePressed() = 0;
};
