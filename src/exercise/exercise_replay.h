#pragma once
// A finished exercise again from its keystroke log: the log's events go through the typing
// engine and the countdown as they went on the Exercise screen, against the same text, and the
// result is counted from the typed bytes at the end. Whoever replays a log gets the figures the
// screen showed; a log that cannot be the log of a finished exercise says why.

#include "exercise/exercise_text.h"
#include "exercise/keystroke_log.h"
#include "exercise/scoring.h"
#include "exercise/typing_engine.h"

#include <QString>
#include <array>
#include <optional>

namespace ExerciseReplay {

struct Outcome {
    std::optional<QString> problem; // in Chinese; the rest means nothing then
    std::array<quint8, ExerciseText::kPositions> typedBytes{};
    std::array<qint16, ExerciseText::kPositions> positionMarks{};
    int ticks = 0;
    int elapsedSeconds = 0;
    bool endedByEsc = false;
    ExerciseResult result;
};

// Replays the whole log; it must end where the exercise ended (Esc after typing began, or the
// tick after 00:00) and hold nothing after that. The canvas, when given, is drawn on as the
// screen's cells were.
Outcome replay(const ExerciseText& text, ExerciseKind kind, const KeystrokeLog& log, CellCanvas* canvas = nullptr);
// The same against the text of an exercise file as it was handed out (after its header); a text
// that cannot be an exercise's says so.
Outcome replayFile(const QByteArray& fileText, ExerciseKind kind, const KeystrokeLog& log);

} // namespace ExerciseReplay
