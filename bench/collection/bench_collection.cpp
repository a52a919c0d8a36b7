// Network collection over a laboratory of 60 machines, each holding 200 results of the
// collected batch among 200 of other batches. Every machine's grade database is encrypted,
// so each one costs a key derivation on opening. Run through tests/collect/with_smb_lab.sh 60,
// the machines are read over SMB shares instead of local folders.

#include "collect/collection_store.h"
#include "collect/lab_fixture.h"
#include "collect/network_collection.h"
#include "collect/score_collection.h"
#include "collect/source_read.h"
#include "platform/key_derivation.h"
#include "platform/paths.h"
#include "support/test_support.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>

#include <algorithm>

#include <cstdio>

namespace {

constexpr int kMachines = 60;
constexpr int kRowsOfBatch = 200;
constexpr int kOtherRows = 200;

class QuietView : public CollectionView {
public:
    void setProgressLine(const QString& text) override { last = text; }
    void setResultLine(const QString&) override {}
    QString last;
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    TestSupport::prepareApplication();
    Lab lab;
    // Over a share: each machine's database is written on its server's side, read through the mount.
    const QString shared = qEnvironmentVariable("TYPELAB_SMB_LAB");
    auto databaseOf = [&](int machine) {
        return shared.isEmpty() ? lab.machineDatabase(machine)
                                : QStringLiteral("%1/m%2/c/data/stugrade.mdb").arg(shared).arg(machine);
    };
    const QString prefix = shared.isEmpty() ? lab.prefix() : shared + QStringLiteral("/lab/PC");
    QElapsedTimer setup;
    setup.start();
    for (int machine = 1; machine <= kMachines; ++machine) {
        QList<GradeRow> rows;
        for (int i = 0; i < kRowsOfBatch + kOtherRows; ++i) {
            const QString batch = i % 2 == 0 ? QStringLiteral("B1") : QStringLiteral("B%1").arg(2 + i % 5);
            rows << Lab::result(QStringLiteral("%1%2").arg(machine, 4, 10, QChar(u'0')).arg(i, 6, 10, QChar(u'0')),
                                batch, 60 + i % 40);
        }
        Lab::makeGradeDatabase(databaseOf(machine), rows);
    }
    printf("lab of %d machines (%s) built in %.1f s\n", kMachines, shared.isEmpty() ? "local folders" : "SMB shares",
           setup.nsecsElapsed() / 1e9);

    QList<double> times;
    for (int run = 0; run < 3; ++run) {
        QFile::remove(lab.teachersFile());
        QuietView view;
        NetworkCollection collection(view);
        QEventLoop loop;
        QObject::connect(&collection, &NetworkCollection::finished, &loop, &QEventLoop::quit);
        QElapsedTimer timer;
        timer.start();
        collection.start(prefix, QStringLiteral("B1"));
        loop.exec();
        times << timer.nsecsElapsed() / 1e6;
        const qint64 stored = Lab::collectionRows(lab.teachersFile());
        if (stored != qint64(kMachines) * kRowsOfBatch
            || !view.last.startsWith(QStringLiteral("共回收 12000条记录。"))) {
            fprintf(stderr, "stored %lld rows, last line %s\n", stored, qPrintable(view.last));
            return 1;
        }
    }
    const double rows = double(kMachines) * kRowsOfBatch;
    for (double ms : times)
        printf("network collection, %d machines x %d rows of the batch: %.0f ms, %.0f rows/s, %.1f ms per machine\n",
               kMachines, kRowsOfBatch, ms, rows / (ms / 1000), ms / kMachines);

    // The floor: the engine's own command-line tool reading the same files one after another
    // in one process (Debian package sqlcipher).
    QString script;
    for (int machine = 1; machine <= kMachines; ++machine)
        script +=
            QStringLiteral("ATTACH '%1' AS m KEY '857'; SELECT count(*) FROM m.stdgrade WHERE lrpc = 'B1'; DETACH m;\n")
                .arg(Paths::toLocal(ScoreCollection::machineDatabase(prefix, machine)));
    QList<double> floors;
    for (int run = 0; run < 3; ++run) {
        QProcess tool;
        QElapsedTimer timer;
        timer.start();
        tool.start(QStringLiteral("sqlcipher"), {QStringLiteral(":memory:")});
        tool.write(script.toUtf8());
        tool.closeWriteChannel();
        if (!tool.waitForFinished(60000) || tool.exitCode() != 0) {
            printf("floor not measured: install the sqlcipher command-line tool\n");
            break;
        }
        floors << timer.nsecsElapsed() / 1e6;
    }
    if (!floors.isEmpty()) {
        std::sort(times.begin(), times.end());
        std::sort(floors.begin(), floors.end());
        printf("floor, sqlcipher reading the %d files in one process: %.0f ms; collection / floor: %.2f\n", kMachines,
               floors[floors.size() / 2], times[times.size() / 2] / floors[floors.size() / 2]);
    }

    // Where one machine's time goes: its reader process as a whole, and the key derivation in it.
    QList<double> readers;
    for (int machine = 1; machine <= 10; ++machine) {
        QProcess reader;
        QElapsedTimer timer;
        timer.start();
        reader.start(SourceRead::readerProgram(),
                     {QStringLiteral("grades"), Paths::toLocal(ScoreCollection::machineDatabase(prefix, machine)),
                      QStringLiteral("B1"), QStringLiteral("100")});
        reader.waitForFinished();
        readers << timer.nsecsElapsed() / 1e6;
    }
    std::sort(readers.begin(), readers.end());
    QElapsedTimer derive;
    derive.start();
    KeyDerivation::pbkdf2HmacSha1("857", QByteArray(16, 'x'), KeyDerivation::rounds, KeyDerivation::keyBytes);
    printf(
        "one machine's reader process (start, open, checks, read, frames): %.1f ms, of which the key derivation %.1f ms\n",
        readers[readers.size() / 2], derive.nsecsElapsed() / 1e6);
    return 0;
}
