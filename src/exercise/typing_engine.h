#pragma once
// The typing engine of one exercise: the cursor over the cells of the input rows, what was
// typed at each text position, the marks of wide characters, and every key. It draws and
// scrolls through the two interfaces below, so tests run it without a screen.

#include "exercise/exercise_text.h"

#include <QColor>
#include <array>

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

// What the engine reaches outside itself: the countdown, the Status panel fields and the
// main window's scroll bar (in twips) and the screen's top edge (twips, 0 or negative).
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

class TypingEngine {
public:
    static constexpr QColor rightColour = QColor(0, 192, 0);
    static constexpr QColor wrongColour = QColor(192, 0, 0);

    TypingEngine(const ExerciseText& text, CellCanvas& canvas, TypingHost& host);

    // A character event: 0..255 single-byte, negative for a double-byte code
    // (lead * 256 + trail - 65536). Starts the countdown on the first one.
    void character(qint16 code);
    // A key-down event with its key code (27 Esc, 37 Left, 38 Up, 39 Right, 40 Down,
    // 46 Delete; any other code only updates the two Status panel fields).
    void keyDown(int keyCode);

    int currentLine() const { return currentLine_; }
    int cursorColumn() const { return column_; }
    // Text position under the cursor: start of the current line + column.
    int cursorPosition() const;
    // True once a wide character has wrapped onto a new line: from then on the cursor line
    // reaches a half-width character's height below the top of the input row instead of a
    // full-width one's.
    bool cursorLowerEndAscii() const { return cursorLowerEndAscii_; }
    bool typingStarted() const { return typingStarted_; }
    bool endedByEsc() const { return endedByEsc_; }
    const std::array<quint8, ExerciseText::kPositions>& typedBytes() const { return typedBytes_; }
    const std::array<qint16, ExerciseText::kPositions>& positionMarks() const { return positionMarks_; }
    const ExerciseText& text() const { return text_; }

private:
    // Typing (typing_engine.cpp).
    void typeSingleByte(quint8 code);
    void typeDoubleByte(qint16 code);
    // Whether typing a wide character clears the right half that an earlier one left in p + 2.
    enum class Repair { Never, Always };
    void typeWideAt(quint8 lead, quint8 trail, Repair repair);
    void eraseWideUnderCursor();
    void clearCell(int column);
    void nextLine();
    // The screen row of the current line: the screen's top edge in lines, plus the line.
    double screenRow() const;
    void pageFollow();
    // Editing and moving (typing_keys.cpp).
    void backspace();
    void enter();
    void left();
    void up();
    void right();
    void down();
    void deleteAtCursor();
    void landOffRightHalf();
    void lineFollow();
    void scrollBack();

    // Guarded access: positions outside 0..4096 read as 0 / unmarked and are never written.
    int lineStart(int line) const;
    int lineLength(int line) const;
    // The cells of a line's input row: one per position of the line, and one more after its
    // last cell when that position belongs to no other line (the LF after its CR, or past the
    // end of the text). A wrapped line's last cell is followed by the next line's first.
    int rowCells(int line) const;
    int lastLineIndex() const;
    quint8 typedAt(int p) const;
    bool markedAt(int p) const;
    void setTyped(int p, quint8 byte);
    void setMark(int p, bool marked);

    const ExerciseText& text_;
    CellCanvas& canvas_;
    TypingHost& host_;
    std::array<quint8, ExerciseText::kPositions> typedBytes_{};
    std::array<qint16, ExerciseText::kPositions> positionMarks_{};
    int currentLine_ = 0;
    int column_ = 0;
    bool typingStarted_ = false;
    bool endedByEsc_ = false;
    bool cursorLowerEndAscii_ = false;
};
