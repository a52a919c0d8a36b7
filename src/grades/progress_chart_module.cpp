// typelab-charts: the progress chart's window, in a module of its own that the program loads
// on the chart's first opening (see progress_opener.h).

#include "grades/progress_chart.h"
#include "grades/progress_opener.h"
#include "platform/twips.h"

extern "C" Q_DECL_EXPORT int typelab_show_progress_chart(QWidget* parent, const Progress::Student* student, double dpi)
{
    // The module keeps its own twips: they count with the program's screen.
    Twips::setDpi(dpi);
    ProgressChart chart(*student, parent);
    return chart.exec();
}
