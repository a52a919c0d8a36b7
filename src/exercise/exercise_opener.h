#pragma once
// " 英文录入 " and " 中文录入 ": an Exercise screen in the main window's area, one at a time.

#include "exercise/result_recorder.h"

#include <functional>

class ExerciseScreen;
class QMdiArea;
class QScrollBar;

// Opens an exercise of the kind from the Application folder's files, taken by the taker;
// `wire` connects the screen's signals before it loads. Returns the screen shown, or null
// when none was (a bad exercise file, reported and closed again).
ExerciseScreen* startExercise(QMdiArea* area, QScrollBar* scrollBar, ExerciseKind kind, const QString& appFolder,
                              const ExerciseTaker& taker, const std::function<void(ExerciseScreen*)>& wire);
