#pragma once
// The typed state of one exercise, which typing and the editing keys both change: the cursor
// over the cells of the input rows, the byte typed at each text position and the marks of wide
// characters, with the canvas they are drawn on and the host around them.

#include "exercise/exercise_text.h"
#include "exercise/typing_host.h"

#include <array>

struct TypedState {
    TypedState(const ExerciseText& exerciseText, CellCanvas& cellCanvas, TypingHost& typingHost)
        : text(exerciseText), canvas(cellCanvas), host(typingHost)
    {}

    const ExerciseText& text;
    CellCanvas& canvas;
    TypingHost& host;
    // 0 untyped, a single-byte code, a wide character's lead and trail on two positions, or
    // 13 where Enter was pressed.
    std::array<quint8, ExerciseText::kPositions> typedBytes{};
    // -1 on the trail of a typed wide character, 0 elsewhere.
    std::array<qint16, ExerciseText::kPositions> positionMarks{};
    int currentLine = 0;
    int column = 0;
    bool typingStarted = false;
    bool endedByEsc = false;
    bool cursorLowerEndAscii = false;

    // Lines as the table gives them, but never reaching past position 4096.
    int lastLineIndex() const;
    int lineStart(int line) const;
    int lineLength(int line) const;
    // The cells of a line's input row: one per position of the line, and one more after its
    // last cell when that position belongs to no other line (the LF after its CR, or past the
    // end of the text). A wrapped line's last cell is followed by the next line's first.
    int rowCells(int line) const;
    // Start of the current line + column.
    int cursorPosition() const;

    // Positions outside 0..4096 read as 0 / unmarked and are never written.
    quint8 typedAt(int p) const;
    bool markedAt(int p) const;
    void setTyped(int p, quint8 byte);
    void setMark(int p, bool marked);

    // Clears the byte on a cell of the current line; a wide character whose left half stands
    // there goes whole.
    void clearCell(int cell);
    // On the right half of a wide character: blanks the whole character and clears its bytes
    // and mark. Elsewhere nothing.
    void eraseWideUnderCursor();

    // The screen row of the current line: the screen's top edge in lines, plus the line.
    double screenRow() const;
    // Typing and Enter page the view once the current line's row leaves the visible ones.
    void pageFollow();
};
