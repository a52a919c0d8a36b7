#include "grades/progress_series.h"

namespace Progress {

Student fromResults(const QList<GradeRow>& results)
{
    Student student;
    for (const GradeRow& row : results) {
        if (!row.lrdate.isValid())
            continue;
        const std::optional<ExerciseKind> kind = ExerciseKinds::named(row.lrxm);
        if (!kind)
            continue;
        const QDateTime when(row.lrdate, row.lrtime.isValid() ? row.lrtime : QTime(0, 0));
        const bool test = !row.lrpc.isEmpty();
        auto& figures = student.series[int(*kind) - 1];
        figures[int(Figure::Speed)].append(Point{when, row.lrsd, test});
        figures[int(Figure::Accuracy)].append(Point{when, row.lrzql, test});
        figures[int(Figure::Score)].append(Point{when, row.lrcj, test});
        if (student.results == 0)
            student.first = when;
        student.last = when;
        student.number = row.xh;
        student.name = row.xm;
        ++student.results;
        if (test)
            ++student.tests;
    }
    return student;
}

} // namespace Progress
