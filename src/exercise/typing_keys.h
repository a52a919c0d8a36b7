#pragma once
// The editing and navigation keys of an exercise: the arrows, Delete, Backspace, Enter and Esc.
// They move the cursor and clear typed cells of the typed state they are given. Moving down
// with Right or Down, the view follows one line at a time; moving up, it scrolls back.

#include "exercise/typed_state.h"

class TypingKeys {
public:
    explicit TypingKeys(TypedState& state) : state_(state) {}

    // A key-down event (27 Esc, 37 Left, 38 Up, 39 Right, 40 Down, 46 Delete); every key,
    // these or any other, writes the cursor column and the current line to the Status panel.
    void keyDown(int keyCode);
    // Backspace (character 8) and Enter (character 13).
    void backspace();
    void enter();

private:
    void left();
    void up();
    void right();
    void down();
    void deleteAtCursor();
    void landOffRightHalf();
    void lineFollow();
    void scrollBack();

    TypedState& state_;
};
