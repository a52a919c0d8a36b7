#include "exercise/typed_state.h"

#include "exercise/exercise_geometry.h"

#include <algorithm>

int TypedState::lastLineIndex() const
{
    return std::clamp<int>(text.lastLine, 0, ExerciseText::kRows - 1);
}

int TypedState::lineStart(int line) const
{
    if (line < 0 || line >= ExerciseText::kRows)
        return 0;
    return std::clamp<int>(text.lineTable[line].start, 0, ExerciseText::kPositions);
}

int TypedState::lineLength(int line) const
{
    if (line < 0 || line >= ExerciseText::kRows)
        return 0;
    const int length = std::max<int>(0, text.lineTable[line].length);
    return std::min(length, ExerciseText::kPositions - lineStart(line));
}

int TypedState::rowCells(int line) const
{
    const int length = lineLength(line);
    if (length <= 0)
        return 0;
    const int after = lineStart(line) + length;
    const bool ownsAfter = after < ExerciseText::kPositions && (line >= lastLineIndex() || after < lineStart(line + 1));
    return length + (ownsAfter ? 1 : 0);
}

int TypedState::cursorPosition() const
{
    return lineStart(currentLine) + column;
}

quint8 TypedState::typedAt(int p) const
{
    return p >= 0 && p < ExerciseText::kPositions ? typedBytes[p] : 0;
}

bool TypedState::markedAt(int p) const
{
    return p >= 0 && p < ExerciseText::kPositions && positionMarks[p] != 0;
}

void TypedState::setTyped(int p, quint8 byte)
{
    if (p >= 0 && p < ExerciseText::kPositions)
        typedBytes[p] = byte;
}

void TypedState::setMark(int p, bool marked)
{
    if (p >= 0 && p < ExerciseText::kPositions)
        positionMarks[p] = marked ? -1 : 0;
}

void TypedState::clearCell(int cell)
{
    const int p = lineStart(currentLine) + cell;
    const bool wide = markedAt(p + 1);
    canvas.blank(currentLine, cell, wide ? 2 : 1);
    setTyped(p, 0);
    if (wide) {
        setTyped(p + 1, 0);
        setMark(p + 1, false);
    }
}

void TypedState::eraseWideUnderCursor()
{
    const int p = cursorPosition();
    if (column == 0 || !markedAt(p))
        return;
    canvas.blank(currentLine, column - 1, 2);
    setTyped(p - 1, 0);
    setTyped(p, 0);
    setMark(p, false);
}

double TypedState::screenRow() const
{
    return double(host.screenTop()) / ExerciseGeometry::kLinePitch + currentLine;
}

void TypedState::pageFollow()
{
    if (screenRow() <= ExerciseGeometry::kLastVisibleRow)
        return;
    const int maximum = host.scrollMaximum();
    // With more than a page of lines left from the current one the view pages on; otherwise
    // it goes to the end.
    if (lastLineIndex() - currentLine + 1 > ExerciseGeometry::kLastVisibleRow)
        host.setScrollValue(std::min(host.scrollValue() + ExerciseGeometry::kPageTwips, maximum));
    else
        host.setScrollValue(maximum);
}
