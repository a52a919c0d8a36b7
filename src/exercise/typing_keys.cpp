// The editing and navigation keys: arrows, Delete, Backspace, Enter and Esc. The view follows
// the cursor one line at a time when moving down and scrolls back when moving up.

#include "exercise/typing_engine.h"

#include "exercise/exercise_geometry.h"

#include <algorithm>

namespace {
enum KeyCode { Esc = 27, Left = 37, Up = 38, Right = 39, Down = 40, Delete = 46 };
using ExerciseGeometry::kLastVisibleRow;
using ExerciseGeometry::kLinePitch;
} // namespace

void TypingEngine::keyDown(int keyCode)
{
    if (endedByEsc_)
        return;
    host_.showCursorColumn(column_);
    switch (keyCode) {
    case Esc:
        endedByEsc_ = true;
        // The screen may close inside escapePressed(): the line field is written before.
        host_.showCurrentLine(currentLine_ + 1);
        host_.escapePressed();
        return;
    case Left:
        left();
        break;
    case Up:
        up();
        break;
    case Right:
        right();
        break;
    case Down:
        down();
        break;
    case Delete:
        deleteAtCursor();
        break;
    default:
        break;
    }
    host_.showCurrentLine(currentLine_ + 1);
}

void TypingEngine::left()
{
    if (column_ > 0) {
        const int p = cursorPosition();
        column_ -= column_ >= 2 && markedAt(p - 1) ? 2 : 1;
        return;
    }
    if (currentLine_ == 0)
        return;
    --currentLine_;
    const int length = lineLength(currentLine_);
    const int lastCell = lineStart(currentLine_) + length - 1;
    // A wide character that ends the line is entered on its left half.
    if (length >= 2 && markedAt(lastCell))
        column_ = length - 2;
    else
        column_ = std::max(0, length - 1);
    scrollBack();
}

void TypingEngine::up()
{
    if (currentLine_ == 0)
        return;
    --currentLine_;
    landOffRightHalf();
    scrollBack();
}

void TypingEngine::down()
{
    if (currentLine_ >= lastLineIndex())
        return;
    ++currentLine_;
    landOffRightHalf();
    lineFollow();
}

// After Up or Down the cursor keeps its column, but never beyond the line's last cell; a column
// kept as it was steps off the right half of a wide character.
void TypingEngine::landOffRightHalf()
{
    const int length = lineLength(currentLine_);
    if (column_ > length - 1)
        column_ = std::max(0, length - 1);
    else if (column_ > 0 && markedAt(cursorPosition()))
        --column_;
}

void TypingEngine::right()
{
    const int lastCell = lineLength(currentLine_) - 1;
    const int p = cursorPosition();
    if (column_ < lastCell && !markedAt(p + 1)) {
        ++column_;
        return;
    }
    // A wide character starts at the cursor: over it, also when it ends the line, onto the cell
    // after its CR cell or after the end of the text. A wrapped line's last cell is followed by
    // the next line's first, which that line's own row shows: the cursor goes on to it there.
    if (column_ < lastCell && column_ + 2 < rowCells(currentLine_)) {
        column_ += 2;
        return;
    }
    if (currentLine_ >= lastLineIndex())
        return;
    column_ = 0;
    ++currentLine_;
    lineFollow();
}

// Delete blanks the cell under the cursor; the cursor stays and nothing shifts.
void TypingEngine::deleteAtCursor()
{
    if (lineLength(currentLine_) <= 0)
        return;
    const int p = cursorPosition();
    if (column_ > 0 && markedAt(p)) {
        // On the right half of a wide character that ends a line (Up or Down cut the column
        // back to it): the whole character goes.
        canvas_.blank(currentLine_, column_ - 1, 2);
        setTyped(p - 1, 0);
        setTyped(p, 0);
        setMark(p, false);
        return;
    }
    const quint8 byte = typedAt(p);
    if (byte == 0)
        return;
    // A byte of 0x80 or more is taken for a wide character's lead, and the next cell goes with
    // it, whatever it holds; but never the first cell of the next line, which its own row shows.
    if (byte < 0x80 || (!markedAt(p + 1) && column_ + 1 >= rowCells(currentLine_))) {
        canvas_.blank(currentLine_, column_, 1);
        setTyped(p, 0);
        return;
    }
    int cells = 2;
    // The next cell held the left half of a wide character: its right half goes too.
    if (!markedAt(p + 1) && markedAt(p + 2)) {
        setTyped(p + 2, 0);
        setMark(p + 2, false);
        cells = 3;
    }
    setTyped(p, 0);
    setTyped(p + 1, 0);
    setMark(p + 1, false);
    canvas_.blank(currentLine_, column_, cells);
}

void TypingEngine::backspace()
{
    if (column_ > 0) {
        const int p = cursorPosition();
        if (column_ >= 2 && markedAt(p - 1)) {
            column_ -= 2;
            canvas_.blank(currentLine_, column_, 2);
            setTyped(p - 2, 0);
            setTyped(p - 1, 0);
            setMark(p - 1, false);
        } else if (markedAt(p)) {
            // On the right half of a wide character that ends a line (Up or Down cut the
            // column back to it): the whole character goes, and the cursor lands on its left.
            column_ -= 1;
            canvas_.blank(currentLine_, column_, 2);
            setTyped(p - 1, 0);
            setTyped(p, 0);
            setMark(p, false);
        } else {
            column_ -= 1;
            canvas_.blank(currentLine_, column_, 1);
            setTyped(p - 1, 0);
            setMark(p - 1, false);
        }
        return;
    }
    if (currentLine_ == 0)
        return;

    // Back across the line start onto the previous line's last cell.
    --currentLine_;
    const int length = lineLength(currentLine_);
    const int lastCell = lineStart(currentLine_) + length - 1;
    if (length <= 0) {
        column_ = 0;
    } else if (typedAt(lastCell) == 13) {
        // Enter was pressed there: the cell shows nothing, only the 13 goes.
        column_ = length - 1;
        setTyped(lastCell, 0);
    } else if (length >= 2 && markedAt(lastCell)) {
        column_ = length - 2;
        canvas_.blank(currentLine_, column_, 2);
        setTyped(lastCell - 1, 0);
        setTyped(lastCell, 0);
        setMark(lastCell, false);
    } else {
        // A wide character wrapped onto a blank line has its right half after the last cell.
        column_ = length - 1;
        clearCell(column_);
    }
    host_.showCurrentLine(currentLine_ + 1);
    scrollBack();
}

// Enter ends the line wherever the cursor stands; the rest of the line stays untyped.
void TypingEngine::enter()
{
    const int length = lineLength(currentLine_);
    if (length > 0) {
        // The cell shows nothing afterwards, and no half of a wide character stays beside it:
        // the one whose right half the cursor stands on, or whose left half (on the last cell
        // too, after a wrap onto a blank line).
        eraseWideUnderCursor();
        clearCell(column_);
        setTyped(cursorPosition(), 13);
    }
    if (currentLine_ < lastLineIndex()) {
        column_ = 0;
        ++currentLine_;
    }
    host_.showCurrentLine(currentLine_ + 1);
    pageFollow();
}

// Right and Down follow the cursor one line at a time, up to the scroll bar's maximum.
void TypingEngine::lineFollow()
{
    if (screenRow() <= kLastVisibleRow)
        return;
    const int value = host_.scrollValue();
    const int maximum = host_.scrollMaximum();
    host_.setScrollValue(maximum >= value + kLinePitch ? value + kLinePitch : maximum);
}

// Left, Up and Backspace bring a line scrolled off the top back into view: one line up, or
// back to the top when less than a line is scrolled away.
void TypingEngine::scrollBack()
{
    if (screenRow() >= 0)
        return;
    const int top = host_.screenTop();
    const int value = host_.scrollValue();
    if (top > -kLinePitch)
        host_.setScrollValue(std::max(0, value + top));
    else
        host_.setScrollValue(std::max(0, value - kLinePitch));
}
