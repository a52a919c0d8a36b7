// The start-up purge: 100 000 results older than 15 days among 100 000 newer ones (and as many
// test logins), removed in one transaction.

#include "support/test_support.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QDate today(2026, 12, 8);
    QList<double> times;
    for (int run = 0; run < 3; ++run) {
        TestSupport::AppFolder folder;
        {
            GradeStore store = folder.store();
            Transaction transaction(GradeStoreInspector::database(store));
            for (int i = 0; i < 200000; ++i) {
                const bool old = i % 2 == 0;
                const QDate date = today.addDays(old ? -(15 + i % 60) : -(i % 15));
                store.addResult({QStringLiteral("20260%1").arg(i % 100000, 5, 10, QChar('0')), QStringLiteral("学生"),
                                 QStringLiteral("中文"), 60, 80, 90, date, QTime(8 + i % 10, i % 60),
                                 QStringLiteral("B%1").arg(i % 30)});
                if (i % 10 == 0)
                    store.addTestLogin(QStringLiteral("2026%1").arg(i, 6, 10, QChar('0')), QStringLiteral("B1"), date);
            }
            transaction.commit();
        }
        GradeStore store = folder.store();
        QElapsedTimer timer;
        timer.start();
        const auto counts = store.purgeOld(today);
        times << timer.nsecsElapsed() / 1e6;
        if (counts.results != 100000 || store.resultCount() != 100000) {
            fprintf(stderr, "purged %lld results, %lld left\n", counts.results, store.resultCount());
            return 1;
        }
    }
    printf("purge of 100000 old among 200000 results (+ 20000 test logins): %.0f ms, %.0f ms, %.0f ms\n", times[0],
           times[1], times[2]);
    return 0;
}
