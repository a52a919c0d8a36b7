#pragma once
// The typing engine of one exercise: every character and key event goes through it, and it
// keeps the typed state that the result is counted from. Typing is its own; the editing and
// navigation keys are TypingKeys'. It draws and scrolls only through the interfaces of
// typing_host.h, so tests and the replay of a keystroke log run it without a screen.

#include "exercise/exercise_text.h"
#include "exercise/typed_state.h"
#include "exercise/typing_host.h"
#include "exercise/typing_keys.h"

#include <QColor>
#include <array>

class TypingEngine {
public:
    static constexpr QColor rightColour = QColor(0, 192, 0);
    static constexpr QColor wrongColour = QColor(192, 0, 0);

    TypingEngine(const ExerciseText& text, CellCanvas& canvas, TypingHost& host);
    // The key half works on this engine's own state.
    TypingEngine(const TypingEngine&) = delete;
    TypingEngine& operator=(const TypingEngine&) = delete;

    // A character event: 0..255 single-byte, negative for a double-byte code
    // (lead * 256 + trail - 65536). Starts the countdown on the first one.
    void character(qint16 code);
    // A key-down event with its key code (27 Esc, 37 Left, 38 Up, 39 Right, 40 Down,
    // 46 Delete; any other code only updates the two Status panel fields).
    void keyDown(int keyCode);

    int currentLine() const { return state_.currentLine; }
    int cursorColumn() const { return state_.column; }
    // Text position under the cursor: start of the current line + column.
    int cursorPosition() const { return state_.cursorPosition(); }
    // True once a wide character has wrapped onto a new line: from then on the cursor line
    // reaches a half-width character's height below the top of the input row instead of a
    // full-width one's.
    bool cursorLowerEndAscii() const { return state_.cursorLowerEndAscii; }
    bool typingStarted() const { return state_.typingStarted; }
    bool endedByEsc() const { return state_.endedByEsc; }
    const std::array<quint8, ExerciseText::kPositions>& typedBytes() const { return state_.typedBytes; }
    const std::array<qint16, ExerciseText::kPositions>& positionMarks() const { return state_.positionMarks; }
    const ExerciseText& text() const { return state_.text; }

private:
    void typeSingleByte(quint8 code);
    void typeDoubleByte(qint16 code);
    // Whether typing a wide character clears the right half that an earlier one left in p + 2.
    enum class Repair { Never, Always };
    void typeWideAt(quint8 lead, quint8 trail, Repair repair);
    void nextLine();

    TypedState state_;
    TypingKeys keys_{state_};
};
