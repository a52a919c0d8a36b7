#pragma once
// Who takes an exercise.

#include <QString>

// The student number, name and batch as they stood when the exercise started, so that a login
// dialog opened during the exercise cannot change whom the result belongs to.
struct ExerciseTaker {
    QString studentNumber;
    QString name;
    QString batchNumber; // empty for a practice login
};
