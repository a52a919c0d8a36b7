// typelab-server verify against a real cluster: the built tool runs as the system user
// typelab-verify, listens for results, replays each one and records what it found. Honest
// results from the real Exercise screen are verified; forged figures, unreadable logs and texts
// are not, with the reason; the keystroke timing raises its marks; a lost connection is made
// again and the queue read again.
#include "exercise/exercise_file_format.h"
#include "exercise/exercise_opener.h"
#include "exercise/exercise_screen.h"
#include "platform/clock.h"
#include "server/hba_block.h"
#include "server/plausibility.h"
#include "server/result_check.h"
#include "support/pg_cluster.h"
#include "support/random_exercise.h"
#include "support/test_support.h"

#include "sent_result.h"
#include "typist_log.h"

#include <QFile>
#include <QMdiArea>
#include <QProcess>
#include <QScrollBar>
#include <QtTest>

#include <cmath>
#include <pwd.h>
#include <random>
#include <unistd.h>

namespace {

// The verifier's rows of the results, by id.
struct Finding {
    QString verified; // "t", "f" or "" (null: not yet checked)
    QString problem;
    QString marks;
    QStringList serverFigures; // speed, accuracy, score
};

} // namespace

class TestVerifier : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void setupLetsOnlyTheVerifierIn();
    void honestExercisesFromTheScreenAreVerified();
    void forgedOrUnreadableResultsAreNotVerified();
    void timingRaisesMarks();
    void pairIsJudgedAsOneCharacter();
    void lostConnectionIsMadeAgain();
    void onceChecksWhatWaitsAndEnds();

private:
    void startVerifier();
    void stopVerifier();
    Finding findingOf(const QString& id);
    int unchecked();
    // Typed on the real Exercise screen, with the figures the screen showed.
    SentResult typedOnScreen(int seed);

    PgCluster cluster_;
    Pg::ConnectionParameters machine_;
    QProcess verifier_;
    QString verifierOutput_;
};

void TestVerifier::initTestCase()
{
    if (::geteuid() != 0)
        QSKIP("the verifier runs as the system user typelab-verify, which only root can become");
    if (!::getpwnam(HbaBlock::kVerifyUser)) {
        // What the typelab-server package does at installation.
        QProcess useradd;
        useradd.start(QStringLiteral("useradd"), {QStringLiteral("--system"), QStringLiteral("--no-create-home"),
                                                  QStringLiteral("--shell"), QStringLiteral("/usr/sbin/nologin"),
                                                  QString::fromLatin1(HbaBlock::kVerifyUser)});
        QVERIFY(useradd.waitForFinished(60'000) && useradd.exitCode() == 0);
    }
    TestSupport::prepareApplication();
    TestSupport::resetState();
    PG_CLUSTER_TRY(cluster_.start());
    PG_CLUSTER_TRY(machine_ = cluster_.machine(QStringLiteral("PC-V")));
    verifier_.setProgram(QStringLiteral(TYPELAB_SERVER_TOOL));
    connect(&verifier_, &QProcess::readyReadStandardError, this,
            [this] { verifierOutput_ += QString::fromUtf8(verifier_.readAllStandardError()); });
}

void TestVerifier::cleanupTestCase()
{
    stopVerifier();
    cluster_.stop();
}

void TestVerifier::startVerifier()
{
    verifierOutput_.clear();
    verifier_.setArguments({QStringLiteral("verify"), QStringLiteral("--state-dir"), cluster_.stateDir()});
    verifier_.start();
    QVERIFY(verifier_.waitForStarted());
    QTRY_VERIFY2_WITH_TIMEOUT(verifierOutput_.contains(QLatin1String("listening on typelab_received as typelab_verify")),
                              qPrintable(verifierOutput_), 30'000);
}

void TestVerifier::stopVerifier()
{
    if (verifier_.state() == QProcess::NotRunning)
        return;
    verifier_.terminate(); // SIGTERM to its process id
    if (!verifier_.waitForFinished(30'000)) {
        verifier_.kill();
        verifier_.waitForFinished();
    }
}

Finding TestVerifier::findingOf(const QString& id)
{
    Pg::Connection admin = cluster_.superuser();
    const Pg::Result row = admin.exec(
        QStringLiteral("SELECT CASE WHEN verified THEN 't' WHEN NOT verified THEN 'f' ELSE '' END, coalesce(problem, ''), coalesce(marks, ''), "
                       "server_lrsd::text, server_lrzql::text, server_lrcj::text FROM typelab.result WHERE id = $1"),
        {id});
    if (row.rows() != 1)
        return {};
    return {row.text(0, 0), row.text(0, 1), row.text(0, 2), {row.text(0, 3), row.text(0, 4), row.text(0, 5)}};
}

int TestVerifier::unchecked()
{
    return cluster_.superuser().exec(QStringLiteral("SELECT count(*) FROM typelab.result WHERE verified IS NULL")).text(0, 0).toInt();
}

SentResult TestVerifier::typedOnScreen(int seed)
{
    const ExerciseKind kind = RandomExercise::kindOf(seed);
    const QByteArray text = ExerciseFileFormat::toExerciseText(RandomExercise::textOf(kind).toUtf8()).text;
    QWidget window;
    window.resize(800, 600);
    auto* area = new QMdiArea(&window);
    area->resize(760, 600);
    auto* bar = new QScrollBar(&window);
    window.show();
    Clock::setSteady(1'000'000);
    KeystrokeLog log;
    ExerciseResult result;
    bool finished = false;
    QPointer<ExerciseScreen> screen = startExercise(area, bar, kind, text, {}, [&](ExerciseScreen* opened) {
        connect(opened, &ExerciseScreen::finished, this, [&](const KeystrokeLog& l, const ExerciseResult& r) {
            log = l;
            result = r;
            finished = true;
        });
    });
    const bool typed = screen && RandomExercise::type(screen, seed, kind, [](ExerciseScreen* s) {
        Clock::setSteady(*Clock::steady() + 1000);
        s->countdownTick();
    });
    Clock::setSteady(std::nullopt);
    if (!typed || !finished)
        qFatal("seed %d: the screen did not finish the exercise", seed);
    SentResult sent = SentResult::of(kind, text, log, result);
    sent.xh = QStringLiteral("20260%1").arg(seed, 5, 10, QLatin1Char('0'));
    sent.batch = QStringLiteral("R1");
    return sent;
}

void TestVerifier::setupLetsOnlyTheVerifierIn()
{
    Pg::Connection admin = cluster_.superuser();
    QCOMPARE(admin.exec(QStringLiteral("SELECT rolcanlogin FROM pg_roles WHERE rolname = 'typelab_verify'")).text(0, 0),
             QStringLiteral("t"));
    const Pg::Result map = admin.exec(QStringLiteral(
        "SELECT map_name, sys_name, pg_username FROM pg_ident_file_mappings WHERE map_name = 'typelab_verify'"));
    QCOMPARE(map.rows(), 1);
    QCOMPARE(map.text(0, 1), QString::fromLatin1(HbaBlock::kVerifyUser));
    QCOMPARE(map.text(0, 2), QStringLiteral("typelab_verify"));

    // Another system user is not let in as the verifier, and is told what failed.
    QProcess other;
    other.start(QStringLiteral("setpriv"), {QStringLiteral("--reuid=daemon"), QStringLiteral("--regid=daemon"),
                                            QStringLiteral("--clear-groups"), QStringLiteral(TYPELAB_SERVER_TOOL),
                                            QStringLiteral("verify"), QStringLiteral("--once"),
                                            QStringLiteral("--state-dir"), cluster_.stateDir()});
    QVERIFY(other.waitForFinished(60'000));
    const QString said = QString::fromUtf8(other.readAllStandardError());
    QCOMPARE(other.exitCode(), 1);
    QVERIFY2(said.contains(QLatin1String("Peer authentication failed for user \"typelab_verify\"")), qPrintable(said));
    QVERIFY2(said.contains(QLatin1String("typelab-verify")), qPrintable(said));

    // Nor does the verifier's role reach anything but its two functions.
    const Pg::Result rights = admin.exec(QStringLiteral(
        "SELECT concat_ws('|', has_table_privilege('typelab_verify', 'typelab.result', 'SELECT'), "
        "has_table_privilege('typelab_verify', 'typelab.results', 'SELECT'), "
        "has_function_privilege('typelab_verify', 'typelab.claim_attempt(text, text, text)', 'EXECUTE'), "
        "has_function_privilege('typelab_verify', 'typelab.note_progress(text, text, text, integer, integer)', "
        "'EXECUTE'), has_function_privilege('typelab_verify', 'typelab.verify_queue(integer)', 'EXECUTE'), "
        "has_function_privilege('typelab_verify', 'typelab.record_verification(uuid, boolean, double precision, "
        "double precision, double precision, text, text)', 'EXECUTE'))"));
    QCOMPARE(rights.text(0, 0), QStringLiteral("f|f|f|f|t|t"));
}

void TestVerifier::honestExercisesFromTheScreenAreVerified()
{
    Pg::Connection pc = Pg::Connection::open(machine_);
    QList<SentResult> sent;
    for (int seed = 1; seed <= 24; ++seed)
        sent << typedOnScreen(seed);
    // Half wait in the queue before the verifier starts; the others arrive while it listens.
    for (int i = 0; i < 12; ++i)
        QCOMPARE(sent[i].submit(pc), QStringLiteral("stored"));
    startVerifier();
    for (int i = 12; i < 24; ++i)
        QCOMPARE(sent[i].submit(pc), QStringLiteral("stored"));
    QTRY_COMPARE_WITH_TIMEOUT(unchecked(), 0, 60'000);
    for (const SentResult& result : sent) {
        const Finding finding = findingOf(result.id);
        QVERIFY2(finding.verified == QLatin1String("t"), qPrintable(result.xh + QLatin1Char(' ') + finding.problem));
        QCOMPARE(finding.problem, QString());
        QCOMPARE(finding.serverFigures, (QStringList{QString::number(result.speed), QString::number(result.accuracy),
                                                     QString::number(result.score)}));
    }
    // The teachers see the mark.
    PG_CLUSTER_TRY(cluster_.addTeacher(QStringLiteral("teacher.li"), QStringLiteral("a long password")));
    Pg::Connection teacher =
        Pg::Connection::open(cluster_.teacherParameters(QStringLiteral("teacher.li"), QStringLiteral("a long password")));
    QCOMPARE(teacher.exec(QStringLiteral("SELECT count(*) FILTER (WHERE verified), count(*) FROM typelab.results "
                                         "WHERE lower(lrpc) = 'r1'"))
                 .text(0, 0),
             QStringLiteral("24"));
}

void TestVerifier::forgedOrUnreadableResultsAreNotVerified()
{
    if (verifier_.state() != QProcess::Running)
        startVerifier();
    const QByteArray text = TypistLog::text(ExerciseKind::English, 3000);
    const TypistLog::Exercise honest = TypistLog::type(ExerciseKind::English, text, 120, [] { return 300; });
    Pg::Connection pc = Pg::Connection::open(machine_);

    // Each figure forged alone, by the smallest step a double allows for one of them.
    SentResult forged = SentResult::of(honest.kind, text, honest.log, honest.result);
    forged.speed += 60;
    SentResult forgedScore = SentResult::of(honest.kind, text, honest.log, honest.result);
    forgedScore.score = std::nextafter(forgedScore.score, 1000.0);
    SentResult forgedAccuracy = SentResult::of(honest.kind, text, honest.log, honest.result);
    forgedAccuracy.accuracy -= 1;
    SentResult garbage = forged;
    garbage.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    garbage.log = QByteArray("TKL1") + QByteArray(5, '\x01'); // not whole events
    SentResult noText = SentResult::of(honest.kind, QByteArray(5000, 'a'), honest.log, honest.result);
    // Ticks a tenth of a second apart: the countdown ran ten times too fast.
    KeystrokeLog fast = honest.log;
    quint32 tick = 0;
    for (KeystrokeEvent& event : fast) {
        if (event.kind == KeystrokeEvent::Kind::Tick)
            event.milliseconds = 600 + 100 * ++tick;
        else if (tick > 0)
            event.milliseconds = 600 + 100 * tick;
    }
    SentResult fastTicks = SentResult::of(honest.kind, text, fast, honest.result);
    for (const SentResult* result : {&forged, &forgedScore, &forgedAccuracy, &garbage, &noText, &fastTicks})
        QCOMPARE(result->submit(pc), QStringLiteral("stored"));
    QTRY_COMPARE_WITH_TIMEOUT(unchecked(), 0, 30'000);

    const Finding f = findingOf(forged.id);
    QCOMPARE(f.verified, QStringLiteral("f"));
    // The server's own figures, and both sets in the reason.
    QCOMPARE(f.serverFigures, (QStringList{QString::number(honest.result.speed), QString::number(honest.result.accuracy),
                                           QString::number(honest.result.score)}));
    QVERIFY2(f.problem.contains(QStringLiteral("机器报速度 %1").arg(forged.speed)) &&
                 f.problem.contains(QStringLiteral("服务器重算为速度 %1").arg(honest.result.speed)),
             qPrintable(f.problem));
    for (const SentResult* other : {&forgedScore, &forgedAccuracy}) {
        const Finding one = findingOf(other->id);
        QCOMPARE(one.verified, QStringLiteral("f"));
        QVERIFY2(one.problem.contains(QStringLiteral("不符")), qPrintable(one.problem));
    }
    const Finding g = findingOf(garbage.id);
    QCOMPARE(g.verified, QStringLiteral("f"));
    QVERIFY2(g.problem.contains(QStringLiteral("录入记录无法读取")), qPrintable(g.problem));
    QCOMPARE(g.serverFigures, (QStringList{QString(), QString(), QString()}));
    const Finding t = findingOf(noText.id);
    QCOMPARE(t.verified, QStringLiteral("f"));
    QVERIFY2(t.problem.contains(QStringLiteral("练习的文本无法使用")), qPrintable(t.problem));
    const Finding ticks = findingOf(fastTicks.id);
    QCOMPARE(ticks.verified, QStringLiteral("f"));
    QVERIFY2(ticks.problem.contains(QStringLiteral("倒计时走得比每秒一次快")), qPrintable(ticks.problem));
    // The log names each one that was not verified.
    QTRY_VERIFY(verifierOutput_.contains(QStringLiteral("result %1 is not verified").arg(forged.id)));
}

void TestVerifier::timingRaisesMarks()
{
    if (verifier_.state() != QProcess::Running)
        startVerifier();
    const QByteArray text = TypistLog::text(ExerciseKind::English, 4000);
    std::mt19937 random(7);
    // 20 to 60 ms a key for a minute: about 1 500 characters a minute, unevenly.
    std::uniform_int_distribution<int> fast(20, 60);
    const TypistLog::Exercise quick = TypistLog::type(ExerciseKind::English, text, 60, [&] { return fast(random); });
    // A program's even pace: 250 ms and a few milliseconds of jitter.
    std::uniform_int_distribution<int> jitter(-4, 4);
    const TypistLog::Exercise even =
        TypistLog::type(ExerciseKind::English, text, 120, [&] { return 250 + jitter(random); });
    // A person: gaps spread around 300 ms, now and then a pause.
    std::lognormal_distribution<double> person(std::log(280.0), 0.45);
    std::uniform_int_distribution<int> pause(0, 40);
    const TypistLog::Exercise human = TypistLog::type(ExerciseKind::English, text, 300, [&] {
        return pause(random) == 0 ? 2500 : int(person(random));
    });

    const Plausibility::Timing quickTiming = Plausibility::measure(quick.log);
    const Plausibility::Timing evenTiming = Plausibility::measure(even.log);
    const Plausibility::Timing humanTiming = Plausibility::measure(human.log);
    QVERIFY2(quickTiming.perMinute > 1400 && quickTiming.perMinute < 1600, qPrintable(QString::number(quickTiming.perMinute)));
    QVERIFY2(evenTiming.variation < 0.05 && evenTiming.gaps > 400, qPrintable(QString::number(evenTiming.variation)));
    QVERIFY2(humanTiming.variation > 0.3 && humanTiming.perMinute < 300, qPrintable(QString::number(humanTiming.variation)));

    Pg::Connection pc = Pg::Connection::open(machine_);
    QList<SentResult> sent;
    for (const TypistLog::Exercise* exercise : {&quick, &even, &human}) {
        sent << SentResult::of(exercise->kind, text, exercise->log, exercise->result);
        QCOMPARE(sent.last().submit(pc), QStringLiteral("stored"));
    }
    QTRY_COMPARE_WITH_TIMEOUT(unchecked(), 0, 30'000);
    // Marks, not refusals: all three replay to their figures.
    const Finding quickFinding = findingOf(sent[0].id);
    QCOMPARE(quickFinding.verified, QStringLiteral("t"));
    QVERIFY2(quickFinding.marks.contains(QStringLiteral("全程每分钟 %1 个字符").arg(std::floor(quickTiming.perMinute))),
             qPrintable(quickFinding.marks));
    QVERIFY2(!quickFinding.marks.contains(QStringLiteral("均匀")), qPrintable(quickFinding.marks));
    const Finding evenFinding = findingOf(sent[1].id);
    QCOMPARE(evenFinding.verified, QStringLiteral("t"));
    QVERIFY2(evenFinding.marks.contains(QStringLiteral("%1 个间隔的变异系数为 %2")
                                            .arg(evenTiming.gaps)
                                            .arg(evenTiming.variation, 0, 'f', 3)),
             qPrintable(evenFinding.marks));
    QVERIFY2(!evenFinding.marks.contains(QStringLiteral("快得")), qPrintable(evenFinding.marks));
    const Finding humanFinding = findingOf(sent[2].id);
    QCOMPARE(humanFinding.verified, QStringLiteral("t"));
    QCOMPARE(humanFinding.marks, QString()); // null: no mark
}

void TestVerifier::pairIsJudgedAsOneCharacter()
{
    // Text 中ab文 typed as the single wide character 行 (D0 D0), whose second byte is the
    // text's trail byte D0: the text's character is judged as one pair, one wrong.
    const QByteArray text = *CodePage::encode(QStringLiteral("中ab文"));
    QCOMPARE(text.mid(0, 2), QByteArray("\xD6\xD0"));
    const KeystrokeLog log{{1000, KeystrokeEvent::Kind::Character, qint16(quint16(0xD0D0))},
                           {2000, KeystrokeEvent::Kind::Tick, 0},
                           {2100, KeystrokeEvent::Kind::KeyDown, 27}};
    const ExerciseResult machine = Scoring::fromCounts(ExerciseKind::Chinese, 0, 1, 1, true);
    const ResultCheck::Finding finding =
        ResultCheck::check(int(ExerciseKind::Chinese), text, KeystrokeLogs::encode(log),
                           {machine.score, machine.speed, machine.accuracy});
    QVERIFY2(finding.verified, qPrintable(finding.problem));
    QVERIFY(finding.figures);
    QCOMPARE(finding.figures->correct, 0);
    QCOMPARE(finding.figures->wrong, 1);
    QCOMPARE(finding.figures->speed, 60.0);
}

void TestVerifier::lostConnectionIsMadeAgain()
{
    if (verifier_.state() != QProcess::Running)
        startVerifier();
    Pg::Connection admin = cluster_.superuser();
    const Pg::Result ended = admin.exec(QStringLiteral(
        "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name = 'typelab-verify'"));
    QCOMPARE(ended.rows(), 1);
    // Stored while the verifier is away or coming back: found by the notification or by the
    // queue read again after LISTEN.
    const QByteArray text = TypistLog::text(ExerciseKind::Chinese, 2000);
    const TypistLog::Exercise exercise = TypistLog::type(ExerciseKind::Chinese, text, 90, [] { return 700; });
    const SentResult sent = SentResult::of(exercise.kind, text, exercise.log, exercise.result);
    Pg::Connection pc = Pg::Connection::open(machine_);
    QCOMPARE(sent.submit(pc), QStringLiteral("stored"));
    QTRY_COMPARE_WITH_TIMEOUT(findingOf(sent.id).verified, QStringLiteral("t"), 30'000);
    QVERIFY2(verifierOutput_.contains(QLatin1String("trying again in 1 s")), qPrintable(verifierOutput_));
    QTRY_COMPARE(verifierOutput_.count(QLatin1String("listening on typelab_received")), 2);
}

void TestVerifier::onceChecksWhatWaitsAndEnds()
{
    stopVerifier();
    const QByteArray text = TypistLog::text(ExerciseKind::English, 2000);
    Pg::Connection pc = Pg::Connection::open(machine_);
    QStringList ids;
    for (int gap : {200, 250, 300}) {
        const TypistLog::Exercise exercise = TypistLog::type(ExerciseKind::English, text, 60, [gap] { return gap; });
        const SentResult sent = SentResult::of(exercise.kind, text, exercise.log, exercise.result);
        QCOMPARE(sent.submit(pc), QStringLiteral("stored"));
        ids << sent.id;
    }
    QCOMPARE(unchecked(), 3);
    const PgCluster::ToolRun once = cluster_.tool({QStringLiteral("verify"), QStringLiteral("--once")});
    QVERIFY2(once.exitCode == 0, qPrintable(once.errors));
    QVERIFY2(once.errors.contains(QLatin1String("results checked since the start: 0 not verified")), qPrintable(once.errors));
    QCOMPARE(unchecked(), 0);
    for (const QString& id : ids)
        QCOMPARE(findingOf(id).verified, QStringLiteral("t"));
}

QTEST_MAIN(TestVerifier)
#include "test_verifier.moc"
