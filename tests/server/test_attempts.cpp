// One attempt per batch and student across the school, as machines meet it on a real cluster:
// claims at the test login (and a thousand races of two machines for one claim), the
// supervisor's allowances, claims sent late from an outbox, progress notes, the teachers' views
// and their duplicate marks, the notifications and who may call what.
#include "support/pg_cluster.h"

#include "sent_result.h"

#include <QtTest>

#include <barrier>
#include <thread>

namespace {

QString call(Pg::Connection& connection, const QString& sql, const QList<Pg::Param>& values)
{
    return connection.exec(sql, values).text(0, 0);
}

QString claim(Pg::Connection& machine, const QString& batch, const QString& xh, const QString& xm = QStringLiteral("张三"))
{
    return call(machine, QStringLiteral("SELECT typelab.claim_attempt($1, $2, $3)"), {batch, xh, xm});
}

QString allow(Pg::Connection& machine, const QString& id, const QString& batch, const QString& xh)
{
    return call(machine, QStringLiteral("SELECT typelab.allow_attempt($1, $2, $3, '张三')"), {id, batch, xh});
}

QString recordClaim(Pg::Connection& machine, const QString& id, const QString& batch, const QString& xh)
{
    return call(machine,
                QStringLiteral("SELECT typelab.record_claim($1, $2, $3, '张三', '2026-12-09 08:00:00+08')"),
                {id, batch, xh});
}

QString noteProgress(Pg::Connection& machine, const QString& batch, const QString& xh, int typed, int secondsLeft)
{
    return call(machine, QStringLiteral("SELECT typelab.note_progress($1, $2, '张三', $3, $4)"),
                {batch, xh, QString::number(typed), QString::number(secondsLeft)});
}

QString sqlStateOf(Pg::Connection& connection, const QString& sql)
{
    try {
        connection.exec(sql);
    } catch (const Pg::Error& error) {
        return error.sqlState();
    }
    return QStringLiteral("succeeded");
}

// A result of a test batch (its log is never replayed here).
SentResult testResult(const QString& batch, const QString& xh)
{
    SentResult sent;
    sent.batch = batch;
    sent.xh = xh;
    sent.score = 88;
    sent.speed = 120;
    sent.accuracy = 97;
    sent.text = "Typing text.\r\n";
    sent.log = "TKL1";
    return sent;
}

QStringList rows(Pg::Connection& db, const QString& sql, const QList<Pg::Param>& values = {})
{
    const Pg::Result result = db.exec(sql, values);
    QStringList lines;
    for (int row = 0; row < result.rows(); ++row) {
        QStringList fields;
        for (int column = 0; column < result.columns(); ++column)
            fields << (result.isNull(row, column) ? QStringLiteral("-") : result.text(row, column));
        lines << fields.join(QLatin1Char('|'));
    }
    return lines;
}

} // namespace

class TestAttempts : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void firstClaimWinsWhateverTheCase();
    void twoMachinesClaimingAtOnceHaveOneWinner();
    void allowancesAndLateClaimsAreRecordedNeverRefused();
    void progressAndResultsShowInTheLiveView();
    void notificationsComeWithTheCommit();
    void machinesTeachersAndTheVerifierKeepToTheirFunctions();

private:
    Pg::Connection machine(const QString& name) { return Pg::Connection::open(machines_.value(name)); }
    Pg::Connection teacher()
    {
        return Pg::Connection::open(cluster_.teacherParameters(QStringLiteral("teacher.zhao"), QStringLiteral("secret words")));
    }

    PgCluster cluster_;
    QHash<QString, Pg::ConnectionParameters> machines_;
};

void TestAttempts::initTestCase()
{
    PG_CLUSTER_TRY(cluster_.start());
    for (const char* name : {"PC-A", "PC-B", "PC-C"})
        PG_CLUSTER_TRY(machines_.insert(QString::fromLatin1(name), cluster_.machine(QString::fromLatin1(name))));
    PG_CLUSTER_TRY(cluster_.addTeacher(QStringLiteral("teacher.zhao"), QStringLiteral("secret words")));
}

void TestAttempts::cleanupTestCase()
{
    cluster_.stop();
}

void TestAttempts::firstClaimWinsWhateverTheCase()
{
    Pg::Connection a = machine(QStringLiteral("PC-A"));
    Pg::Connection b = machine(QStringLiteral("PC-B"));
    QCOMPARE(claim(a, QStringLiteral("B1"), QStringLiteral("2026A00001")), QStringLiteral("granted"));
    QCOMPARE(claim(a, QStringLiteral("B1"), QStringLiteral("2026A00001")), QStringLiteral("again"));
    QCOMPARE(claim(b, QStringLiteral("b1"), QStringLiteral("2026a00001")), QStringLiteral("elsewhere:PC-A"));
    QCOMPARE(claim(b, QStringLiteral("B1"), QStringLiteral("2026A00002")), QStringLiteral("granted"));
    // The refusal's message names the time of the claim, by the server's clock.
    QCOMPARE(call(b, QStringLiteral("SELECT typelab.claimed_at('b1', '2026A00001') BETWEEN now() - interval '1 minute' "
                                    "AND now()"),
                  {}),
             QStringLiteral("t"));
    QVERIFY(b.exec(QStringLiteral("SELECT typelab.claimed_at('B1', 'nobody')")).isNull(0, 0));
    QCOMPARE(sqlStateOf(a, QStringLiteral("SELECT typelab.claim_attempt('B1', NULL, 'x')")), QStringLiteral("22023"));
    QCOMPARE(sqlStateOf(a, QStringLiteral("SELECT typelab.claim_attempt(repeat('b', 21), '1', 'x')")),
             QStringLiteral("22023"));

    Pg::Connection t = teacher();
    QCOMPARE(rows(t, QStringLiteral("SELECT batch, xh, machine, queued, allowed FROM typelab.claims "
                                    "WHERE lower(batch) = 'b1' ORDER BY xh")),
             (QStringList{QStringLiteral("B1|2026A00001|PC-A|f|-"), QStringLiteral("B1|2026A00002|PC-B|f|-")}));
}

void TestAttempts::twoMachinesClaimingAtOnceHaveOneWinner()
{
    constexpr int kRounds = 1000;
    Pg::Connection a = machine(QStringLiteral("PC-A"));
    Pg::Connection b = machine(QStringLiteral("PC-B"));
    QStringList answersA(kRounds), answersB(kRounds);
    // Both threads leave the barrier together and send the same claim at once.
    std::barrier start(2);
    const auto race = [&](Pg::Connection& connection, QStringList& answers) {
        for (int round = 0; round < kRounds; ++round) {
            start.arrive_and_wait();
            answers[round] = claim(connection, QStringLiteral("RACE"), QStringLiteral("S%1").arg(round));
        }
    };
    std::thread first([&] { race(a, answersA); });
    std::thread second([&] { race(b, answersB); });
    first.join();
    second.join();
    int wonByA = 0;
    for (int round = 0; round < kRounds; ++round) {
        const QString pair = answersA[round] + QLatin1Char(' ') + answersB[round];
        QVERIFY2(pair == QLatin1String("granted elsewhere:PC-A") || pair == QLatin1String("elsewhere:PC-B granted"),
                 qPrintable(QStringLiteral("round %1: %2").arg(round).arg(pair)));
        wonByA += answersA[round] == QLatin1String("granted") ? 1 : 0;
    }
    qInfo("PC-A won %d of %d rounds", wonByA, kRounds);
    Pg::Connection admin = cluster_.superuser();
    QCOMPARE(call(admin, QStringLiteral("SELECT count(*) FROM typelab.claim WHERE batch = 'RACE'"), {}),
             QString::number(kRounds));
    QCOMPARE(call(admin, QStringLiteral("SELECT count(*) FROM typelab.attempt WHERE batch = 'RACE'"), {}),
             QString::number(kRounds));
}

void TestAttempts::allowancesAndLateClaimsAreRecordedNeverRefused()
{
    Pg::Connection a = machine(QStringLiteral("PC-A"));
    Pg::Connection b = machine(QStringLiteral("PC-B"));
    Pg::Connection c = machine(QStringLiteral("PC-C"));
    const QString student = QStringLiteral("2026C00001");

    // Claimed on A; the supervisor allows B, once for each id; the same id is not C's to use.
    QCOMPARE(claim(a, QStringLiteral("B2"), student), QStringLiteral("granted"));
    const QString allowance = QUuid::createUuid().toString(QUuid::WithoutBraces);
    QCOMPARE(allow(b, allowance, QStringLiteral("B2"), student), QStringLiteral("allowed"));
    QCOMPARE(allow(b, allowance, QStringLiteral("B2"), student), QStringLiteral("allowed"));
    QCOMPARE(sqlStateOf(c, QStringLiteral("SELECT typelab.allow_attempt('%1', 'B2', '%2', '张三')").arg(allowance, student)),
             QStringLiteral("23505"));
    Pg::Connection admin = cluster_.superuser();
    QCOMPARE(rows(admin, QStringLiteral("SELECT machine, overrode_machine, allowed_at >= overrode_claimed_at "
                                        "FROM typelab.allowance WHERE batch = 'B2'")),
             QStringList{QStringLiteral("PC-B|PC-A|t")});

    // Claims made while the server was away: the first to arrive takes the claim, the later one
    // is recorded as found, and sending either again changes nothing.
    const QString late = QStringLiteral("2026C00002");
    const QString fromC = QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QString fromA = QUuid::createUuid().toString(QUuid::WithoutBraces);
    QCOMPARE(recordClaim(c, fromC, QStringLiteral("B2"), late), QStringLiteral("granted"));
    QCOMPARE(recordClaim(a, fromA, QStringLiteral("b2"), late), QStringLiteral("elsewhere:PC-C"));
    QCOMPARE(recordClaim(a, fromA, QStringLiteral("b2"), late), QStringLiteral("elsewhere:PC-C"));
    QCOMPARE(recordClaim(c, fromC, QStringLiteral("B2"), late), QStringLiteral("granted"));
    QCOMPARE(recordClaim(c, QUuid::createUuid().toString(QUuid::WithoutBraces), QStringLiteral("B2"), late),
             QStringLiteral("again"));

    Pg::Connection t = teacher();
    QCOMPARE(rows(t, QStringLiteral("SELECT xh, machine, queued, allowed, claimed_on_machine IS NOT NULL, conflicts "
                                    "FROM typelab.claims WHERE batch = 'B2' ORDER BY xh")),
             (QStringList{QStringLiteral("2026C00001|PC-A|f|PC-B|f|-"), QStringLiteral("2026C00002|PC-C|t|-|t|PC-A")}));

    // Every attempt sends its result; all are kept. No claim or allowance covers A's attempt of
    // the late claim, so both of that student's results are duplicates, for the teacher to
    // choose between; B's allowed attempt makes none.
    for (auto [connection, xh] : {std::pair{&a, student}, std::pair{&b, student}, std::pair{&a, late},
                                  std::pair{&c, late}})
        QCOMPARE(testResult(QStringLiteral("B2"), xh).submit(*connection), QStringLiteral("stored"));
    QCOMPARE(rows(t, QStringLiteral("SELECT xh, machine, duplicate FROM typelab.results WHERE lrpc = 'B2' "
                                    "ORDER BY xh, machine")),
             (QStringList{QStringLiteral("2026C00001|PC-A|f"), QStringLiteral("2026C00001|PC-B|f"),
                          QStringLiteral("2026C00002|PC-A|t"), QStringLiteral("2026C00002|PC-C|t")}));
    // A third machine with a result and no claim or allowance marks all three.
    QCOMPARE(testResult(QStringLiteral("B2"), student).submit(c), QStringLiteral("stored"));
    QCOMPARE(rows(t, QStringLiteral("SELECT machine, duplicate FROM typelab.results WHERE lrpc = 'B2' "
                                    "AND xh = $1 ORDER BY machine"),
                  {student}),
             (QStringList{QStringLiteral("PC-A|t"), QStringLiteral("PC-B|t"), QStringLiteral("PC-C|t")}));
    QCOMPARE(rows(t, QStringLiteral("SELECT xh, machine, duplicate FROM typelab.attempts WHERE lower(batch) = 'b2' "
                                    "ORDER BY xh, machine")),
             (QStringList{QStringLiteral("2026C00001|PC-A|t"), QStringLiteral("2026C00001|PC-B|t"),
                          QStringLiteral("2026C00001|PC-C|t"), QStringLiteral("2026C00002|PC-A|t"),
                          QStringLiteral("2026C00002|PC-C|t")}));
    // Nothing was deleted on the way.
    QCOMPARE(call(admin, QStringLiteral("SELECT count(*) FROM typelab.queued_claim WHERE batch IN ('B2', 'b2')"), {}),
             QStringLiteral("3"));
}

void TestAttempts::progressAndResultsShowInTheLiveView()
{
    Pg::Connection a = machine(QStringLiteral("PC-A"));
    Pg::Connection t = teacher();
    const QString student = QStringLiteral("2026D00001");
    const QString columns = QStringLiteral(
        "SELECT xh, machine, typed, seconds_left, finished, lrsd, lrzql, lrcj, verified, duplicate, "
        "began_at <= heard_at AND heard_at <= server_now FROM typelab.attempts WHERE lower(batch) = lower($1)");
    QCOMPARE(claim(a, QStringLiteral("B3"), student), QStringLiteral("granted"));
    QCOMPARE(rows(t, columns, {QStringLiteral("b3")}), QStringList{QStringLiteral("2026D00001|PC-A|-|-|f|-|-|-|-|f|t")});
    QCOMPARE(noteProgress(a, QStringLiteral("B3"), student, 120, 540), QStringLiteral("noted"));
    QCOMPARE(noteProgress(a, QStringLiteral("b3"), student, 260, 510), QStringLiteral("noted"));
    QCOMPARE(rows(t, columns, {QStringLiteral("B3")}), QStringList{QStringLiteral("2026D00001|PC-A|260|510|f|-|-|-|-|f|t")});
    QCOMPARE(sqlStateOf(a, QStringLiteral("SELECT typelab.note_progress('B3', '%1', '张三', 10, 601)").arg(student)),
             QStringLiteral("22023"));
    QCOMPARE(sqlStateOf(a, QStringLiteral("SELECT typelab.note_progress('B3', '%1', '张三', -1, 60)").arg(student)),
             QStringLiteral("22023"));

    QCOMPARE(testResult(QStringLiteral("B3"), student).submit(a), QStringLiteral("stored"));
    QCOMPARE(rows(t, columns, {QStringLiteral("B3")}), QStringList{QStringLiteral("2026D00001|PC-A|260|510|t|120|97|88|-|f|t")});
    // A second attempt allowed on the same machine starts afresh until its own result comes.
    QCOMPARE(allow(a, QUuid::createUuid().toString(QUuid::WithoutBraces), QStringLiteral("B3"), student),
             QStringLiteral("allowed"));
    QCOMPARE(rows(t, columns, {QStringLiteral("B3")}), QStringList{QStringLiteral("2026D00001|PC-A|-|-|f|120|97|88|-|f|t")});

    // The view of a batch of 500 students can be read through the attempt table's index.
    t.exec(QStringLiteral("SET enable_seqscan = off"));
    const QString plan = rows(t, QStringLiteral("EXPLAIN SELECT * FROM typelab.attempts WHERE lower(batch) = lower('B3')"))
                             .join(QLatin1Char('\n'));
    QVERIFY2(plan.contains(QLatin1String("attempt_batch_student_machine")), qPrintable(plan));
    QVERIFY2(!plan.contains(QLatin1String("Seq Scan on attempt")), qPrintable(plan));
}

void TestAttempts::notificationsComeWithTheCommit()
{
    Pg::AsyncConnection listener;
    QList<QPair<QString, QString>> heard;
    connect(&listener, &Pg::AsyncConnection::notification, this,
            [&](const QString& channel, const QString& payload) { heard.append({channel, payload}); });
    QSignalSpy ready(&listener, &Pg::AsyncConnection::pipelineFinished);
    listener.open(cluster_.teacherParameters(QStringLiteral("teacher.zhao"), QStringLiteral("secret words")), 10'000);
    QTRY_COMPARE(listener.state(), Pg::AsyncConnection::State::Idle);
    listener.listen(QStringLiteral("typelab_batch"), 10'000);
    QTRY_COMPARE(ready.size(), 1);
    listener.listen(QStringLiteral("typelab_received"), 10'000);
    QTRY_COMPARE(ready.size(), 2);

    Pg::Connection a = machine(QStringLiteral("PC-A"));
    Pg::Connection admin = cluster_.superuser();
    const SentResult result = testResult(QStringLiteral("Note-B4"), QStringLiteral("2026E00001"));
    const QList<std::function<void()>> changes{
        [&] { claim(a, QStringLiteral("Note-B4"), QStringLiteral("2026E00001")); },
        [&] { noteProgress(a, QStringLiteral("Note-B4"), QStringLiteral("2026E00001"), 30, 570); },
        [&] { result.submit(a); },
    };
    for (qsizetype i = 0; i < changes.size(); ++i) {
        heard.clear();
        a.exec(QStringLiteral("BEGIN"));
        changes[i]();
        // A notification committed after the change was made: it comes first only if the
        // change's own came before its COMMIT.
        admin.exec(QStringLiteral("SELECT pg_notify('typelab_batch', $1)"), {QStringLiteral("marker %1").arg(i)});
        QTRY_VERIFY(!heard.isEmpty());
        QCOMPARE(heard, (QList<QPair<QString, QString>>{{QStringLiteral("typelab_batch"), QStringLiteral("marker %1").arg(i)}}));
        a.exec(QStringLiteral("COMMIT"));
        QTRY_COMPARE(heard.size(), i == 2 ? 3 : 2);
        QVERIFY(heard.contains({QStringLiteral("typelab_batch"), QStringLiteral("note-b4")}));
    }
    QVERIFY(heard.contains({QStringLiteral("typelab_received"), result.id}));
}

void TestAttempts::machinesTeachersAndTheVerifierKeepToTheirFunctions()
{
    const QString denied = QStringLiteral("42501");
    Pg::Connection a = machine(QStringLiteral("PC-A"));
    for (const char* sql : {"SELECT * FROM typelab.claims", "SELECT * FROM typelab.attempts", "SELECT * FROM typelab.claim",
                            "SELECT * FROM typelab.attempt", "SELECT * FROM typelab.allowance",
                            "SELECT * FROM typelab.queued_claim", "SELECT * FROM typelab.verify_queue(10)",
                            "SELECT typelab.record_verification(gen_random_uuid(), true, 1, 1, 1, NULL, NULL)",
                            "SELECT typelab.touch_attempt('B', 'x', 'x', 'PC-A', now(), true)",
                            "SELECT typelab.calling_machine()", "UPDATE typelab.claim SET machine = 'PC-A'"})
        QVERIFY2(sqlStateOf(a, QString::fromLatin1(sql)) == denied, sql);
    Pg::Connection t = teacher();
    for (const char* sql : {"SELECT typelab.claim_attempt('B', 'x', 'x')", "SELECT typelab.claimed_at('B', 'x')",
                            "SELECT typelab.allow_attempt(gen_random_uuid(), 'B', 'x', 'x')",
                            "SELECT typelab.record_claim(gen_random_uuid(), 'B', 'x', 'x', now())",
                            "SELECT typelab.note_progress('B', 'x', 'x', 1, 1)", "SELECT * FROM typelab.verify_queue(10)",
                            "SELECT typelab.record_verification(gen_random_uuid(), true, 1, 1, 1, NULL, NULL)",
                            "SELECT * FROM typelab.claim", "DELETE FROM typelab.claim"})
        QVERIFY2(sqlStateOf(t, QString::fromLatin1(sql)) == denied, sql);
    // A revoked machine's role cannot claim, even on a session opened before.
    Pg::Connection admin = cluster_.superuser();
    admin.exec(QStringLiteral("UPDATE typelab.machine SET revoked_at = now() WHERE name = 'PC-C'"));
    Pg::Connection c = machine(QStringLiteral("PC-C"));
    QCOMPARE(sqlStateOf(c, QStringLiteral("SELECT typelab.claim_attempt('B9', '1', 'x')")), denied);
    QCOMPARE(sqlStateOf(c, QStringLiteral("SELECT typelab.note_progress('B9', '1', 'x', 1, 1)")), denied);
    admin.exec(QStringLiteral("UPDATE typelab.machine SET revoked_at = NULL WHERE name = 'PC-C'"));
}

QTEST_GUILESS_MAIN(TestAttempts)
#include "test_attempts.moc"
