#pragma once
// " 英文录入 " and " 中文录入 ": an Exercise screen in the main window's area, one at a time.

#include "exercise/exercise_taker.h"
#include "exercise/exercise_text.h"

#include <QByteArray>

#include <functional>

class ExerciseScreen;
class QMdiArea;
class QScrollBar;

// Opens an exercise of the kind on the text of the file the store drew, taken by the taker;
// `wire` connects the screen's signals before it loads. Returns the screen shown, or null
// when none was (a text that cannot be used, reported and closed again).
ExerciseScreen* startExercise(QMdiArea* area, QScrollBar* scrollBar, ExerciseKind kind, const QByteArray& fileText,
                              const ExerciseTaker& taker, const std::function<void(ExerciseScreen*)>& wire);
