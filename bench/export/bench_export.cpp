// Export of 100 000 results from a collection file to XLSX and to CSV: the read through the
// hardened open, the sort and the write, each timed, over three runs.

#include "collect/collection_store.h"
#include "collect/lab_fixture.h"
#include "collect/score_export.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>

namespace {
constexpr int kRows = 100000;
constexpr int kBatches = 40;
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    Lab lab;
    QList<CollectionRow> rows;
    rows.reserve(kRows);
    for (int i = 0; i < kRows; ++i)
        rows << CollectionRow{QStringLiteral("2026%1").arg(i, 6, 10, QChar(u'0')),
                              QStringLiteral("学生%1").arg(i % 997),
                              i % 2 ? QStringLiteral("中文") : QStringLiteral("英文"),
                              i % 101,
                              40 + i % 160,
                              60 + i % 41,
                              QDate(2026, 12, 1 + i % 7),
                              QTime(8 + i % 10, i % 60, (i * 7) % 60),
                              QStringLiteral("B%1").arg(i % kBatches)};
    Lab::makeCollectionFile(lab.teachersFile(), rows);

    for (const QString& name : {QStringLiteral("scores.xlsx"), QStringLiteral("scores.csv")}) {
        QList<double> read, write;
        const QString output = lab.teacher() + u'/' + name;
        for (int run = 0; run < 3; ++run) {
            QElapsedTimer timer;
            timer.start();
            QList<CollectionRow> loaded = ScoreExport::readSource(lab.teachersFile(), QString());
            ScoreExport::sortForExport(loaded);
            read << timer.nsecsElapsed() / 1e6;
            timer.restart();
            const ScoreExport::Outcome outcome = ScoreExport::write(loaded, output);
            write << timer.nsecsElapsed() / 1e6;
            if (!outcome.written || outcome.rows != kRows) {
                fprintf(stderr, "%s\n", qPrintable(outcome.message));
                return 1;
            }
        }
        std::sort(read.begin(), read.end());
        std::sort(write.begin(), write.end());
        printf("%s: %d rows, read and sort %.0f ms, write %.0f ms, total %.0f ms (median of 3), file %lld bytes\n",
               qPrintable(name), kRows, read[1], write[1], read[1] + write[1], QFileInfo(output).size());
    }
    return 0;
}
