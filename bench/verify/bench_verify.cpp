// What checking every result and following every sitting cost the school server, on a real
// cluster that typelab-server set up:
//   - the verifier's rate: RESULTS ten-minute English results (~20 KB logs, ~4 KB texts) stored
//     as one enrolled machine, then `typelab-server verify --once` with 1 and 2 threads, timed
//     whole (reading the queue, replaying, recording), with the CPU time of the verifier and of
//     the server; and the replay alone in this process, on one core;
//   - the server's cost of one progress note with a new TLS connection for each (pgbench -C as
//     the machine, as a lab machine sends one every 30 s), measured as the CPU time of every
//     PostgreSQL process over the run divided by the notes, and from it the machines one server
//     of this many cores follows at one note per 30 s; on kept connections for comparison;
//   - a read of the live view of one batch of 500 students, as the teacher's window reads it.
//   bench_verify [RESULTS [SECONDS]]   (5000 results, 20 s a pgbench run by default; as root)
#include "server/hba_block.h"
#include "server/result_check.h"
#include "support/pg_cluster.h"

#include "../../tests/server/sent_result.h"
#include "../../tests/server/typist_log.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <pwd.h>
#include <random>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// The fields of /proc/PID/stat after the command's name: state, ppid, ... (utime is [11]).
QList<QByteArray> statFields(const QString& pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray line = file.readAll();
    return line.mid(line.lastIndexOf(')') + 2).split(' ');
}

QStringList childrenOf(pid_t parent)
{
    QStringList children;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        entry.toInt(&number);
        if (number && statFields(entry).value(1).toInt() == parent)
            children << entry;
    }
    return children;
}

// CPU seconds of the cluster: the postmaster with the children it reaped, and those still alive.
double clusterCpuSeconds(pid_t postmaster)
{
    const double tick = double(::sysconf(_SC_CLK_TCK));
    double seconds = 0;
    const QList<QByteArray> own = statFields(QString::number(postmaster));
    if (own.size() > 14)
        seconds += (own[11].toDouble() + own[12].toDouble() + own[13].toDouble() + own[14].toDouble()) / tick;
    for (const QString& child : childrenOf(postmaster)) {
        const QList<QByteArray> fields = statFields(child);
        if (fields.size() > 12)
            seconds += (fields[11].toDouble() + fields[12].toDouble()) / tick;
    }
    return seconds;
}

double childrenCpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A client's backend, not one of the cluster's own processes (checkpointer, writers, launchers,
// autovacuum workers), by the title PostgreSQL gives it.
bool clientBackend(const QString& pid)
{
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray title = file.readAll();
    for (const char* own : {"checkpointer", "background writer", "walwriter", "autovacuum", "logical replication",
                            "archiver"}) {
        if (title.contains(own))
            return false;
    }
    return true;
}

QStringList clientBackends(const PgCluster& cluster)
{
    QStringList backends = childrenOf(cluster.pid());
    backends.removeIf([](const QString& pid) { return !clientBackend(pid); });
    return backends;
}

// Until the postmaster has reaped every client backend but the bench's own (kept) ones, so that
// their time is counted.
void waitForBackendsToEnd(const PgCluster& cluster, const QStringList& kept)
{
    for (int wait = 1;; wait = std::min(wait * 2, 100)) {
        const QStringList now = clientBackends(cluster);
        if (std::all_of(now.begin(), now.end(), [&](const QString& pid) { return kept.contains(pid); }))
            return;
        QThread::msleep(wait);
    }
}

QList<TypistLog::Exercise> tenMinuteExercises(int count, const QByteArray& text)
{
    QList<TypistLog::Exercise> exercises;
    std::mt19937 random(20261210);
    // About 115 characters a minute, spread as people type, now and then a pause.
    std::lognormal_distribution<double> gap(std::log(450.0), 0.5);
    std::uniform_int_distribution<int> pause(0, 60);
    for (int i = 0; i < count; ++i)
        exercises << TypistLog::type(ExerciseKind::English, text, 601,
                                     [&] { return pause(random) == 0 ? 3000 : int(gap(random)); });
    return exercises;
}

void replayAlone(const QList<TypistLog::Exercise>& exercises)
{
    QElapsedTimer clock;
    clock.start();
    int checked = 0;
    while (clock.elapsed() < 5000) {
        for (const TypistLog::Exercise& exercise : exercises) {
            const ResultCheck::Finding finding =
                ResultCheck::check(int(exercise.kind), exercise.text, KeystrokeLogs::encode(exercise.log),
                                   {exercise.result.score, exercise.result.speed, exercise.result.accuracy});
            if (!finding.verified)
                throw std::runtime_error("an honest exercise was not verified: " + finding.problem.toStdString());
            ++checked;
        }
    }
    std::printf("replay and check alone, one core, in this process: %.0f results/s (%.2f ms each)\n",
                checked * 1000.0 / clock.elapsed(), double(clock.elapsed()) / checked);
}

void verifierRate(PgCluster& cluster, int results, int threads)
{
    Pg::Connection admin = cluster.superuser();
    admin.exec(QStringLiteral("UPDATE typelab.result SET verified = NULL"));
    admin.exec(QStringLiteral("VACUUM ANALYZE typelab.result"));
    const QStringList kept = clientBackends(cluster);
    const double serverBefore = clusterCpuSeconds(cluster.pid());
    const double toolBefore = childrenCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    QProcess verify;
    verify.start(QStringLiteral(TYPELAB_SERVER_TOOL), {QStringLiteral("verify"), QStringLiteral("--once"),
                                                      QStringLiteral("--threads"), QString::number(threads),
                                                      QStringLiteral("--state-dir"), cluster.stateDir()});
    if (!verify.waitForFinished(-1) || verify.exitCode() != 0)
        throw std::runtime_error("typelab-server verify failed:\n" + verify.readAllStandardError().toStdString());
    const double seconds = clock.elapsed() / 1000.0;
    const double toolSeconds = childrenCpuSeconds() - toolBefore;
    waitForBackendsToEnd(cluster, kept);
    const double serverSeconds = clusterCpuSeconds(cluster.pid()) - serverBefore;
    const QString left = admin.exec(QStringLiteral("SELECT count(*) FILTER (WHERE verified IS NULL), "
                                                   "count(*) FILTER (WHERE NOT verified) FROM typelab.result"))
                             .text(0, 0);
    if (left != QLatin1String("0"))
        throw std::runtime_error("results left unchecked: " + left.toStdString());
    std::printf("verify --once --threads %d: %d results in %.2f s = %.0f results/s; CPU: verifier %.2f s "
                "(%.2f ms a result), PostgreSQL %.2f s (%.2f ms a result)\n",
                threads, results, seconds, results / seconds, toolSeconds, toolSeconds * 1000 / results, serverSeconds,
                serverSeconds * 1000 / results);
    std::fflush(stdout);
}

struct PgbenchRun {
    double tps = 0;
    qint64 transactions = 0;
    double serverSeconds = 0;
    double clientSeconds = 0;
};

PgbenchRun pgbench(PgCluster& cluster, const QString& conninfo, const QString& script, bool reconnect, int seconds)
{
    QStringList arguments{QStringLiteral("-n"), QStringLiteral("-c"), QStringLiteral("16"), QStringLiteral("-j"),
                          QStringLiteral("2"), QStringLiteral("-T"), QString::number(seconds), QStringLiteral("-f"),
                          script};
    if (reconnect)
        arguments << QStringLiteral("-C");
    arguments << conninfo;
    const QStringList kept = clientBackends(cluster);
    const double serverBefore = clusterCpuSeconds(cluster.pid());
    const double clientBefore = childrenCpuSeconds();
    const PgCluster::Pgbench reported = PgCluster::pgbench(arguments, seconds);
    PgbenchRun figures;
    figures.clientSeconds = childrenCpuSeconds() - clientBefore;
    waitForBackendsToEnd(cluster, kept);
    figures.serverSeconds = clusterCpuSeconds(cluster.pid()) - serverBefore;
    figures.tps = reported.tps;
    figures.transactions = reported.transactions;
    return figures;
}

void progressNotes(PgCluster& cluster, const Pg::ConnectionParameters& machine, int seconds)
{
    QTemporaryDir work;
    const QString script = work.filePath(QStringLiteral("note.sql"));
    QFile file(script);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot write the pgbench script");
    file.write("\\set n random(1, 5000)\n"
               "SELECT typelab.note_progress('B1', 'S' || :n, '张三', 300, 240);\n");
    file.close();
    const QString connectOnly = work.filePath(QStringLiteral("connect.sql"));
    QFile select(connectOnly);
    if (!select.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot write the pgbench script");
    select.write("SELECT 1;\n");
    select.close();
    const int cores = QThread::idealThreadCount();
    for (const bool reconnect : {true, false}) {
        const PgbenchRun run = pgbench(cluster, machine.describe(), script, reconnect, seconds);
        const double perNote = run.serverSeconds * 1000 / double(run.transactions);
        std::printf("progress notes, %s: %.0f notes/s observed (pgbench on the same machine, %.1f CPU s of its "
                    "own); PostgreSQL's CPU: %.3f ms a note\n",
                    reconnect ? "a new TLS connection each (-C)" : "kept connections", run.tps, run.clientSeconds,
                    perNote);
        if (reconnect)
            std::printf("  -> %d cores of PostgreSQL alone: %.0f notes/s, so %.0f machines at one note per 30 s\n",
                        cores, cores * 1000 / perNote, cores * 1000 / perNote * 30);
        std::fflush(stdout);
    }
    const PgbenchRun connection = pgbench(cluster, machine.describe(), connectOnly, true, seconds);
    std::printf("for comparison, a new TLS connection and SELECT 1: %.0f/s observed; PostgreSQL's CPU: %.3f ms each\n",
                connection.tps, connection.serverSeconds * 1000 / double(connection.transactions));
}

// What the live view of a sitting costs the teacher's window: a batch of 500 students read as
// the window reads it, over a kept TLS connection.
void liveView(PgCluster& cluster, int results)
{
    cluster.addTeacher(QStringLiteral("bench.teacher"), QStringLiteral("a long password"));
    Pg::Connection teacher =
        Pg::Connection::open(cluster.teacherParameters(QStringLiteral("bench.teacher"), QStringLiteral("a long password")));
    QList<double> times;
    int rows = 0;
    for (int i = 0; i < 50; ++i) {
        QElapsedTimer clock;
        clock.start();
        rows = teacher.exec(QStringLiteral("SELECT * FROM typelab.attempts WHERE lower(batch) = lower($1)"),
                            {QStringLiteral("b%1").arg(i % std::max(1, results / 500))})
                   .rows();
        times << clock.nsecsElapsed() / 1e6;
    }
    std::sort(times.begin(), times.end());
    std::printf("the live view of one batch (%d students, each with a verified result): %.1f ms median, %.1f ms "
                "at most, over 50 reads\n",
                rows, times[times.size() / 2], times.last());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int results = argc > 1 ? QByteArray(argv[1]).toInt() : 5000;
    const int seconds = argc > 2 ? QByteArray(argv[2]).toInt() : 20;
    if (::geteuid() != 0 || !::getpwnam(HbaBlock::kVerifyUser)) {
        std::fprintf(stderr, "bench_verify: run it as root on a machine with the system user %s "
                             "(useradd --system typelab-verify)\n", HbaBlock::kVerifyUser);
        return 1;
    }
    try {
        PgCluster cluster;
        cluster.start();
        const Pg::ConnectionParameters machine = cluster.machine(QStringLiteral("bench-pc"));
        const QByteArray text = TypistLog::text(ExerciseKind::English, 4000);
        const QList<TypistLog::Exercise> exercises = tenMinuteExercises(20, text);
        qint64 logBytes = 0;
        for (const TypistLog::Exercise& exercise : exercises)
            logBytes += KeystrokeLogs::encode(exercise.log).size();
        std::printf("PostgreSQL 15 and the verifier on this machine (%d cores); ten-minute English results, logs of "
                    "%.1f KB on average, a text of %lld bytes, %.0f characters a minute\n",
                    QThread::idealThreadCount(), logBytes / 1024.0 / exercises.size(), qlonglong(text.size()),
                    exercises.first().result.speed);
        replayAlone(exercises);

        Pg::Connection pc = Pg::Connection::open(machine);
        pc.exec(QStringLiteral("BEGIN"));
        for (int i = 0; i < results; ++i) {
            const TypistLog::Exercise& exercise = exercises[i % exercises.size()];
            SentResult sent = SentResult::of(exercise.kind, exercise.text, exercise.log, exercise.result);
            sent.batch = QStringLiteral("B%1").arg(i / 500);
            sent.xh = QStringLiteral("S%1").arg(i);
            if (sent.submit(pc) != QLatin1String("stored"))
                throw std::runtime_error("a result was not stored");
        }
        pc.exec(QStringLiteral("COMMIT"));
        for (int threads : {1, 2})
            verifierRate(cluster, results, threads);
        liveView(cluster, results);
        progressNotes(cluster, machine, seconds);
        cluster.stop();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_verify: %s\n", error.what());
        return 1;
    }
    return 0;
}
