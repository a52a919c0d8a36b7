#pragma once
// The progress chart frmjbqx: one student's speed, accuracy and score over time, a chart for
// each figure under one date axis, English and Chinese as series of their own, a test's
// result marked by a square and a practice's by a circle.

#include "grades/progress_series.h"

#include <QDialog>
#include <memory>

class QChart;
class QChartView;
class QLabel;

namespace HistoryPages {
class Source;
} // namespace HistoryPages

class ProgressChart : public QDialog {
    Q_OBJECT
public:
    // A student with at least one result to draw.
    explicit ProgressChart(const Progress::Student& student, QWidget* parent = nullptr);
    ~ProgressChart() override;

    QChart* chart(Progress::Figure figure) const;
    // The legend's names of a kind's series: practice and test markers.
    static QString seriesName(ExerciseKind kind, bool test);

private:
    void addChart(const Progress::Student& student, Progress::Figure figure);

    QLabel* title_ = nullptr;                    // Label1
    QLabel* student_ = nullptr;                  // Label2
    QChartView* views_[Progress::kFigures] = {}; // Chart1_0 .. Chart1_2
};

// Reads a student's results through the source and makes the window. A student without
// results, a number the store refuses or a failed read is told in a message box over `parent`
// instead, and nothing is made. (The program opens the window through progress_opener.h, which
// loads Qt Charts only then.)
std::unique_ptr<ProgressChart> makeProgressChart(QWidget* parent, HistoryPages::Source& source, const QString& number);
