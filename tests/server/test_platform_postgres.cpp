// The libpq wrapper against a real cluster and against sockets that misbehave: deadlines,
// garbage, pipelines, notifications, TLS host checks and a server stopped mid-pipeline.
#include "support/pg_cluster.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

Q_DECLARE_METATYPE(QList<Pg::Result>)

namespace {

// A listening socket on 127.0.0.1 that never accepts (the kernel still completes connections),
// or that accepts and answers every connection with garbage.
class LoopbackListener {
public:
    LoopbackListener()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd_, 8);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~LoopbackListener()
    {
        delete notifier_;
        for (int client : clients_)
            ::close(client);
        ::close(fd_);
    }
    void answerWithGarbage()
    {
        notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read);
        QObject::connect(notifier_, &QSocketNotifier::activated, [this] {
            const int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                return;
            clients_ << client;
            const char garbage[] = "HTTP/1.1 400 Bad Request\r\n\r\n\x7f\x00\x01";
            (void)::write(client, garbage, sizeof garbage);
        });
    }
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
    QSocketNotifier* notifier_ = nullptr;
    QList<int> clients_;
};

Pg::ConnectionParameters plainTcp(int port)
{
    Pg::ConnectionParameters parameters;
    parameters.set(QStringLiteral("host"), QStringLiteral("127.0.0.1"))
        .set(QStringLiteral("port"), QString::number(port))
        .set(QStringLiteral("dbname"), QStringLiteral("typelab"))
        .set(QStringLiteral("user"), QStringLiteral("nobody"))
        .set(QStringLiteral("sslmode"), QStringLiteral("disable"));
    return parameters;
}

Pg::Statement submitStatement(const QByteArray& log)
{
    return {QStringLiteral("SELECT typelab.submit(gen_random_uuid(), $1, $2, '英文', 90, 100, 99, current_date, "
                           "localtime(0)::time, 'B2', 1::smallint, $3, $4)"),
            {QStringLiteral("2026000001"), QStringLiteral("李四"), Pg::Param::binary("text"), Pg::Param::binary(log)}};
}

bool libpqLoaded()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libpq.so");
}

} // namespace

class TestPlatformPostgres : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void failuresComeWithinTheirDeadlines();
    void garbageIsAFailure();
    void blockingStatementsCarryTypesAndErrors();
    void pipelineGivesResultsInOrder();
    void listenDeliversNotifications();
    void verifyFullChecksTheHostName();
    void serverStoppedMidPipelineIsAFailure();

private:
    PgCluster cluster_;
    Pg::ConnectionParameters machine_;
};

void TestPlatformPostgres::initTestCase()
{
    qRegisterMetaType<Pg::Error>();
    qRegisterMetaType<Pg::Result>();
    qRegisterMetaType<QList<Pg::Result>>();
    // Nothing loads the client library before the first connection.
    QVERIFY(!libpqLoaded());
    PG_CLUSTER_TRY(cluster_.start());
    PG_CLUSTER_TRY(machine_ = cluster_.machine(QStringLiteral("wrapper-pc")));
    QVERIFY(libpqLoaded());
}

void TestPlatformPostgres::cleanupTestCase()
{
    cluster_.stop();
}

void TestPlatformPostgres::failuresComeWithinTheirDeadlines()
{
    // Nothing listens: refused at once, reported from the event loop, not inside open().
    LoopbackListener* closed = new LoopbackListener;
    const int nothing = closed->port();
    delete closed;
    Pg::AsyncConnection connection;
    QSignalSpy failed(&connection, &Pg::AsyncConnection::failed);
    QElapsedTimer clock;
    clock.start();
    connection.open(plainTcp(nothing), 2000);
    QCOMPARE(failed.count(), 0);
    QVERIFY(failed.wait(5000));
    QVERIFY(clock.elapsed() < 2000);
    QCOMPARE(failed.at(0).at(0).value<Pg::Error>().kind(), Pg::Error::Kind::Connect);
    QCOMPARE(connection.state(), Pg::AsyncConnection::State::Closed);

    // A server that takes the connection and never answers: the deadline ends it.
    LoopbackListener silent;
    failed.clear();
    clock.restart();
    connection.open(plainTcp(silent.port()), 700);
    QVERIFY(failed.wait(10'000));
    QVERIFY2(clock.elapsed() >= 690 && clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(failed.at(0).at(0).value<Pg::Error>().kind(), Pg::Error::Kind::Timeout);
    clock.restart();
    QVERIFY_THROWS_EXCEPTION(Pg::Error, Pg::Connection::open(plainTcp(silent.port()), 500));
    QVERIFY(clock.elapsed() < 5000);

    // A pipeline on a closed connection fails, also from the loop.
    connection.sendPipeline({Pg::Statement{QStringLiteral("SELECT 1"), {}}}, 1000);
    QVERIFY(failed.wait(1000));
    QCOMPARE(failed.last().at(0).value<Pg::Error>().kind(), Pg::Error::Kind::Usage);
}

void TestPlatformPostgres::garbageIsAFailure()
{
    LoopbackListener garbage;
    garbage.answerWithGarbage();
    Pg::AsyncConnection connection;
    QSignalSpy failed(&connection, &Pg::AsyncConnection::failed);
    QSignalSpy connected(&connection, &Pg::AsyncConnection::connected);
    connection.open(plainTcp(garbage.port()), 10'000);
    QVERIFY(failed.wait(10'000));
    QCOMPARE(connected.count(), 0);
    QCOMPARE(failed.at(0).at(0).value<Pg::Error>().kind(), Pg::Error::Kind::Connect);
}

void TestPlatformPostgres::blockingStatementsCarryTypesAndErrors()
{
    Pg::Connection admin = cluster_.superuser();
    try {
        admin.exec(QStringLiteral("SELECT 1 / $1::int"), {QStringLiteral("0")});
        QFAIL("division by zero was not refused");
    } catch (const Pg::Error& error) {
        QCOMPARE(error.kind(), Pg::Error::Kind::Statement);
        QCOMPARE(error.sqlState(), QStringLiteral("22012"));
        QCOMPARE(error.message(), QStringLiteral("division by zero"));
    }
    // Every byte goes through a binary parameter and comes back in a binary result.
    QByteArray bytes;
    for (int b = 0; b < 256; ++b)
        bytes.append(char(b));
    const Pg::Result echoed = admin.exec(QStringLiteral("SELECT $1::bytea, $2::text IS NULL"),
                                         {Pg::Param::binary(bytes), Pg::Param::null()}, Pg::Format::Binary);
    QCOMPARE(echoed.bytes(0, 0), bytes);
    QCOMPARE(echoed.bytes(0, 1), QByteArray(1, '\1'));
    const QString strange = QStringLiteral("a \"quoted\" 名字");
    QCOMPARE(admin.exec(QStringLiteral("SELECT 1 AS %1").arg(admin.escapeIdentifier(strange))).rows(), 1);
    QCOMPARE(admin.exec(QStringLiteral("SELECT %1").arg(admin.escapeLiteral(QStringLiteral("it's")))).text(0, 0),
             QStringLiteral("it's"));
    // A password is never shown, and the verifier made here is SCRAM.
    Pg::ConnectionParameters secret = plainTcp(1);
    secret.set(QStringLiteral("password"), QStringLiteral("hunter2"));
    QVERIFY(!secret.describe().contains(QLatin1String("hunter2")));
    QVERIFY(admin.encryptPassword("hunter2", QStringLiteral("x")).startsWith("SCRAM-SHA-256$4096:"));
}

void TestPlatformPostgres::pipelineGivesResultsInOrder()
{
    Pg::AsyncConnection connection;
    QSignalSpy connected(&connection, &Pg::AsyncConnection::connected);
    QSignalSpy failed(&connection, &Pg::AsyncConnection::failed);
    QSignalSpy finished(&connection, &Pg::AsyncConnection::pipelineFinished);
    QSignalSpy each(&connection, &Pg::AsyncConnection::statementFinished);
    connection.open(Pg::ConnectionParameters(machine_).withNetworkDefaults(), 10'000);
    QVERIFY(connected.wait(10'000));

    // A batch as a forwarder sends it: one transaction, a ~20 KB log each, one copy invalid.
    const QByteArray log(20'000, 'k');
    Pg::Statement invalid = submitStatement(log);
    invalid.sql.replace(QStringLiteral("'英文'"), QStringLiteral("'中文'"));
    QList<Pg::Statement> batch{{QStringLiteral("BEGIN"), {}}};
    for (int i = 0; i < 20; ++i)
        batch << (i == 7 ? invalid : submitStatement(log));
    batch << Pg::Statement{QStringLiteral("COMMIT"), {}};
    connection.sendPipeline(batch, 30'000);
    QVERIFY(finished.wait(30'000));
    QCOMPARE(failed.count(), 0);
    const QList<Pg::Result> results = finished.at(0).at(0).value<QList<Pg::Result>>();
    QCOMPARE(results.size(), batch.size());
    QCOMPARE(each.count(), batch.size());
    for (int i = 0; i < each.count(); ++i)
        QCOMPARE(each.at(i).at(0).toInt(), i);
    for (int i = 1; i <= 20; ++i)
        QCOMPARE(results[i].text(0, 0), i == 8 ? QStringLiteral("invalid") : QStringLiteral("stored"));
    QVERIFY(results.last().ok());

    // A statement the server refuses: it and the rest of the pipeline are results, not a failure.
    finished.clear();
    connection.sendPipeline({{QStringLiteral("BEGIN"), {}},
                             {QStringLiteral("SELECT * FROM typelab.result"), {}},
                             submitStatement(log),
                             {QStringLiteral("COMMIT"), {}}},
                            10'000);
    QVERIFY(finished.wait(10'000));
    const QList<Pg::Result> refused = finished.at(0).at(0).value<QList<Pg::Result>>();
    QCOMPARE(refused[1].sqlState(), QStringLiteral("42501"));
    QVERIFY(refused[2].aborted());
    QCOMPARE(connection.state(), Pg::AsyncConnection::State::Idle);
    Pg::Connection admin = cluster_.superuser();
    QCOMPARE(admin.exec(QStringLiteral("SELECT count(*) FROM typelab.result WHERE machine = 'wrapper-pc'")).text(0, 0),
             QStringLiteral("19"));
}

void TestPlatformPostgres::listenDeliversNotifications()
{
    Pg::AsyncConnection listener;
    QSignalSpy connected(&listener, &Pg::AsyncConnection::connected);
    QSignalSpy finished(&listener, &Pg::AsyncConnection::pipelineFinished);
    QSignalSpy heard(&listener, &Pg::AsyncConnection::notification);
    PG_CLUSTER_TRY(cluster_.addTeacher(QStringLiteral("listening.teacher"), QStringLiteral("pass word")));
    listener.open(cluster_.teacherParameters(QStringLiteral("listening.teacher"), QStringLiteral("pass word")), 10'000);
    QVERIFY(connected.wait(10'000));
    listener.listen(QStringLiteral("new results"), 5000);
    QVERIFY(finished.wait(5000));
    Pg::Connection admin = cluster_.superuser();
    admin.exec(QStringLiteral("SELECT pg_notify('new results', 'B1 from PC01')"));
    admin.exec(QStringLiteral("SELECT pg_notify('elsewhere', 'not for us')"));
    QVERIFY(heard.wait(5000));
    QCOMPARE(heard.count(), 1);
    QCOMPARE(heard.at(0).at(0).toString(), QStringLiteral("new results"));
    QCOMPARE(heard.at(0).at(1).toString(), QStringLiteral("B1 from PC01"));
}

void TestPlatformPostgres::verifyFullChecksTheHostName()
{
    Pg::ConnectionParameters elsewhere = machine_;
    elsewhere.set(QStringLiteral("host"), QStringLiteral("school-server.example"))
        .set(QStringLiteral("hostaddr"), QStringLiteral("127.0.0.1"));
    try {
        Pg::Connection::open(elsewhere, 10'000);
        QFAIL("a certificate for localhost was taken for school-server.example");
    } catch (const Pg::Error& error) {
        QCOMPARE(error.kind(), Pg::Error::Kind::Connect);
        QVERIFY2(error.message().contains(QLatin1String("does not match host name \"school-server.example\"")),
                 qPrintable(error.message()));
    }
    Pg::ConnectionParameters byAddress = machine_;
    byAddress.set(QStringLiteral("host"), QStringLiteral("127.0.0.1"));
    Pg::Connection::open(byAddress, 10'000).exec(QStringLiteral("SELECT 1"));
}

void TestPlatformPostgres::serverStoppedMidPipelineIsAFailure()
{
    Pg::AsyncConnection connection;
    QSignalSpy connected(&connection, &Pg::AsyncConnection::connected);
    QSignalSpy failed(&connection, &Pg::AsyncConnection::failed);
    QSignalSpy each(&connection, &Pg::AsyncConnection::statementFinished);
    QSignalSpy finished(&connection, &Pg::AsyncConnection::pipelineFinished);
    connection.open(machine_, 10'000);
    QVERIFY(connected.wait(10'000));
    connection.sendPipeline({{QStringLiteral("BEGIN"), {}},
                             submitStatement("log"),
                             {QStringLiteral("SELECT pg_sleep(120)"), {}},
                             {QStringLiteral("COMMIT"), {}}},
                            300'000);
    QTRY_COMPARE_WITH_TIMEOUT(each.count(), 2, 10'000);
    QElapsedTimer clock;
    clock.start();
    cluster_.crash();
    QVERIFY(failed.wait(30'000));
    QVERIFY(clock.elapsed() < 30'000);
    QCOMPARE(failed.at(0).at(0).value<Pg::Error>().kind(), Pg::Error::Kind::Lost);
    QCOMPARE(finished.count(), 0);
    QCOMPARE(connection.state(), Pg::AsyncConnection::State::Closed);
}

QTEST_GUILESS_MAIN(TestPlatformPostgres)
#include "test_platform_postgres.moc"
