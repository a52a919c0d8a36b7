#pragma once
// The countdown of an exercise and its result: speed, accuracy and score, counted from what
// the typed bytes hold at the end.

#include "exercise/exercise_text.h"

#include <QString>
#include <array>

class Countdown {
public:
    // One tick of the 1000 ms timer. Returns true on the tick after 00:00 was shown: the
    // exercise is over.
    bool tick();
    QString text() const;       // "10:00", "09:59", ... "00:00"
    int elapsedSeconds() const; // (10 - minutes) * 60 - seconds
    int minutesLeft() const { return minutesLeft_; }
    int secondsLeft() const { return secondsLeft_; }

private:
    qint16 minutesLeft_ = 10;
    qint16 secondsLeft_ = 0;
};

// The figures are whole numbers, counted in single precision as the lab's scores always were;
// they are kept as the double the grade database, the bus and the windows hold.
struct ExerciseResult {
    double speed = 0;    // characters per minute
    double accuracy = 0; // per cent
    double score = 0;    // may be negative, at most 100
    int correct = 0;
    int wrong = 0;
    int total = 0;
};

namespace Scoring {

// Rounding to the nearest whole number with halves to the even neighbour.
float nearest(float value);
// A figure as the windows show it: a whole number, halves to the even neighbour; nothing for a
// value that is no number.
QString figureText(double value);

// Counting and results for a finished exercise; elapsed 0 or total 0 give 0 everywhere.
ExerciseResult finishEnglish(const ExerciseText& text, const std::array<quint8, ExerciseText::kPositions>& typed,
                             int elapsedSeconds, bool endedByEsc);
ExerciseResult finishChinese(const ExerciseText& text, const std::array<quint8, ExerciseText::kPositions>& typed,
                             int elapsedSeconds, bool endedByEsc);
// From the counts alone, without a text (how the scoring is checked by hand). An exercise ended
// by Esc earns a score only after 1200 characters typed in English, 600 in Chinese.
ExerciseResult fromCounts(ExerciseKind kind, int correct, int wrong, int elapsedSeconds, bool endedByEsc);

} // namespace Scoring
