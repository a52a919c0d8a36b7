#pragma once
// Adds the result of a finished exercise to the grade database, as one stdgrade row.

#include "exercise/exercise_text.h"
#include "exercise/scoring.h"

#include <QPointer>
#include <QString>
#include <functional>
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

// Stores the result as a stdgrade row dated with the clock's today and time of day, in the
// Application folder's grade database, on a thread of the pool: a locked database must not
// freeze the window for its busy timeouts. A busy or locked database is tried once more;
// any other failure, or a second busy one, comes back as the problem, with nothing thrown.
// `done` follows on the window's thread, unless `context` is gone by then. The program does
// not end before the pool's stores have.
void storeInBackground(const ExerciseTaker& taker, ExerciseKind kind, const ExerciseResult& result,
                       QPointer<QObject> context, std::function<void(const Outcome&)> done);
// Stores begun and not yet reported (tests wait for none).
int storesUnderWay();

} // namespace ResultRecorder
