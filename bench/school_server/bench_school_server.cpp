// The school server's floor: how many results per second typelab.submit stores when 32 clients
// send real-sized results (a keystroke log of ~20 KB and a text of ~5 KB, random ids, so each
// is stored) as one enrolled machine with its client certificate, through pgbench against a
// real cluster that typelab-server set up:
//   - with a new TLS connection for every result (pgbench -C), as lab machines connect only
//     when they have something to send;
//   - on kept connections;
// and, for what a connection alone costs, a new TLS connection per `SELECT 1`.
// Then the machines themselves, each a real typelab-store with the typelab-forward it starts,
// against the same server in the same run:
//   - the end of a sitting: 32 machines whose students logged in (the claims made) finish a
//     ten-minute result at once, and each forwarder sends its one on a new TLS connection;
//     rounds of 32, results per second from the first finish to the last row on the server;
//   - after an outage: 50 machines each finish RESULTS results while the server is stopped;
//     when it is back, each drains its outbox; results per second from the first to the last
//     row received, the server's peak count of client connections, and nothing lost or twice.
// And a test login on a joined machine, its claim on the server included.
//   bench_school_server [SECONDS [RESULTS [ROUNDS]]]   (20 s for each pgbench run, 500, 5)
#include "platform/clock.h"
#include "store/store_client.h"
#include "support/lab_machine.h"
#include "support/pg_cluster.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kClients = 32;

QByteArray hexBytea(const QByteArray& bytes)
{
    return "\\x" + bytes.toHex();
}

// A ten-minute English result: its text and a log of its keystrokes, as large as real ones.
QByteArray exerciseText()
{
    const QByteArray line = "The quick brown fox jumps over the lazy dog; pack my box with five dozen liquor jugs.\r\n";
    return line.repeated(5120 / line.size() + 1).left(5120);
}

QByteArray keystrokeLog()
{
    QByteArray log(20 * 1024, '\0');
    QRandomGenerator generator(20261209);
    for (char& byte : log)
        byte = char(generator.bounded(256));
    return log;
}

PgCluster::Pgbench runPgbench(const QString& conninfo, const QString& script, bool reconnect, int seconds)
{
    QStringList arguments{QStringLiteral("-n"), QStringLiteral("-M"), QStringLiteral("extended"), QStringLiteral("-c"),
                          QString::number(kClients), QStringLiteral("-j"), QStringLiteral("2"), QStringLiteral("-T"),
                          QString::number(seconds), QStringLiteral("-f"), script,
                          QStringLiteral("-D"), QStringLiteral("text=") + QString::fromLatin1(hexBytea(exerciseText())),
                          QStringLiteral("-D"), QStringLiteral("log=") + QString::fromLatin1(hexBytea(keystrokeLog()))};
    if (reconnect)
        arguments << QStringLiteral("-C");
    arguments << conninfo;
    return PgCluster::pgbench(arguments, seconds);
}

QString count(Pg::Connection& admin, const QString& query)
{
    return admin.exec(query).text(0, 0);
}

// Waits until the server holds `expected` results, polling every 5 ms; false after `limit` ms.
bool waitForResults(Pg::Connection& admin, int expected, int limit)
{
    QElapsedTimer waited;
    waited.start();
    while (count(admin, QStringLiteral("SELECT count(*) FROM typelab.result")).toInt() < expected) {
        if (waited.elapsed() > limit)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

std::vector<std::unique_ptr<LabMachine>> labMachines(const PgCluster& cluster, const QString& prefix, int n)
{
    std::vector<std::unique_ptr<LabMachine>> machines;
    for (int i = 1; i <= n; ++i)
        machines.push_back(std::make_unique<LabMachine>(cluster, QStringLiteral("%1-%2").arg(prefix).arg(i, 2, 10, QChar(u'0'))));
    return machines;
}

// Test logins on a joined machine, each claiming its batch on the server through the forwarder
// (a new TLS connection for each, as logins come one by one): median and 99th percentile.
void testLoginsWithClaims(PgCluster& cluster, int logins)
{
    LabMachine machine(cluster, QStringLiteral("login-pc"));
    std::vector<double> times;
    for (int i = 0; i <= logins; ++i) { // the first starts the forwarder: not counted
        QElapsedTimer clock;
        clock.start();
        const LoginReply login = machine.testLogin(QStringLiteral("2028%1").arg(i, 6, 10, QChar(u'0')), QStringLiteral("L1"));
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        if (!login.ok())
            throw std::runtime_error("test login failed: " + login.message.toStdString());
        machine.store().endSession(login.session);
        if (i > 0)
            times.push_back(ms);
    }
    // What the connection alone costs, one at a time from this process: a new TLS connection
    // as the same machine and the same two statements.
    std::vector<double> direct;
    const Pg::ConnectionParameters asMachine = cluster.machine(QStringLiteral("login-pc-direct"));
    for (int i = 0; i <= 100; ++i) {
        QElapsedTimer clock;
        clock.start();
        Pg::Connection connection = Pg::Connection::open(asMachine);
        connection.exec(QStringLiteral("SELECT typelab.claim_attempt('L2', $1, '学生')"),
                        {QStringLiteral("2028%1").arg(i, 6, 10, QChar(u'0'))});
        connection.exec(QStringLiteral("SELECT typelab.claimed_at('L2', $1)"), {QStringLiteral("2028%1").arg(i, 6, 10, QChar(u'0'))});
        if (i > 0)
            direct.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::sort(direct.begin(), direct.end());
    Pg::Connection admin = cluster.superuser();
    const QString claimed =
        count(admin, QStringLiteral("SELECT count(*) FROM typelab.claims WHERE batch = 'L1' AND machine = 'login-pc'"));
    std::sort(times.begin(), times.end());
    std::printf("%-42s %10.2f ms median, %.2f ms at the 99th percentile  (%d logins; claims on the server: %s)\n",
                "a test login with its claim:", times[times.size() / 2], times[std::min(times.size() - 1, times.size() * 99 / 100)],
                logins, qPrintable(claimed));
    std::printf("%-42s %10.2f ms median, %.2f ms at the 99th percentile\n",
                "of it, a new TLS connection and the claim:", direct[direct.size() / 2],
                direct[std::min(direct.size() - 1, direct.size() * 99 / 100)]);
    std::fflush(stdout);
}

// A ten-minute exercise opened and finished on a joined machine (its outbox entry written in
// the row's transaction, the forwarder sending meanwhile) and on one that has not joined,
// alternately: the medians.
void storedResults(PgCluster& cluster, int results)
{
    LabMachine joined(cluster, QStringLiteral("store-pc"));
    LabMachine alone(QStringLiteral("alone-pc"));
    std::vector<double> withOutbox, without;
    QString sessions[2];
    LabMachine* machines[2] = {&joined, &alone};
    for (int m = 0; m < 2; ++m) {
        const LoginReply login = machines[m]->store().practiceLogin(QStringLiteral("2029000001"), QStringLiteral("学生"));
        if (!login.ok())
            throw std::runtime_error("practice login failed: " + login.message.toStdString());
        sessions[m] = login.session;
    }
    for (int i = 0; i <= results; ++i) {
        for (int m = 0; m < 2; ++m) {
            QElapsedTimer clock;
            clock.start();
            if (!machines[m]->finishIn(sessions[m]).ok())
                throw std::runtime_error("a machine did not store its result");
            if (i > 0) // the first of each warms up
                (m == 0 ? withOutbox : without).push_back(double(clock.nsecsElapsed()) / 1e6);
        }
    }
    std::sort(withOutbox.begin(), withOutbox.end());
    std::sort(without.begin(), without.end());
    std::printf("%-42s %10.2f ms median on a joined machine, %.2f ms on one that has not joined  (%d each, "
                "the exercise opened and its ten-minute log replayed and stored)\n",
                "a result stored on the machine:", withOutbox[withOutbox.size() / 2], without[without.size() / 2], results);
    std::fflush(stdout);
}

// Rounds of 32 machines finishing at once; the median and the range of results per second.
void endOfSitting(PgCluster& cluster, int rounds)
{
    Pg::Connection admin = cluster.superuser();
    admin.exec(QStringLiteral("TRUNCATE typelab.result"));
    std::vector<std::unique_ptr<LabMachine>> machines = labMachines(cluster, QStringLiteral("sit"), kClients);
    std::vector<double> rates;
    std::vector<qint64> finishing;
    int onServer = 0;
    for (int round = 0; round <= rounds; ++round) { // round 0 warms up: not counted
        const QString batch = QStringLiteral("S%1").arg(round);
        QStringList sessions;
        for (int i = 0; i < kClients; ++i) {
            const LoginReply login = machines[i]->testLogin(QStringLiteral("2026%1").arg(i, 6, 10, QChar(u'0')), batch);
            if (!login.ok())
                throw std::runtime_error("test login failed: " + login.message.toStdString());
            sessions << login.session;
        }
        QElapsedTimer clock;
        clock.start();
        // The 32 exercises ran at the same ten minutes: each starts from the same moment.
        const qint64 began = Clock::steadyMilliseconds();
        for (int i = 0; i < kClients; ++i) {
            Clock::setSteady(began);
            if (const FinishReply reply = machines[i]->finishIn(sessions[i]); !reply.ok())
                throw std::runtime_error("a machine did not store its result: " + reply.message.toStdString());
        }
        const qint64 finished = clock.elapsed();
        onServer += kClients;
        if (!waitForResults(admin, onServer, 120'000))
            throw std::runtime_error("the results did not all reach the server");
        const qint64 elapsed = clock.elapsed();
        for (int i = 0; i < kClients; ++i)
            machines[i]->store().endSession(sessions[i]);
        if (round > 0) {
            rates.push_back(kClients * 1000.0 / double(elapsed));
            finishing.push_back(finished);
        }
    }
    std::sort(rates.begin(), rates.end());
    std::sort(finishing.begin(), finishing.end());
    std::printf("%-42s %10.0f results/s  (median of %d rounds of %d; %.0f to %.0f; the %d finishes on the "
                "machines took %lld ms of it at the median)\n",
                "end of a sitting, the machines' forwarders:", rates[rates.size() / 2], rounds, kClients,
                rates.front(), rates.back(), kClients, finishing[finishing.size() / 2]);
    std::printf("%-42s %10s bytes of log and %s of text per result on average\n", "their results carry:",
                qPrintable(count(admin, QStringLiteral("SELECT avg(octet_length(r.log))::int FROM typelab.result r"))),
                qPrintable(count(admin, QStringLiteral("SELECT avg(octet_length(t.text))::int FROM typelab.result r "
                                                       "JOIN typelab.exercise_text t ON t.sha256 = r.text_sha256"))));
    std::fflush(stdout);
}

// 50 machines fill their outboxes while the server is stopped, then drain them.
void afterAnOutage(PgCluster& cluster, int perMachine)
{
    constexpr int kMachines = 50;
    Pg::Connection admin = cluster.superuser();
    admin.exec(QStringLiteral("TRUNCATE typelab.result"));
    std::vector<std::unique_ptr<LabMachine>> machines = labMachines(cluster, QStringLiteral("out"), kMachines);
    cluster.stop();
    QElapsedTimer filling;
    filling.start();
    for (int i = 0; i < kMachines; ++i) {
        const LoginReply login =
            machines[i]->store().practiceLogin(QStringLiteral("2027%1").arg(i, 6, 10, QChar(u'0')), QStringLiteral("学生"));
        if (!login.ok())
            throw std::runtime_error("practice login failed: " + login.message.toStdString());
        for (int n = 0; n < perMachine; ++n)
            if (!machines[i]->finishIn(login.session).ok())
                throw std::runtime_error("a machine did not store its result");
        machines[i]->store().endSession(login.session);
    }
    const qint64 filled = filling.elapsed();
    cluster.resume();
    admin = cluster.superuser();
    const int expected = kMachines * perMachine;
    int peak = 0;
    QElapsedTimer drain;
    drain.start();
    while (count(admin, QStringLiteral("SELECT count(*) FROM typelab.result")).toInt() < expected) {
        peak = std::max(peak, count(admin, QStringLiteral("SELECT count(*) FROM pg_stat_activity "
                                                          "WHERE backend_type = 'client backend'")).toInt() - 1);
        if (drain.elapsed() > 900'000)
            throw std::runtime_error("the outboxes did not drain");
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    const qint64 sinceBack = drain.elapsed();
    const double spanSeconds =
        count(admin, QStringLiteral("SELECT extract(epoch FROM max(received_at) - min(received_at)) FROM typelab.result")).toDouble();
    const QString distinct = count(admin, QStringLiteral("SELECT count(DISTINCT id) FROM typelab.result"));
    std::printf("%-42s %10.0f results/s  (%d machines x %d results, stored on them in %lld ms while the server "
                "was stopped; all on the server %lld ms after it was back, the machines' random pauses included; "
                "peak client connections %d; rows %d, distinct ids %s)\n",
                "after an outage, the outboxes drained:", expected / std::max(spanSeconds, 0.001), kMachines, perMachine,
                filled, sinceBack, peak, expected, qPrintable(distinct));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? QByteArray(argv[1]).toInt() : 20;
    const int perMachine = argc > 2 ? QByteArray(argv[2]).toInt() : 500;
    const int rounds = argc > 3 ? QByteArray(argv[3]).toInt() : 5;
    StoreClient::setServiceProgram(QStringLiteral(TYPELAB_BUILD_APP_DIR "/typelab-store"));
    // A machine's first retry after an outage comes within 2 s here, not the minute a lab waits
    // at most, so that the drain is timed rather than the pauses.
    qputenv("TYPELAB_FORWARD_LONGEST_PAUSE", "2000");
    Clock::setSteady(1'000'000'000);
    try {
        PgCluster cluster;
        cluster.start();
        const Pg::ConnectionParameters machine = cluster.machine(QStringLiteral("bench-pc"));
        QTemporaryDir work;
        const QString script = work.filePath(QStringLiteral("submit.sql"));
        QFile file(script);
        if (!file.open(QIODevice::WriteOnly))
            throw std::runtime_error("cannot write the pgbench script");
        file.write("SELECT typelab.submit(gen_random_uuid(), '2026010101', '张三', '英文', 88.5, 123.25, 97.5, "
                   "current_date, localtime(0)::time, 'B1', 1::smallint, :text::bytea, :log::bytea);\n");
        file.close();
        std::printf("PostgreSQL 15, %d clients, %d s each, one machine's certificate, verify-full TLS; "
                    "each result a ~20 KB log and a ~5 KB text (sent as hex text by pgbench)\n",
                    kClients, seconds);
        for (const bool reconnect : {true, false}) {
            const PgCluster::Pgbench figures = runPgbench(machine.describe(), script, reconnect, seconds);
            std::printf("%-42s %10.1f results/s  (%lld stored, %lld failed)\n",
                        reconnect ? "new TLS connection per result (-C):" : "kept connections:", figures.tps,
                        static_cast<long long>(figures.transactions), static_cast<long long>(figures.failed));
            std::fflush(stdout);
        }
        const QString connectOnly = work.filePath(QStringLiteral("connect.sql"));
        QFile select(connectOnly);
        if (!select.open(QIODevice::WriteOnly))
            throw std::runtime_error("cannot write the pgbench script");
        select.write("SELECT 1;\n");
        select.close();
        const PgCluster::Pgbench connections = runPgbench(machine.describe(), connectOnly, true, seconds);
        std::printf("%-42s %10.1f connections/s\n", "for comparison, new TLS connection, SELECT 1:", connections.tps);
        Pg::Connection admin = cluster.superuser();
        std::printf("results in typelab.result: %s, refused copies: %s\n",
                    qPrintable(admin.exec(QStringLiteral("SELECT count(*) FROM typelab.result")).text(0, 0)),
                    qPrintable(admin.exec(QStringLiteral("SELECT count(*) FROM typelab.refused_copy")).text(0, 0)));
        testLoginsWithClaims(cluster, 300);
        storedResults(cluster, 200);
        endOfSitting(cluster, rounds);
        afterAnOutage(cluster, perMachine);
        cluster.stop();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_school_server: %s\n", error.what());
        return 1;
    }
    return 0;
}
