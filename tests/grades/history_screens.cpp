// Shows the history view filtered, or a student's progress chart, on a real display for the
// README's pictures: history_screens filtered|chart [seconds]. Prints the window's frame as
// WxH+X+Y once it is drawn and stays up for the given seconds (8).

#include "grades/history_view.h"
#include "grades/progress_chart.h"
#include "store/store_client.h"
#include "store/store_history.h"
#include "support/test_support.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTableView>
#include <QTimer>
#include <cmath>
#include <cstdio>

namespace {

// Two weeks of a class's results (the store keeps 15 days), a test every few days in batches
// B1..B4; 2024030104 takes practice twice a day and gets better.
void fill(const TestSupport::AppFolder& folder)
{
    GradeStore store = folder.store();
    const QDate last(2026, 12, 14);
    const char* const names[] = {"刘洋", "张伟", "王芳", "李娜", "陈静", "杨帆", "赵磊", "黄敏"};
    for (int day = 0; day < 15; ++day) {
        const QDate date = last.addDays(day - 14);
        const bool testDay = day % 3 == 1;
        for (int student = 0; student < 8; ++student) {
            const bool chinese = (day + student) % 2 == 1;
            const double growth = day * (chinese ? 1.5 : 4.0);
            const double speed = (chinese ? 35 : 90) + student * 6 + growth + std::sin(day * 1.7 + student) * 8;
            const double accuracy = std::min(100.0, 82 + day * 0.8 + std::cos(day + student) * 4);
            GradeRow row{QStringLiteral("20240301%1").arg(student + 4, 2, 10, QLatin1Char('0')),
                         QString::fromUtf8(names[student]),
                         chinese ? QStringLiteral("中文") : QStringLiteral("英文"),
                         std::min(100.0, std::round(speed * (chinese ? 1.0 : 0.5) * accuracy / 100)),
                         std::round(speed),
                         std::round(accuracy),
                         date,
                         QTime(8 + student % 3, 5 * student + day % 5, 0),
                         testDay ? QStringLiteral("B%1").arg(1 + day / 3) : QString()};
            store.addResult(row);
            if (student == 0) {
                // The second practice of the day, in the other kind.
                row.lrxm = chinese ? QStringLiteral("英文") : QStringLiteral("中文");
                row.lrsd =
                    std::round(chinese ? 90 + day * 4.0 + std::sin(day) * 9 : 35 + day * 1.5 + std::cos(day) * 4);
                row.lrzql = std::round(std::min(100.0, 80 + day + std::sin(day * 2.3) * 5));
                row.lrcj = std::min(100.0, std::round(row.lrsd * (chinese ? 0.5 : 1.0) * row.lrzql / 100));
                row.lrtime = QTime(15, 30 + day, 0);
                row.lrpc.clear();
                store.addResult(row);
            }
        }
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    TestSupport::prepareApplication();
    const QString which = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("filtered");
    const int seconds = argc > 2 ? atoi(argv[2]) : 8;

    TestSupport::AppFolder folder;
    fill(folder);
    StoreClient client(folder.path());
    StoreHistory source(client);

    std::unique_ptr<QDialog> window;
    if (which == QLatin1String("chart")) {
        window = makeProgressChart(nullptr, source, QStringLiteral("2024030104"));
    } else {
        auto* view = new HistoryView(std::make_unique<StoreHistory>(client));
        window.reset(view);
        view->load();
        view->findChild<QLineEdit*>(QStringLiteral("Text1_0"))->setText(QStringLiteral("2024030104"));
        view->findChild<QLineEdit*>(QStringLiteral("Text1_3"))->setText(QStringLiteral("2026-12-05"));
        view->findChild<QLineEdit*>(QStringLiteral("Text1_4"))->setText(QStringLiteral("2026/12/14"));
        view->findChild<QComboBox*>(QStringLiteral("Combo1"))->setCurrentIndex(0);
        view->applyFilter();
        // As a supervisor sees it: every button under the results at work.
        ResultTools tools;
        tools.mistakes = [](QWidget*, const GradeRow&) {};
        tools.studentMistakes = [](QWidget*, const QString&) {};
        tools.replay = [](QWidget*, const GradeRow&) {};
        view->setResultTools(tools);
        view->grid()->selectRow(0);
    }
    if (!window)
        return 1;
    window->move(20, 20);
    window->show();
    QTimer::singleShot(1500, [&window] {
        const QRect frame = window->frameGeometry();
        std::printf("%dx%d+%d+%d\n", frame.width(), frame.height(), frame.x(), frame.y());
        std::fflush(stdout);
    });
    QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    return app.exec();
}
