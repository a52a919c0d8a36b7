#pragma once
// Adds the result of a finished exercise to the grade database, as one stdgrade row.

#include "exercise/exercise_text.h"
#include "exercise/scoring.h"

#include <QString>
#include <optional>

// Who took the exercise: the student number, name and batch as they stood when it started,
// so that a login dialog opened during the exercise cannot change whom the result belongs to.
struct ExerciseTaker {
    QString studentNumber;
    QString name;
    QString batchNumber; // empty for a practice login
};

namespace ResultRecorder {

struct Outcome {
    bool saved = false;
    QString problem; // file and problem, in Chinese, when not saved
};

// Stores the result as a stdgrade row dated with the clock's today and time of day, through
// opendb. A busy or locked database is tried once more (each try waits for the database's
// busy timeout); any other failure, or a second busy one, comes back as the problem, with
// nothing thrown.
Outcome store(const ExerciseTaker& taker, ExerciseKind kind, const ExerciseResult& result);

} // namespace ResultRecorder
