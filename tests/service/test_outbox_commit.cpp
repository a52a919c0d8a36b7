// The store killed at every step of the commit that stores a result on a machine that has
// joined a school server. Whatever step it dies before, the result's row, its log and its
// outbox entry (three tables in two files) are there together or not at all, and the program's
// next try, which reaches a store started again, leaves exactly one of each.

#include "exercise/exercise_file_format.h"
#include "exercise/exercise_text.h"
#include "grades/grade_store.h"
#include "platform/clock.h"
#include "store/store_client.h"
#include "support/test_support.h"
#include "support/typing_logs.h"

#include <QEventLoop>
#include <QFile>
#include <QtTest>

#include <csignal>

namespace {

bool alive(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    return pid > 0 && status.open(QIODevice::ReadOnly) && !status.readAll().contains("State:\tZ");
}

// How many rows each of the three tables holds, and whether the log and the outbox entry
// name the row.
struct Stored {
    qint64 rows = -1, logs = -1, entries = -1;
    bool together = false;
};

Stored storedIn(const TestSupport::AppFolder& app)
{
    // Read as the next store would: a transaction a death left behind is rolled back first.
    Database db = Database::open(app.gradeDatabase(), Database::Mode::ReadWrite, GradeStore::databasePassword);
    db.attach(app.file(QStringLiteral("data/typelab-store.db")), QStringLiteral("store"));
    Statement count = db.prepare(QStringLiteral(
        "SELECT (SELECT count(*) FROM stdgrade), (SELECT count(*) FROM store.result_log),"
        " (SELECT count(*) FROM store.outbox),"
        " (SELECT count(*) FROM stdgrade g JOIN store.result_log l ON l.grade_rowid = g.rowid"
        "  JOIN store.outbox o ON o.grade_rowid = g.rowid)"));
    count.step();
    Stored stored{count.integer(0), count.integer(1), count.integer(2)};
    stored.together = count.integer(3) == stored.rows;
    return stored;
}

} // namespace

class TestOutboxCommit : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestSupport::prepareApplication();
        qputenv("LD_PRELOAD", TYPELAB_DIE_SHIM);
        qputenv("TYPELAB_DIE_PROGRAM", "typelab-store");
        // A sanitized build's runtime would otherwise insist on coming first.
        qputenv("ASAN_OPTIONS", qgetenv("ASAN_OPTIONS") + ":verify_asan_link_order=0");
        // The forwarder has no server to reach here; it waits long between tries.
        qputenv("TYPELAB_FORWARD_LONGEST_PAUSE", "600000");
    }

    void everyStepOfTheCommit()
    {
        int deaths = 0;
        int survivals = 0;
        for (int step = 1; survivals < 2 && step <= 80; ++step) {
            TestSupport::AppFolder app;
            app.writeFile(QStringLiteral("yw/ydzcs3.dat"), ExerciseFileFormat::build(TypingLogs::kEnglishText));
            // Joined to a school server (one nobody listens for): results go into the outbox.
            app.writeFile(QStringLiteral("server/server"), "host=127.0.0.1 port=9 dbname=typelab user=pc1\n");
            const QString armed = app.file(QStringLiteral("armed"));
            qputenv("TYPELAB_DIE_ARMED", armed.toUtf8());
            qputenv("TYPELAB_DIE_AT", QByteArray::number(step));
            ExerciseLoader::setRandomSourceForTests([] { return 0.3f; });
            Clock::setSteady(1'000'000'000);

            StoreClient client(app.path());
            const LoginReply login = client.practiceLogin(QStringLiteral("2024001"), QStringLiteral("张三"));
            QVERIFY(login.ok());
            const OpenReply opened = client.openExercise(login.session, ExerciseKind::English);
            QVERIFY(opened.ok());
            Clock::setSteady(*Clock::steady() + 601'500);
            const qint64 first = client.childProcessId();

            QVERIFY(QFile(armed).open(QIODevice::WriteOnly));
            bool done = false;
            FinishReply reply;
            client.finishExercise(login.session, opened.exercise, TypingLogs::tenMinutes(), this,
                                  [&](const FinishReply& answer) {
                                      reply = answer;
                                      done = true;
                                  });
            QTRY_VERIFY_WITH_TIMEOUT(done || !alive(first), 30'000);
            QFile::remove(armed); // the store started again runs to the end
            const bool died = !alive(first);
            QTRY_VERIFY_WITH_TIMEOUT(done, 60'000);
            QVERIFY2(reply.ok(), qPrintable(reply.message));

            Stored stored;
            try {
                stored = storedIn(app);
            } catch (const DbError& error) {
                QFAIL(qPrintable(QStringLiteral("step %1: %2").arg(step).arg(error.describe())));
            }
            QCOMPARE(stored.rows, 1);
            QCOMPARE(stored.logs, 1);
            QCOMPARE(stored.entries, 1);
            QVERIFY(stored.together);
            died ? ++deaths : ++survivals;
        }
        // Two journals, the super-journal, both files and the deletions: at least five steps,
        // each of which the store was killed before.
        qInfo("the store was killed before each of %d steps of finishing", deaths);
        QVERIFY2(deaths >= 5, qPrintable(QString::number(deaths)));
    }
};

QTEST_MAIN(TestOutboxCommit)
#include "test_outbox_commit.moc"
