#pragma once
// Opening the progress chart: the student's results are read here, and the window itself is
// drawn by typelab-charts, a module beside the program loaded on the chart's first opening, so
// that Qt Charts and the OpenGL libraries it brings stay out of the program's start and memory
// until a chart is asked for.

#include "grades/progress_series.h"

#include <QString>
#include <optional>

class QWidget;

namespace HistoryPages {
class Source;
} // namespace HistoryPages

namespace ProgressOpener {

// The student's results through the source; a student without results, a number the store
// refuses or a failed read is told in a message box over `parent`, and nothing comes back.
std::optional<Progress::Student> readStudent(QWidget* parent, HistoryPages::Source& source, const QString& number);

// Reads the student and shows the chart modal.
void open(QWidget* parent, HistoryPages::Source& source, const QString& number);

// Where typelab-charts is when it is not beside the program (tests take the build's).
void setModulePath(const QString& path);

} // namespace ProgressOpener

// What typelab-charts exports: shows the chart of the student modal, with the screen's dots per
// inch for its twips. Returns the dialog's result.
using ShowProgressChart = int(QWidget* parent, const Progress::Student* student, double dpi);
inline const char* const kShowProgressChart = "typelab_show_progress_chart";
