// Lab machines forward to a real school server: real typelab-store processes (each started as
// the program starts it) and their forwarders, a real PostgreSQL set up by typelab-server, and
// faults on the way: the server away, stopped immediately in the middle of a send, a link that
// goes silent or resets, a forwarder killed between the server's COMMIT and the local mark.
// Whatever happens, every result stored on a machine reaches the server exactly once, as it was
// stored, and nothing else does.

#include "store/store_client.h"
#include "support/lab_machine.h"
#include "support/tcp_proxy.h"

#include <QRandomGenerator>
#include <QtTest>

#include <csignal>

namespace {

// One row of the server's results, as comparable as the machine's copy.
struct ServerRow {
    ServerResult result;
    QString machine;
};

} // namespace

class TestForwarding : public QObject {
    Q_OBJECT

    std::unique_ptr<PgCluster> cluster_;
    int machines_ = 0;

    QString nextName() { return QStringLiteral("pc%1").arg(++machines_); }

    QHash<QString, ServerRow> serverRows()
    {
        QHash<QString, ServerRow> rows;
        Pg::Connection db = cluster_->superuser();
        const Pg::Result read = db.exec(
            QStringLiteral("SELECT r.id::text, r.xh, r.xm, r.lrxm, r.lrcj, r.lrsd, r.lrzql, r.lrdate::text,"
                           " r.lrtime::text, coalesce(r.lrpc, ''), r.kind, t.text, r.log, r.machine"
                           " FROM typelab.result r JOIN typelab.exercise_text t ON t.sha256 = r.text_sha256"),
            {}, Pg::Format::Binary);
        for (int i = 0; i < read.rows(); ++i) {
            ServerRow row;
            // Binary results: the texts are UTF-8, the numbers in network order.
            row.result.id = QString::fromUtf8(read.bytes(i, 0));
            row.result.row.xh = QString::fromUtf8(read.bytes(i, 1));
            row.result.row.xm = QString::fromUtf8(read.bytes(i, 2));
            row.result.row.lrxm = QString::fromUtf8(read.bytes(i, 3));
            const auto real = [&](int column) {
                const QByteArray bytes = read.bytes(i, column);
                quint64 bits = 0;
                for (const char byte : bytes)
                    bits = bits << 8 | quint8(byte);
                double value = 0;
                std::memcpy(&value, &bits, sizeof value);
                return value;
            };
            row.result.row.lrcj = real(4);
            row.result.row.lrsd = real(5);
            row.result.row.lrzql = real(6);
            row.result.row.lrdate = QDate::fromString(QString::fromUtf8(read.bytes(i, 7)), Qt::ISODate);
            row.result.row.lrtime = QTime::fromString(QString::fromUtf8(read.bytes(i, 8)), Qt::ISODate);
            row.result.row.lrpc = QString::fromUtf8(read.bytes(i, 9));
            const QByteArray kind = read.bytes(i, 10);
            row.result.kind = ExerciseKind((quint8(kind.at(0)) << 8) | quint8(kind.at(1)));
            row.result.text = read.bytes(i, 11);
            row.result.log = read.bytes(i, 12);
            row.machine = QString::fromUtf8(read.bytes(i, 13));
            rows.insert(row.result.id, row);
        }
        return rows;
    }

    int serverCount()
    {
        return cluster_->superuser().exec(QStringLiteral("SELECT count(*) FROM typelab.result")).text(0, 0).toInt();
    }

    // Every result in the machines' outboxes is on the server once, as stored, under the
    // machine's name, and the server holds nothing else.
    void serverHoldsExactly(const QList<LabMachine*>& machines)
    {
        const QHash<QString, ServerRow> rows = serverRows();
        int expected = 0;
        for (LabMachine* machine : machines) {
            for (const ServerResult& local : machine->outbox()) {
                ++expected;
                const auto found = rows.constFind(local.id);
                QVERIFY2(found != rows.cend(), qPrintable(local.id));
                QCOMPARE(found->machine, machine->name());
                QVERIFY2(found->result == local, qPrintable(local.id));
            }
        }
        QCOMPARE(rows.size(), expected);
    }

private slots:
    void initTestCase()
    {
        LabMachine::prepareTests();
        cluster_ = std::make_unique<PgCluster>();
        PG_CLUSTER_TRY(cluster_->start());
    }
    void init()
    {
        PG_CLUSTER_TRY(LabMachine::readyForTest(*cluster_));
        PG_CLUSTER_TRY(cluster_->superuser().exec(QStringLiteral("TRUNCATE typelab.result")));
    }
    void cleanupTestCase() { cluster_.reset(); }

    // A result stored on a joined machine is on the server soon after, once; the status says
    // nothing waits. A machine that has not joined keeps everything to itself, as before.
    void resultsReachTheServerOnce()
    {
        LabMachine machine(*cluster_, nextName());
        for (int i = 1; i <= 3; ++i)
            QVERIFY(machine.finishExercise(QStringLiteral("202400000%1").arg(i), QStringLiteral("B1"), i).ok());
        QCOMPARE(machine.outbox().size(), 3);
        QTRY_COMPARE_WITH_TIMEOUT(serverCount(), 3, 30'000);
        serverHoldsExactly({&machine});
        QTRY_COMPARE_WITH_TIMEOUT(machine.waiting(), 0, 10'000);
        const QString status = machine.status();
        QVERIFY2(status.contains(QStringLiteral("machine: ") + machine.name()), qPrintable(status));
        QVERIFY2(!status.contains(QStringLiteral("last success: never")), qPrintable(status));

        LabMachine alone(QStringLiteral("alone"));
        QVERIFY(alone.finishExercise(QStringLiteral("2024000009"), QStringLiteral("B1")).ok());
        QCOMPARE(alone.folder().store().allResults().size(), 1);
        QVERIFY(alone.outbox().isEmpty());
        QVERIFY(alone.status().contains(QStringLiteral("machine: (none")));
        QCOMPARE(serverCount(), 3);
    }

    // With the server away, results wait (the student's result is stored all the same); the
    // status says what went wrong; when the server is back they go.
    void resultsWaitWhileTheServerIsAway()
    {
        LabMachine machine(*cluster_, nextName());
        PG_CLUSTER_TRY(cluster_->stop());
        QVERIFY(machine.finishExercise(QStringLiteral("2024000011"), QStringLiteral("B2")).ok());
        QVERIFY(machine.finishExercise(QStringLiteral("2024000012"), QStringLiteral("B2")).ok());
        QCOMPARE(machine.folder().store().allResults().size(), 2);
        QTRY_VERIFY_WITH_TIMEOUT(machine.status().contains(QStringLiteral("无法连接服务器")), 20'000);
        QCOMPARE(machine.waiting(), 2);
        PG_CLUSTER_TRY(cluster_->resume());
        QTRY_COMPARE_WITH_TIMEOUT(serverCount(), 2, 30'000);
        QTRY_COMPARE_WITH_TIMEOUT(machine.waiting(), 0, 10'000);
        serverHoldsExactly({&machine});
    }

    // The server stopped at once in the middle of a send: the transaction is lost on the
    // server, nothing is marked sent here, and all of it arrives once when the server is back.
    void serverStoppedInTheMiddleOfASend()
    {
        TcpProxy proxy(quint16(cluster_->port()));
        LabMachine machine(*cluster_, nextName(), proxy.port());
        proxy.setMode(TcpProxy::Mode::Reset);
        for (int i = 0; i < 12; ++i)
            QVERIFY(machine.finishExercise(QStringLiteral("20240002%1").arg(i, 2, 10, QLatin1Char('0')),
                                           QStringLiteral("B3"), i + 1)
                        .ok());
        // The batch trickles in: the server is in the middle of its transaction for seconds.
        proxy.setClientRate(64 * 1024);
        proxy.setMode(TcpProxy::Mode::Pass);
        QTRY_VERIFY_WITH_TIMEOUT(cluster_->superuser()
                                         .exec(QStringLiteral("SELECT count(*) FROM pg_stat_activity"
                                                              " WHERE application_name = 'typelab-forward'"
                                                              " AND xact_start IS NOT NULL"))
                                         .text(0, 0)
                                         .toInt()
                                     > 0,
                                 30'000);
        PG_CLUSTER_TRY(cluster_->crash());
        QCOMPARE(machine.waiting(), 12);
        PG_CLUSTER_TRY(cluster_->resume());
        proxy.setClientRate(0);
        QTRY_COMPARE_WITH_TIMEOUT(machine.waiting(), 0, 60'000);
        QCOMPARE(serverCount(), 12);
        serverHoldsExactly({&machine});
    }

    // A link that goes silent, then one that resets every connection: the forwarder gives up
    // on each try within its deadline, and all goes once the link is whole again.
    void silentAndResettingLinks()
    {
        TcpProxy proxy(quint16(cluster_->port()));
        LabMachine machine(*cluster_, nextName(), proxy.port());
        proxy.setMode(TcpProxy::Mode::Silent);
        QVERIFY(machine.finishExercise(QStringLiteral("2024000031"), QStringLiteral("B4")).ok());
        QTRY_VERIFY_WITH_TIMEOUT(machine.status().contains(QStringLiteral("服务器没有按时应答")), 20'000);
        proxy.setMode(TcpProxy::Mode::Reset);
        QVERIFY(machine.finishExercise(QStringLiteral("2024000032"), QStringLiteral("B4")).ok());
        const int before = proxy.accepted();
        QTRY_VERIFY_WITH_TIMEOUT(proxy.accepted() > before + 1, 20'000); // it kept trying
        QCOMPARE(serverCount(), 0);
        QCOMPARE(machine.waiting(), 2);
        proxy.setMode(TcpProxy::Mode::Pass);
        QTRY_COMPARE_WITH_TIMEOUT(machine.waiting(), 0, 30'000);
        serverHoldsExactly({&machine});
    }

    // The forwarder killed after the server committed and before the store heard of it: the
    // result is sent again, and the server, which has it, says so; it is there once.
    void forwarderKilledBetweenCommitAndMark()
    {
        TcpProxy proxy(quint16(cluster_->port()));
        // What the server says reaches the forwarder two seconds late: the COMMIT is done on
        // the server long before the forwarder knows it. (The handshake is slow then too.)
        qputenv("TYPELAB_FORWARD_CONNECT_DEADLINE", "30000");
        qputenv("TYPELAB_FORWARD_BATCH_DEADLINE", "30000");
        LabMachine machine(*cluster_, nextName(), proxy.port());
        proxy.setServerDelay(2000);
        QVERIFY(machine.finishExercise(QStringLiteral("2024000041"), QStringLiteral("B5")).ok());
        QTRY_COMPARE_WITH_TIMEOUT(serverCount(), 1, 60'000);
        const qint64 forwarder = machine.forwarderPid();
        QVERIFY(forwarder > 0);
        ::kill(pid_t(forwarder), SIGKILL);
        QCOMPARE(machine.waiting(), 1); // not marked: its answer had not arrived
        proxy.setServerDelay(0);
        qputenv("TYPELAB_FORWARD_CONNECT_DEADLINE", "2000");
        qputenv("TYPELAB_FORWARD_BATCH_DEADLINE", "5000");
        // The store starts another, which sends it again.
        QTRY_COMPARE_WITH_TIMEOUT(machine.waiting(), 0, 30'000);
        QCOMPARE(serverCount(), 1);
        serverHoldsExactly({&machine});
    }

    // Many machines, each behind a link of its own, with faults drawn from a seed: links that
    // go silent or reset, the server stopped at once and started again, forwarders killed.
    // Then everything heals, the outboxes drain, and the server holds exactly what they held.
    void manyMachinesWithFaults_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::newRow("seed 7") << 7u;
        QTest::newRow("seed 2026") << 2026u;
    }
    void manyMachinesWithFaults()
    {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        constexpr int kMachines = 5;
        std::vector<std::unique_ptr<TcpProxy>> proxies;
        std::vector<std::unique_ptr<LabMachine>> machines;
        for (int i = 0; i < kMachines; ++i) {
            proxies.push_back(std::make_unique<TcpProxy>(quint16(cluster_->port())));
            machines.push_back(std::make_unique<LabMachine>(*cluster_, nextName(), proxies.back()->port()));
        }
        for (int round = 0; round < 4; ++round) {
            for (int i = 0; i < kMachines; ++i) {
                const int dice = int(random.bounded(10));
                proxies[i]->setMode(dice < 2 ? TcpProxy::Mode::Silent
                                    : dice < 4 ? TcpProxy::Mode::Reset
                                               : TcpProxy::Mode::Pass);
                const QString number = QStringLiteral("20%1%2%3").arg(seed % 100, 2, 10, QLatin1Char('0'))
                                           .arg(i, 2, 10, QLatin1Char('0'))
                                           .arg(round, 4, 10, QLatin1Char('0'));
                QVERIFY(machines[i]->finishExercise(number, QStringLiteral("M%1").arg(seed), int(random.bounded(9))).ok());
                if (random.bounded(4) == 0)
                    if (const qint64 forwarder = machines[i]->forwarderPid())
                        ::kill(pid_t(forwarder), SIGKILL);
            }
            if (round == 1) {
                PG_CLUSTER_TRY(cluster_->crash());
                PG_CLUSTER_TRY(cluster_->resume());
            }
        }
        for (auto& proxy : proxies)
            proxy->setMode(TcpProxy::Mode::Pass);
        for (auto& machine : machines)
            QTRY_COMPARE_WITH_TIMEOUT(machine->waiting(), 0, 90'000);
        QList<LabMachine*> all;
        for (auto& machine : machines)
            all << machine.get();
        serverHoldsExactly(all);
        QCOMPARE(serverCount(), 4 * kMachines);
    }
};

QTEST_MAIN(TestForwarding)
#include "test_forwarding.moc"
