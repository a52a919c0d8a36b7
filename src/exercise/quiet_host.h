#pragma once
// The Exercise screen's side of the typing engine, without a screen, for replaying a keystroke
// log: only when the countdown started and whether Esc ended the exercise are kept.

#include "exercise/typing_host.h"

class QuietHost : public TypingHost {
public:
    bool countdownStarted = false;
    bool escaped = false;

    void startCountdown() override { countdownStarted = true; }
    void showCurrentLine(int) override {}
    void showCursorColumn(int) override {}
    int scrollValue() const override { return 0; }
    int scrollMaximum() const override { return 0; }
    void setScrollValue(int) override {}
    int screenTop() const override { return 0; }
    void escapePressed() override { escaped = true; }
};
