// The teacher's collection of a 2 000-result batch from the school server into a new file: a
// real cluster set up by the built typelab-server, one enrolled machine that submitted the batch
// (and 8 000 results of other batches beside it) through typelab.submit, and the collection as
// the dialog runs it: TLS connection with the teacher's password, the batch's rows, the file
// made and the rows appended. Prints each run and the median.
//   bench_server_collection [RUNS]

#include "collect/server_collection.h"
#include "school_fixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

struct QuietView : CollectionView {
    void setProgressLine(const QString& text) override { last = text; }
    void setResultLine(const QString&) override {}
    QString last;
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? qMax(1, atoi(argv[1])) : 9;
    constexpr int kBatch = 2000;
    constexpr int kOthers = 8000;
    try {
        SchoolServer server;
        server.start();
        QTemporaryDir appFolder;
        server.installCa(appFolder.path());

        QElapsedTimer setup;
        setup.start();
        Pg::Connection& machine = server.machine(QStringLiteral("PC01"));
        machine.exec(QStringLiteral("BEGIN"));
        SchoolServer::Result result;
        for (int i = 0; i < kBatch + kOthers; ++i) {
            result.xh = QStringLiteral("2026%1").arg(i, 6, 10, QChar(u'0'));
            result.batch = i < kBatch ? QStringLiteral("B2000") : QStringLiteral("O%1").arg(i % 40);
            result.lrcj = 40 + (i * 7) % 61;
            result.lrtime = QTime(8, 0).addSecs(i);
            server.submit(QStringLiteral("PC01"), result);
        }
        machine.exec(QStringLiteral("COMMIT"));
        server.cluster.superuser().exec(QStringLiteral("ANALYZE typelab.result"));
        printf("server: %d results of the batch and %d of others submitted in %.1f s\n", kBatch, kOthers,
               setup.elapsed() / 1000.0);

        const ServerLogin login{server.address(), QString::fromLatin1(SchoolServer::kTeacher),
                                QString::fromLatin1(SchoolServer::kPassword)};
        QList<double> times;
        for (int run = 0; run < runs; ++run) {
            QTemporaryDir working;
            QDir::setCurrent(working.path());
            QuietView view;
            ServerCollection collection(view);
            QEventLoop loop;
            QObject::connect(&collection, &ServerCollection::finished, &loop, &QEventLoop::quit);
            QElapsedTimer clock;
            clock.start();
            collection.start(login, appFolder.path(), QStringLiteral("b2000"));
            if (collection.running())
                loop.exec();
            const double ms = clock.nsecsElapsed() / 1e6;
            if (collection.rowsStored() != kBatch) {
                fprintf(stderr, "run %d stored %lld rows: %s\n", run, collection.rowsStored(), qPrintable(view.last));
                return 1;
            }
            times << ms;
            printf("run %d: %d rows into a new file in %.1f ms\n", run + 1, kBatch, ms);
        }
        std::sort(times.begin(), times.end());
        printf("median %.1f ms, fastest %.1f ms, slowest %.1f ms over %d runs (target: at most 1000 ms)\n",
               times.at(times.size() / 2), times.first(), times.last(), runs);
        server.cluster.stop();
    } catch (const std::exception& error) {
        fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
