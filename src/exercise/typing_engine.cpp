// Typing into the input rows: each character is drawn under the one it answers, stored per text
// position for the result, and the cursor moves on, wrapping to the next line and paging the
// view when it leaves the visible rows.

#include "exercise/typing_engine.h"

#include "exercise/exercise_geometry.h"

#include <algorithm>

TypingEngine::TypingEngine(const ExerciseText& text, CellCanvas& canvas, TypingHost& host)
    : text_(text), canvas_(canvas), host_(host)
{}

int TypingEngine::lastLineIndex() const
{
    return std::clamp<int>(text_.lastLine, 0, ExerciseText::kRows - 1);
}

int TypingEngine::lineStart(int line) const
{
    if (line < 0 || line >= ExerciseText::kRows)
        return 0;
    return std::clamp<int>(text_.lineTable[line].start, 0, ExerciseText::kPositions);
}

int TypingEngine::lineLength(int line) const
{
    if (line < 0 || line >= ExerciseText::kRows)
        return 0;
    // A line never reaches past the last position, whatever the table says.
    const int length = std::max<int>(0, text_.lineTable[line].length);
    return std::min(length, ExerciseText::kPositions - lineStart(line));
}

int TypingEngine::rowCells(int line) const
{
    const int length = lineLength(line);
    if (length <= 0)
        return 0;
    const int after = lineStart(line) + length;
    const bool ownsAfter = after < ExerciseText::kPositions && (line >= lastLineIndex() || after < lineStart(line + 1));
    return length + (ownsAfter ? 1 : 0);
}

int TypingEngine::cursorPosition() const
{
    return lineStart(currentLine_) + column_;
}

quint8 TypingEngine::typedAt(int p) const
{
    return p >= 0 && p < ExerciseText::kPositions ? typedBytes_[p] : 0;
}

bool TypingEngine::markedAt(int p) const
{
    return p >= 0 && p < ExerciseText::kPositions && positionMarks_[p] != 0;
}

void TypingEngine::setTyped(int p, quint8 byte)
{
    if (p >= 0 && p < ExerciseText::kPositions)
        typedBytes_[p] = byte;
}

void TypingEngine::setMark(int p, bool marked)
{
    if (p >= 0 && p < ExerciseText::kPositions)
        positionMarks_[p] = marked ? -1 : 0;
}

void TypingEngine::character(qint16 code)
{
    if (endedByEsc_ || code > 255)
        return;
    // The countdown starts with the first character key, Backspace and Enter included.
    if (!typingStarted_) {
        typingStarted_ = true;
        host_.startCountdown();
    }
    if (code < 0)
        typeDoubleByte(code);
    else
        typeSingleByte(quint8(code));
}

void TypingEngine::typeSingleByte(quint8 code)
{
    if (code == 8) {
        backspace();
        return;
    }
    if (code == 13) {
        enter();
        return;
    }
    const int length = lineLength(currentLine_);
    if (length <= 0) {
        // A line without cells takes nothing; the character goes nowhere.
        if (currentLine_ < lastLineIndex())
            nextLine();
        return;
    }
    eraseWideUnderCursor();
    const int p = cursorPosition();
    // A wide character typed here also covers the next cell: clear both halves first, on the
    // last cell too (a wide character wrapped onto a blank line has its right half after it).
    if (markedAt(p + 1))
        clearCell(column_);
    const QColor colour = code == text_.byteAt(p) ? rightColour : wrongColour;
    canvas_.drawChar(currentLine_, column_, code, 0, false, colour);
    setTyped(p, code);

    if (column_ >= length - 1) {
        if (currentLine_ < lastLineIndex())
            nextLine();
        return;
    }
    ++column_;
}

void TypingEngine::typeDoubleByte(qint16 code)
{
    const quint16 unsignedCode = quint16(code);
    const quint8 lead = quint8(unsignedCode >> 8);
    const quint8 trail = quint8(unsignedCode & 0xFF);

    const int length = lineLength(currentLine_);
    if (column_ < length - 2) {
        // The old right half in cell p + 2 is cleared whatever the text expects at p: left
        // there, it would outlive the character it belonged to, and later keys would take it
        // for the trail of the new one.
        typeWideAt(lead, trail, Repair::Always);
    } else if (column_ == length - 2) {
        // The trail lands in the line's last cell (its CR cell on a line that ends with CR).
        typeWideAt(lead, trail, Repair::Never);
    } else {
        // On the last cell: it is cleared, and the character wraps to the next line, where it
        // is typed at the start whatever that line holds.
        eraseWideUnderCursor();
        if (length > 0 && typedAt(cursorPosition()) != 0)
            clearCell(column_);
        if (currentLine_ >= lastLineIndex())
            return; // the end of the text: the character is dropped
        nextLine();
        // A line without a single cell takes nothing (its positions are the next line's).
        while (lineLength(currentLine_) <= 0 && currentLine_ < lastLineIndex())
            nextLine();
        if (lineLength(currentLine_) <= 0)
            return;
        typeWideAt(lead, trail, Repair::Always);
    }

    if (column_ >= lineLength(currentLine_) - 2) {
        if (currentLine_ >= lastLineIndex())
            return;
        nextLine();
        cursorLowerEndAscii_ = true;
        return;
    }
    column_ += 2;
}

// Draws and stores a wide character on the cursor's cell and the one after it.
void TypingEngine::typeWideAt(quint8 lead, quint8 trail, Repair repair)
{
    const int p = cursorPosition();
    const quint8 expectedLead = text_.byteAt(p);
    const bool right = expectedLead >= 128 && lead == expectedLead && trail == text_.byteAt(p + 1);
    canvas_.drawChar(currentLine_, column_, lead, trail, true, right ? rightColour : wrongColour);
    // A wide character typed one cell further right still shows its right half in cell p + 2.
    if (repair == Repair::Always && markedAt(p + 2)) {
        canvas_.blank(currentLine_, column_ + 2, 1);
        setTyped(p + 2, 0);
        setMark(p + 2, false);
    }
    setTyped(p, lead);
    setTyped(p + 1, trail);
    setMark(p + 1, true);
}

// Clears the byte on a cell of the cursor's row; a wide character whose left half stands there
// goes whole, so its right half never outlives it.
void TypingEngine::clearCell(int column)
{
    const int p = lineStart(currentLine_) + column;
    const bool wide = markedAt(p + 1);
    canvas_.blank(currentLine_, column, wide ? 2 : 1);
    setTyped(p, 0);
    if (wide) {
        setTyped(p + 1, 0);
        setMark(p + 1, false);
    }
}

// Up and Down may leave the cursor on the right half of a wide character that ends a line:
// whatever is typed there replaces that character as a whole, as it does on its left half.
void TypingEngine::eraseWideUnderCursor()
{
    const int p = cursorPosition();
    if (column_ == 0 || !markedAt(p))
        return;
    canvas_.blank(currentLine_, column_ - 1, 2);
    setTyped(p - 1, 0);
    setTyped(p, 0);
    setMark(p, false);
}

void TypingEngine::nextLine()
{
    column_ = 0;
    ++currentLine_;
    host_.showCurrentLine(currentLine_ + 1);
    pageFollow();
}

double TypingEngine::screenRow() const
{
    return double(host_.screenTop()) / ExerciseGeometry::kLinePitch + currentLine_;
}

// Typing and Enter page the view once the current line's row leaves the visible ones.
void TypingEngine::pageFollow()
{
    if (screenRow() <= ExerciseGeometry::kLastVisibleRow)
        return;
    const int maximum = host_.scrollMaximum();
    // With more than a page of lines left from the current one the view pages on; otherwise
    // it goes to the end.
    if (lastLineIndex() - currentLine_ + 1 > ExerciseGeometry::kLastVisibleRow)
        host_.setScrollValue(std::min(host_.scrollValue() + ExerciseGeometry::kPageTwips, maximum));
    else
        host_.setScrollValue(maximum);
}
