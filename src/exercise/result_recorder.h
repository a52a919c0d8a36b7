#pragma once
// Adds the result of a finished exercise to the grade database, as one stdgrade row.

#include "exercise/exercise_taker.h"
#include "exercise/exercise_text.h"
#include "exercise/scoring.h"

#include <QPointer>
#include <QString>
#include <functional>
#include <optional>

namespace ResultRecorder {

struct Outcome {
    bool saved = false;
    QString problem; // file and problem, in Chinese, when not saved
};

// Stores the result as a stdgrade row dated with the clock's today and time of day, in the
// grade database of the Application folder, on a thread of the pool: a locked database must not
// freeze the window for its busy timeouts. A busy or locked database is tried once more;
// any other failure, or a second busy one, comes back as the problem, with nothing thrown.
// `done` follows on the window's thread, unless `context` is gone by then. The program does
// not end before the pool's stores have.
void storeInBackground(const QString& appFolder, const ExerciseTaker& taker, ExerciseKind kind,
                       const ExerciseResult& result, QPointer<QObject> context,
                       std::function<void(const Outcome&)> done);
// Stores begun and not yet reported (tests wait for none).
int storesUnderWay();

} // namespace ResultRecorder
