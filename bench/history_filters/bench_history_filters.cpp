// How long the store takes to give a filtered page of a long history, read as the program
// reads it (a call to the store child: the count and the first page, a page by key deep in the
// rows, the last page), how long the history view takes from 查询 to its first paint, and how
// long the progress chart of a student with 1 000 results takes from the request to its paint.
//   bench_history_filters [ROWS]   (default 100000)

#include "grades/history_model.h"
#include "grades/history_view.h"
#include "grades/progress_chart.h"
#include "store/store_client.h"
#include "store/store_history.h"
#include "support/test_support.h"

#include <QApplication>
#include <QChartView>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTableView>
#include <QTextStream>

#include <algorithm>
#include <functional>

using HistoryPages::Filter;

namespace {

constexpr int kStudents = 2000;
const QString kChartStudent = QStringLiteral("2024999999");

class PaintWatch : public QObject {
public:
    int painted = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++painted;
        return QObject::eventFilter(watched, event);
    }
};

QString studentNumber(int student)
{
    return QStringLiteral("20240%1").arg(student, 5, 10, QLatin1Char('0'));
}

// Students take turns; 400 names among 2 000 students, 40 batches and practice, both kinds, 15
// days. One more student has 1 000 results of their own, for the chart.
void fill(const TestSupport::AppFolder& app, int rows, const QDate& today)
{
    GradeStore store = app.store();
    Transaction transaction(GradeStoreInspector::database(store));
    const QString surnames = QStringLiteral("王李张刘陈杨赵黄周吴徐孙胡朱高林何郭马罗");
    const QString given = QStringLiteral("伟芳娜敏静丽强磊军洋勇艳杰娟涛明超秀霞平刚");
    const auto add = [&store, &today](const QString& number, const QString& name, int i) {
        GradeRow row;
        row.xh = number;
        row.xm = name;
        row.lrxm = i % 2 ? QStringLiteral("中文") : QStringLiteral("英文");
        row.lrcj = i % 101;
        row.lrsd = 40 + i % 160;
        row.lrzql = 50 + i % 51;
        row.lrdate = today.addDays(-(i % 15));
        row.lrtime = QTime(7, 0).addSecs(i % 50000);
        row.lrpc = i % 3 ? QStringLiteral("B%1").arg(i % 40) : QString();
        store.addResult(row);
    };
    for (int i = 0; i < rows; ++i) {
        const int student = i % kStudents;
        const int nameIndex = student % 400;
        add(studentNumber(student), QString(surnames.at(nameIndex % 20)) + given.at(nameIndex / 20), i);
    }
    for (int i = 0; i < 1000; ++i)
        add(kChartStudent, QStringLiteral("欧阳明"), i * 7 + 1);
    transaction.commit();
}

QString ms(double value)
{
    return QString::number(value, 'f', 2);
}

// Median and maximum of a step timed `runs` times, in milliseconds.
std::pair<double, double> timed(int runs, const std::function<void()>& step)
{
    QList<double> times;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        step();
        times << timer.nsecsElapsed() / 1e6;
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.last()};
}

void waitForPaint(PaintWatch& watch, int paints)
{
    while (watch.painted < paints)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    TestSupport::prepareApplication();
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    QTextStream out(stdout);

    TestSupport::AppFolder folder;
    const QDate today = QDate::currentDate();
    QElapsedTimer timer;
    timer.start();
    fill(folder, rows, today);
    out << "rows: " << rows + 1000 << " (stored in " << timer.elapsed() << " ms)\n";

    StoreClient client(folder.path());
    timer.restart();
    client.history({}, HistoryPages::Cursor::at(0), 0);
    out << "store started, indexes made on first opening: " << timer.elapsed() << " ms\n\n";

    const QString week = today.addDays(-6).toString(Qt::ISODate);
    const QString day = today.addDays(-3).toString(Qt::ISODate);
    const struct {
        const char* what;
        Filter filter;
    } cases[] = {
        {"none (whole history)", Filter()},
        {"number", Filter{studentNumber(1234), {}, {}, {}, {}, std::nullopt}},
        {"name", Filter{{}, QStringLiteral("周芳"), {}, {}, {}, std::nullopt}},
        {"batch", Filter{{}, {}, QStringLiteral("b17"), {}, {}, std::nullopt}},
        {"kind", Filter{{}, {}, {}, {}, {}, ExerciseKind::Chinese}},
        {"one day", Filter{{}, {}, {}, day, day, std::nullopt}},
        {"a week", Filter{{}, {}, {}, week, {}, std::nullopt}},
        {"kind and a week", Filter{{}, {}, {}, week, {}, ExerciseKind::English}},
        {"batch and kind", Filter{{}, {}, QStringLiteral("B20"), {}, {}, ExerciseKind::English}},
        {"number, kind, week", Filter{studentNumber(77), {}, {}, week, {}, ExerciseKind::Chinese}},
        {"every box",
         Filter{studentNumber(20), QStringLiteral("王芳"), QStringLiteral("B20"), week, today.toString(Qt::ISODate),
                ExerciseKind::English}},
    };
    out << "filtered page through the store, median / max of 20 calls in ms:\n";
    out << "  filter                 rows    count+first page   page by key (middle)   last page\n";
    for (const auto& each : cases) {
        const PageReply whole = client.history(each.filter, HistoryPages::Cursor::at(0), HistoryModel::kPageSize);
        const qint64 count = whole.count;
        const auto first = timed(20, [&] { client.history(each.filter, HistoryPages::Cursor::at(0), HistoryModel::kPageSize); });
        HistoryPages::Key middle = whole.page.last;
        if (count > 2 * HistoryModel::kPageSize)
            middle = client.history(each.filter, HistoryPages::Cursor::at(count / 2), 1).page.first;
        const auto byKey =
            timed(20, [&] { client.history(each.filter, HistoryPages::Cursor::olderThan(middle), HistoryModel::kPageSize); });
        const auto last = timed(20, [&] {
            client.history(each.filter, HistoryPages::Cursor::at(qMax<qint64>(0, count - HistoryModel::kPageSize)),
                                     HistoryModel::kPageSize);
        });
        out << "  " << QString::fromUtf8(each.what).leftJustified(20) << QString::number(count).rightJustified(7)
            << "    " << (ms(first.first) + " / " + ms(first.second)).leftJustified(19)
            << (ms(byKey.first) + " / " + ms(byKey.second)).leftJustified(23) << ms(last.first) << " / "
            << ms(last.second) << "\n";
        out.flush();
    }

    out << "\nhistory view, 查询 to the first paint of the filtered rows:\n";
    {
        HistoryView view(std::make_unique<StoreHistory>(client));
        view.load();
        view.show();
        PaintWatch watch;
        view.grid()->viewport()->installEventFilter(&watch);
        waitForPaint(watch, 1);
        auto* number = view.findChild<QLineEdit*>(QStringLiteral("Text1_0"));
        auto* from = view.findChild<QLineEdit*>(QStringLiteral("Text1_3"));
        auto* kind = view.findChild<QComboBox*>(QStringLiteral("Combo1"));
        const struct {
            const char* what;
            QString number, from;
            int kind;
        } typed[] = {{"number", studentNumber(1234), {}, 0}, {"kind", {}, {}, 2}, {"kind and a week", {}, week, 1}};
        for (const auto& each : typed) {
            QList<double> times;
            for (int run = 0; run < 10; ++run) {
                // Each run starts from the whole history.
                number->clear();
                from->clear();
                kind->setCurrentIndex(0);
                view.applyFilter();
                waitForPaint(watch, watch.painted + 1);
                number->setText(each.number);
                from->setText(each.from);
                kind->setCurrentIndex(each.kind);
                QCoreApplication::processEvents();
                watch.painted = 0;
                QElapsedTimer clock;
                clock.start();
                view.applyFilter();
                waitForPaint(watch, 1);
                times << clock.nsecsElapsed() / 1e6;
            }
            std::sort(times.begin(), times.end());
            out << "  " << QString::fromUtf8(each.what).leftJustified(20) << view.model()->rowCount()
                << " rows: median " << ms(times[5]) << " ms, max " << ms(times.last()) << " ms\n";
            out.flush();
        }
    }

    out << "\nprogress chart of a student with 1000 results, request to the paint of its three charts:\n";
    StoreHistory source(client);
    for (int round = 1; round <= 5; ++round) {
        QElapsedTimer parts;
        parts.start();
        const QList<GradeRow> results = source.studentResults(kChartStudent).rows;
        const qint64 readAt = parts.nsecsElapsed();
        std::unique_ptr<ProgressChart> chart = makeProgressChart(nullptr, source, kChartStudent);
        const qint64 madeAt = parts.nsecsElapsed();
        PaintWatch watch;
        for (QChartView* view : chart->findChildren<QChartView*>())
            view->viewport()->installEventFilter(&watch);
        chart->show();
        waitForPaint(watch, 3);
        const qint64 paintedAt = parts.nsecsElapsed();
        // The window reads the results itself; the first read above only times the store call.
        out << "  round " << round << ": " << results.size() << " results; store call " << ms(readAt / 1e6)
            << " ms; read and window made " << ms((madeAt - readAt) / 1e6) << " ms; shown and painted "
            << ms((paintedAt - madeAt) / 1e6) << " ms; request to paint " << ms((paintedAt - readAt) / 1e6) << " ms\n";
        out.flush();
    }
    return 0;
}
