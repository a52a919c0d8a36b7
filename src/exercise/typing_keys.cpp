// The editing and navigation keys: each moves the cursor or clears typed cells, and the view
// follows the cursor's line.

#include "exercise/typing_keys.h"

#include "exercise/exercise_geometry.h"

#include <algorithm>

namespace {
enum KeyCode { Esc = 27, Left = 37, Up = 38, Right = 39, Down = 40, Delete = 46 };
using ExerciseGeometry::kLastVisibleRow;
using ExerciseGeometry::kLinePitch;
} // namespace

void TypingKeys::keyDown(int keyCode)
{
    if (state_.endedByEsc)
        return;
    state_.host.showCursorColumn(state_.column);
    switch (keyCode) {
    case Esc:
        state_.endedByEsc = true;
        // The screen may close inside escapePressed(): the line field is written before.
        state_.host.showCurrentLine(state_.currentLine + 1);
        state_.host.escapePressed();
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
    state_.host.showCurrentLine(state_.currentLine + 1);
}

// Left moves one cell back, two over a wide character; from a line start it goes to the
// previous line's last cell.
void TypingKeys::left()
{
    if (state_.column > 0) {
        const int p = state_.cursorPosition();
        state_.column -= state_.column >= 2 && state_.markedAt(p - 1) ? 2 : 1;
        return;
    }
    if (state_.currentLine == 0)
        return;
    --state_.currentLine;
    const int length = state_.lineLength(state_.currentLine);
    const int lastCell = state_.lineStart(state_.currentLine) + length - 1;
    // A wide character that ends the line is entered on its left half.
    if (length >= 2 && state_.markedAt(lastCell))
        state_.column = length - 2;
    else
        state_.column = std::max(0, length - 1);
    scrollBack();
}

// Up and Down move a line and keep the column as far as the new line allows.
void TypingKeys::up()
{
    if (state_.currentLine == 0)
        return;
    --state_.currentLine;
    landOffRightHalf();
    scrollBack();
}

void TypingKeys::down()
{
    if (state_.currentLine >= state_.lastLineIndex())
        return;
    ++state_.currentLine;
    landOffRightHalf();
    lineFollow();
}

// After Up or Down the cursor keeps its column, but never beyond the line's last cell; a column
// kept as it was steps off the right half of a wide character.
void TypingKeys::landOffRightHalf()
{
    const int length = state_.lineLength(state_.currentLine);
    if (state_.column > length - 1)
        state_.column = std::max(0, length - 1);
    else if (state_.column > 0 && state_.markedAt(state_.cursorPosition()))
        --state_.column;
}

// Right moves one cell on, two over a wide character; from a line's last cell it goes to the
// start of the next line.
void TypingKeys::right()
{
    const int lastCell = state_.lineLength(state_.currentLine) - 1;
    const int p = state_.cursorPosition();
    if (state_.column < lastCell && !state_.markedAt(p + 1)) {
        ++state_.column;
        return;
    }
    // A wide character starts at the cursor: over it, also when it ends the line, onto the cell
    // after its CR cell or after the end of the text. A wrapped line's last cell is followed by
    // the next line's first, which that line's own row shows: the cursor goes on to it there.
    if (state_.column < lastCell && state_.column + 2 < state_.rowCells(state_.currentLine)) {
        state_.column += 2;
        return;
    }
    if (state_.currentLine >= state_.lastLineIndex())
        return;
    state_.column = 0;
    ++state_.currentLine;
    lineFollow();
}

// Delete blanks what is typed under the cursor; the cursor stays and nothing after it shifts.
void TypingKeys::deleteAtCursor()
{
    if (state_.lineLength(state_.currentLine) <= 0)
        return;
    const int p = state_.cursorPosition();
    if (state_.column > 0 && state_.markedAt(p)) {
        // On the right half of a wide character that ends a line (Up or Down cut the column
        // back to it): the whole character goes.
        state_.canvas.blank(state_.currentLine, state_.column - 1, 2);
        state_.setTyped(p - 1, 0);
        state_.setTyped(p, 0);
        state_.setMark(p, false);
        return;
    }
    const quint8 byte = state_.typedAt(p);
    if (byte == 0)
        return;
    // A byte of 0x80 or more is taken for a wide character's lead, and the next cell goes with
    // it, whatever it holds; but never the first cell of the next line, which its own row shows.
    if (byte < 0x80 || (!state_.markedAt(p + 1) && state_.column + 1 >= state_.rowCells(state_.currentLine))) {
        state_.canvas.blank(state_.currentLine, state_.column, 1);
        state_.setTyped(p, 0);
        return;
    }
    int cells = 2;
    // The next cell held the left half of a wide character: its right half goes too.
    if (!state_.markedAt(p + 1) && state_.markedAt(p + 2)) {
        state_.setTyped(p + 2, 0);
        state_.setMark(p + 2, false);
        cells = 3;
    }
    state_.setTyped(p, 0);
    state_.setTyped(p + 1, 0);
    state_.setMark(p + 1, false);
    state_.canvas.blank(state_.currentLine, state_.column, cells);
}

// Backspace erases the character before the cursor and moves onto its cell; at a line start it
// erases what ends the previous line.
void TypingKeys::backspace()
{
    if (state_.column > 0) {
        const int p = state_.cursorPosition();
        if (state_.column >= 2 && state_.markedAt(p - 1)) {
            state_.column -= 2;
            state_.canvas.blank(state_.currentLine, state_.column, 2);
            state_.setTyped(p - 2, 0);
            state_.setTyped(p - 1, 0);
            state_.setMark(p - 1, false);
        } else if (state_.markedAt(p)) {
            // On the right half of a wide character that ends a line (Up or Down cut the
            // column back to it): the whole character goes, and the cursor lands on its left.
            state_.column -= 1;
            state_.canvas.blank(state_.currentLine, state_.column, 2);
            state_.setTyped(p - 1, 0);
            state_.setTyped(p, 0);
            state_.setMark(p, false);
        } else {
            state_.column -= 1;
            state_.canvas.blank(state_.currentLine, state_.column, 1);
            state_.setTyped(p - 1, 0);
            state_.setMark(p - 1, false);
        }
        return;
    }
    if (state_.currentLine == 0)
        return;

    // Back across the line start onto the previous line's last cell.
    --state_.currentLine;
    const int length = state_.lineLength(state_.currentLine);
    const int lastCell = state_.lineStart(state_.currentLine) + length - 1;
    if (length <= 0) {
        state_.column = 0;
    } else if (state_.typedAt(lastCell) == 13) {
        // Enter was pressed there: the cell shows nothing, only the 13 goes.
        state_.column = length - 1;
        state_.setTyped(lastCell, 0);
    } else if (length >= 2 && state_.markedAt(lastCell)) {
        // A wide character ends the line: both its cells go.
        state_.column = length - 2;
        state_.canvas.blank(state_.currentLine, state_.column, 2);
        state_.setTyped(lastCell - 1, 0);
        state_.setTyped(lastCell, 0);
        state_.setMark(lastCell, false);
    } else {
        // A wide character wrapped onto a blank line has its right half after the last cell.
        state_.column = length - 1;
        state_.clearCell(state_.column);
    }
    state_.host.showCurrentLine(state_.currentLine + 1);
    scrollBack();
}

// Enter ends the line wherever the cursor stands; the rest of the line stays untyped.
void TypingKeys::enter()
{
    const int length = state_.lineLength(state_.currentLine);
    if (length > 0) {
        // The cell shows nothing afterwards, and no half of a wide character stays beside it:
        // the one whose right half the cursor stands on, or whose left half (on the last cell
        // too, after a wrap onto a blank line).
        state_.eraseWideUnderCursor();
        state_.clearCell(state_.column);
        state_.setTyped(state_.cursorPosition(), 13);
    }
    if (state_.currentLine < state_.lastLineIndex()) {
        state_.column = 0;
        ++state_.currentLine;
    }
    state_.host.showCurrentLine(state_.currentLine + 1);
    state_.pageFollow();
}

// Right and Down follow the cursor one line at a time, up to the scroll bar's maximum.
void TypingKeys::lineFollow()
{
    if (state_.screenRow() <= kLastVisibleRow)
        return;
    const int value = state_.host.scrollValue();
    const int maximum = state_.host.scrollMaximum();
    state_.host.setScrollValue(maximum >= value + kLinePitch ? value + kLinePitch : maximum);
}

// Left, Up and Backspace bring a line scrolled off the top back into view: one line up, or
// back to the top when less than a line is scrolled away.
void TypingKeys::scrollBack()
{
    if (state_.screenRow() >= 0)
        return;
    const int top = state_.host.screenTop();
    const int value = state_.host.scrollValue();
    if (top > -kLinePitch)
        state_.host.setScrollValue(std::max(0, value + top));
    else
        state_.host.setScrollValue(std::max(0, value - kLinePitch));
}
