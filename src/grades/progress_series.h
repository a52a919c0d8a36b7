#pragma once
// One student's results as the progress chart draws them: for each exercise kind and each
// figure (speed, accuracy, score), the points in time order, each marked as a test's (the
// result carries a batch) or a practice's.

#include "store/store_types.h"

#include <QDateTime>
#include <QList>
#include <array>

namespace Progress {

enum class Figure { Speed = 0, Accuracy = 1, Score = 2 };
// The kinds the chart draws, in the order it draws them.
inline constexpr ExerciseKind kKinds[] = {ExerciseKind::English, ExerciseKind::Chinese};
inline constexpr int kFigures = 3;

struct Point {
    QDateTime when;
    double value = 0;
    bool test = false;
    bool operator==(const Point&) const = default;
};

struct Student {
    QString number; // as the newest result has it
    QString name;
    int results = 0; // results drawn
    int tests = 0;
    QDateTime first; // the oldest and the newest drawn
    QDateTime last;

    const QList<Point>& points(ExerciseKind kind, Figure figure) const
    {
        return series[int(kind) - 1][int(figure)];
    }

    std::array<std::array<QList<Point>, kFigures>, std::size(kKinds)> series; // by kind's number - 1
};

// The results of one student, oldest first, as the store gives them. A result without a date,
// or of a kind other than 英文 or 中文 (written by another tool), has no place on the chart
// and is left out; one without a time of day stands at the start of its day.
Student fromResults(const QList<GradeRow>& results);

} // namespace Progress
