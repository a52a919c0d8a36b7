// Typing into the input rows: each character is drawn under the one it answers, stored per text
// position for the result, and the cursor moves on, wrapping to the next line and paging the
// view when it leaves the visible rows. The editing and navigation keys go to TypingKeys.

#include "exercise/typing_engine.h"

TypingEngine::TypingEngine(const ExerciseText& text, CellCanvas& canvas, TypingHost& host) : state_(text, canvas, host)
{}

void TypingEngine::character(qint16 code)
{
    if (state_.endedByEsc || code > 255)
        return;
    // The countdown starts with the first character key, Backspace and Enter included.
    if (!state_.typingStarted) {
        state_.typingStarted = true;
        state_.host.startCountdown();
    }
    if (code < 0)
        typeDoubleByte(code);
    else
        typeSingleByte(quint8(code));
}

void TypingEngine::keyDown(int keyCode)
{
    keys_.keyDown(keyCode);
}

void TypingEngine::typeSingleByte(quint8 code)
{
    if (code == 8) {
        keys_.backspace();
        return;
    }
    if (code == 13) {
        keys_.enter();
        return;
    }
    const int length = state_.lineLength(state_.currentLine);
    if (length <= 0) {
        // A line without cells takes nothing; the character goes nowhere.
        if (state_.currentLine < state_.lastLineIndex())
            nextLine();
        return;
    }
    state_.eraseWideUnderCursor();
    const int p = state_.cursorPosition();
    // A wide character typed here also covers the next cell: clear both halves first, on the
    // last cell too (a wide character wrapped onto a blank line has its right half after it).
    if (state_.markedAt(p + 1))
        state_.clearCell(state_.column);
    const QColor colour = code == state_.text.byteAt(p) ? rightColour : wrongColour;
    state_.canvas.drawChar(state_.currentLine, state_.column, code, 0, false, colour);
    state_.setTyped(p, code);

    if (state_.column >= length - 1) {
        if (state_.currentLine < state_.lastLineIndex())
            nextLine();
        return;
    }
    ++state_.column;
}

void TypingEngine::typeDoubleByte(qint16 code)
{
    const quint16 unsignedCode = quint16(code);
    const quint8 lead = quint8(unsignedCode >> 8);
    const quint8 trail = quint8(unsignedCode & 0xFF);

    const int length = state_.lineLength(state_.currentLine);
    if (state_.column < length - 2) {
        // The old right half in cell p + 2 is cleared whatever the text expects at p: left
        // there, it would outlive the character it belonged to, and later keys would take it
        // for the trail of the new one.
        typeWideAt(lead, trail, Repair::Always);
    } else if (state_.column == length - 2) {
        // The trail lands in the line's last cell (its CR cell on a line that ends with CR).
        typeWideAt(lead, trail, Repair::Never);
    } else {
        // On the last cell, or past it: what the cell holds is cleared (a wide character whole),
        // and the character wraps to the next line, where it is typed at the start whatever
        // that line holds.
        state_.eraseWideUnderCursor();
        if (length > 0 && state_.typedAt(state_.cursorPosition()) != 0)
            state_.clearCell(state_.column);
        if (state_.currentLine >= state_.lastLineIndex())
            return; // the end of the text: the character is dropped
        nextLine();
        // A line without a single cell takes nothing (its positions are the next line's).
        while (state_.lineLength(state_.currentLine) <= 0 && state_.currentLine < state_.lastLineIndex())
            nextLine();
        if (state_.lineLength(state_.currentLine) <= 0)
            return;
        typeWideAt(lead, trail, Repair::Always);
    }

    if (state_.column >= state_.lineLength(state_.currentLine) - 2) {
        if (state_.currentLine >= state_.lastLineIndex())
            return;
        nextLine();
        state_.cursorLowerEndAscii = true;
        return;
    }
    state_.column += 2;
}

// Draws and stores a wide character on the cursor's cell and the one after it.
void TypingEngine::typeWideAt(quint8 lead, quint8 trail, Repair repair)
{
    const int p = state_.cursorPosition();
    const quint8 expectedLead = state_.text.byteAt(p);
    const bool right = expectedLead >= 128 && lead == expectedLead && trail == state_.text.byteAt(p + 1);
    state_.canvas.drawChar(state_.currentLine, state_.column, lead, trail, true, right ? rightColour : wrongColour);
    // A wide character typed one cell further right still shows its right half in cell p + 2.
    if (repair == Repair::Always && state_.markedAt(p + 2)) {
        state_.canvas.blank(state_.currentLine, state_.column + 2, 1);
        state_.setTyped(p + 2, 0);
        state_.setMark(p + 2, false);
    }
    state_.setTyped(p, lead);
    state_.setTyped(p + 1, trail);
    state_.setMark(p + 1, true);
}

// To the start of the next line: the Status panel shows it, and the view pages on when needed.
void TypingEngine::nextLine()
{
    state_.column = 0;
    ++state_.currentLine;
    state_.host.showCurrentLine(state_.currentLine + 1);
    state_.pageFollow();
}
