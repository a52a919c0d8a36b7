// How long the history view takes from opening to its first paint with a long history, and
// how long a scroll step takes near the top, in the middle and at the bottom.
//   bench_history_view [ROWS]   (default 100000)

#include "grades/history_model.h"
#include "grades/history_view.h"
#include "support/test_support.h"
#include "store/store_client.h"
#include "store/store_history.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTableView>
#include <QTextStream>

#include <algorithm>

namespace {

class PaintWatch : public QObject {
public:
    bool painted = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return QObject::eventFilter(watched, event);
    }
};

void fill(const TestSupport::AppFolder& app, int rows)
{
    GradeStore store = app.store();
    Transaction transaction(GradeStoreInspector::database(store));
    const QDate today = QDate::currentDate();
    const QStringList names = {"张伟", "王芳", "李娜", "刘洋", "陈静", "杨帆", "赵磊", "黄敏"};
    for (int i = 0; i < rows; ++i) {
        GradeRow row;
        row.xh = QStringLiteral("20240%1").arg(i % 100000, 5, 10, QLatin1Char('0'));
        row.xm = names[i % names.size()];
        row.lrxm = i % 2 ? QStringLiteral("中文") : QStringLiteral("英文");
        row.lrcj = i % 101;
        row.lrsd = 40 + i % 160;
        row.lrzql = 50 + i % 51;
        row.lrdate = today.addDays(-(i % 15));
        row.lrtime = QTime(7, 0).addSecs(i % 50000);
        row.lrpc = i % 3 ? QStringLiteral("B%1").arg(i % 40) : QString();
        store.addResult(row);
    }
    transaction.commit();
}

double paintAfter(QTableView* grid, PaintWatch& watch, const std::function<void()>& step)
{
    watch.painted = false;
    QElapsedTimer timer;
    timer.start();
    step();
    while (!watch.painted)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QCoreApplication::processEvents();
    Q_UNUSED(grid);
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TestSupport::prepareApplication();
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    QTextStream out(stdout);

    TestSupport::AppFolder folder;
    QElapsedTimer fillTimer;
    fillTimer.start();
    fill(folder, rows);
    out << "rows: " << rows << " (stored in " << fillTimer.elapsed() << " ms)\n";

    for (int round = 1; round <= 3; ++round) {
        QElapsedTimer parts;
        parts.start();
        GradeStore store = folder.store();
        const qint64 openedAt = parts.nsecsElapsed();
        store.resultCount();
        const qint64 countedAt = parts.nsecsElapsed();
        store.resultsNewestFirst(0, HistoryModel::kPageSize);
        const qint64 firstPageAt = parts.nsecsElapsed();
        store.resultsNewestFirst(rows - HistoryModel::kPageSize, HistoryModel::kPageSize);
        const qint64 lastPageAt = parts.nsecsElapsed();
        out << "store: open " << QString::number(openedAt / 1e6, 'f', 1) << " ms, count "
            << QString::number((countedAt - openedAt) / 1e6, 'f', 1) << " ms, first page "
            << QString::number((firstPageAt - countedAt) / 1e6, 'f', 1) << " ms, last page "
            << QString::number((lastPageAt - firstPageAt) / 1e6, 'f', 1) << " ms\n";

        PaintWatch watch;
        QElapsedTimer timer;
        timer.start();
        StoreClient client(folder.path());
        HistoryView view(std::make_unique<StoreHistory>(client));
        view.grid()->viewport()->installEventFilter(&watch);
        view.load();
        view.show();
        while (!watch.painted)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const double firstPaint = timer.nsecsElapsed() / 1e6;
        out << "round " << round << ": open to first paint " << QString::number(firstPaint, 'f', 1)
            << " ms, pages read " << view.model()->pagesRead() << "\n";

        QTableView* grid = view.grid();
        QScrollBar* bar = grid->verticalScrollBar();
        QList<double> steps;
        for (int i = 0; i < 200; ++i)
            steps << paintAfter(grid, watch, [bar] { bar->triggerAction(QAbstractSlider::SliderPageStepAdd); });
        std::sort(steps.begin(), steps.end());
        out << "  page down x200 from the top: median " << QString::number(steps[100], 'f', 2) << " ms, max "
            << QString::number(steps.last(), 'f', 2) << " ms\n";

        const double middle = paintAfter(grid, watch, [bar] { bar->setValue(bar->maximum() / 2); });
        steps.clear();
        for (int i = 0; i < 200; ++i)
            steps << paintAfter(grid, watch, [bar] { bar->triggerAction(QAbstractSlider::SliderSingleStepAdd); });
        std::sort(steps.begin(), steps.end());
        out << "  jump to the middle " << QString::number(middle, 'f', 1) << " ms; line down x200 there: median "
            << QString::number(steps[100], 'f', 2) << " ms, max " << QString::number(steps.last(), 'f', 2) << " ms\n";

        const double bottom = paintAfter(grid, watch, [grid] { grid->scrollToBottom(); });
        steps.clear();
        for (int i = 0; i < 100; ++i)
            steps << paintAfter(grid, watch, [bar] { bar->triggerAction(QAbstractSlider::SliderPageStepSub); });
        std::sort(steps.begin(), steps.end());
        out << "  jump to the bottom " << QString::number(bottom, 'f', 1) << " ms; page up x100 there: median "
            << QString::number(steps[50], 'f', 2) << " ms, max " << QString::number(steps.last(), 'f', 2)
            << " ms; pages read " << view.model()->pagesRead() << " (" << view.model()->pagesReadByKey()
            << " of them next to a page already read)\n";
        out.flush();
    }
    return 0;
}
