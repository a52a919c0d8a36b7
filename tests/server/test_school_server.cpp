// The school server as machines and teachers meet it: one real cluster, set up by the built
// typelab-server, machines connecting with their bundles over TLS (verify-full, client
// certificate) and teachers with passwords.
#include "support/pg_cluster.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>

#include <optional>
#include <sys/stat.h>

namespace {

// One result as a machine sends it.
struct Copy {
    QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    QString xh = QStringLiteral("2026010101");
    QString xm = QStringLiteral("张三");
    QString lrxm = QStringLiteral("英文");
    QString lrcj = QStringLiteral("88.5");
    QString lrsd = QStringLiteral("123.25");
    QString lrzql = QStringLiteral("97.5");
    QString lrdate = QStringLiteral("2026-12-08");
    QString lrtime = QStringLiteral("10:15:30");
    std::optional<QString> lrpc = QStringLiteral("B1");
    QString kind = QStringLiteral("1");
    QByteArray text = QByteArray("The quick brown fox jumps over the lazy dog.\r\n").repeated(100);
    QByteArray log = QByteArray("\x01\x00\x02\xff keystrokes", 15).repeated(1000);
};

const QString kSubmit = QStringLiteral("SELECT typelab.submit($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13)");

QList<Pg::Param> params(const Copy& copy)
{
    return {copy.id,    copy.xh,     copy.xm,     copy.lrxm,  copy.lrcj, copy.lrsd,
            copy.lrzql, copy.lrdate, copy.lrtime, copy.lrpc ? Pg::Param(*copy.lrpc) : Pg::Param::null(),
            copy.kind,  Pg::Param::binary(copy.text), Pg::Param::binary(copy.log)};
}

QString submit(Pg::Connection& machine, const Copy& copy)
{
    return machine.exec(kSubmit, params(copy)).text(0, 0);
}

QString sqlStateOf(Pg::Connection& connection, const QString& sql, const QList<Pg::Param>& values = {})
{
    try {
        connection.exec(sql, values);
    } catch (const Pg::Error& error) {
        return error.sqlState();
    }
    return QStringLiteral("succeeded");
}

// The message of a refused connection, or "connected".
QString refusal(const Pg::ConnectionParameters& parameters)
{
    try {
        Pg::Connection::open(parameters, 10'000);
    } catch (const Pg::Error& error) {
        return error.message();
    }
    return QStringLiteral("connected");
}

QByteArray runOpenssl(const QStringList& arguments)
{
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"), arguments);
    openssl.waitForFinished(60'000);
    return openssl.readAllStandardOutput() + openssl.readAllStandardError();
}

} // namespace

class TestSchoolServer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void bundleHoldsItsFilesOnly();
    void machineSubmitsAndTeacherReads();
    void invalidCopiesAreRefusedWithoutRaising_data();
    void invalidCopiesAreRefusedWithoutRaising();
    void machineRoleCanOnlySubmit();
    void machineConnectsOnlyWithItsOwnCertificate();
    void teacherOnlyReads();
    void revokedMachineIsShutOut();

private:
    Pg::Connection machine(const QString& name);
    Pg::ConnectionParameters parametersOf(const QString& name);

    PgCluster cluster_;
    QHash<QString, Pg::ConnectionParameters> machines_;
};

void TestSchoolServer::initTestCase()
{
    PG_CLUSTER_TRY(cluster_.start());
    PG_CLUSTER_TRY(cluster_.addTeacher(QStringLiteral("teacher.wang"), QStringLiteral("correct horse")));
}

void TestSchoolServer::cleanupTestCase()
{
    cluster_.stop();
}

Pg::ConnectionParameters TestSchoolServer::parametersOf(const QString& name)
{
    if (!machines_.contains(name))
        machines_.insert(name, cluster_.machine(name));
    return machines_.value(name);
}

Pg::Connection TestSchoolServer::machine(const QString& name)
{
    return Pg::Connection::open(parametersOf(name));
}

void TestSchoolServer::bundleHoldsItsFilesOnly()
{
    QString bundle;
    PG_CLUSTER_TRY(bundle = cluster_.enroll(QStringLiteral("PC01")));
    QCOMPARE(bundle, cluster_.stateDir() + QStringLiteral("/bundles/PC01.tar"));
    struct stat info {};
    QCOMPARE(::stat(QFile::encodeName(bundle).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, 0600u);
    QProcess tar;
    tar.start(QStringLiteral("tar"), {QStringLiteral("-tf"), bundle});
    QVERIFY(tar.waitForFinished());
    QStringList members = QString::fromUtf8(tar.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    members.sort();
    QCOMPARE(members, (QStringList{QStringLiteral("ca.crt"), QStringLiteral("machine.crt"), QStringLiteral("machine.key"),
                                   QStringLiteral("server")}));
    QString folder;
    PG_CLUSTER_TRY(folder = cluster_.unpack(bundle, QStringLiteral("PC01")));
    QFile server(folder + QStringLiteral("/server"));
    QVERIFY(server.open(QIODevice::ReadOnly));
    QCOMPARE(server.readAll(),
             QStringLiteral("host=localhost port=%1 dbname=typelab user=PC01\n").arg(cluster_.port()).toUtf8());
    const QString certificate = QString::fromUtf8(
        runOpenssl({QStringLiteral("x509"), QStringLiteral("-noout"), QStringLiteral("-subject"), QStringLiteral("-ext"),
                    QStringLiteral("extendedKeyUsage"), QStringLiteral("-in"), folder + QStringLiteral("/machine.crt")}));
    QVERIFY2(certificate.contains(QLatin1String("subject=CN = PC01")), qPrintable(certificate));
    QVERIFY2(certificate.contains(QLatin1String("TLS Web Client Authentication")), qPrintable(certificate));
    QVERIFY2(!certificate.contains(QLatin1String("Server")), qPrintable(certificate));
    QVERIFY(runOpenssl({QStringLiteral("pkey"), QStringLiteral("-noout"), QStringLiteral("-text"), QStringLiteral("-in"),
                        folder + QStringLiteral("/machine.key")})
                .contains("NIST CURVE: P-256"));
}

void TestSchoolServer::machineSubmitsAndTeacherReads()
{
    Pg::Connection pc = machine(QStringLiteral("PC02"));
    QCOMPARE(pc.exec(QStringLiteral("SELECT ssl, client_dn FROM pg_stat_ssl WHERE pid = pg_backend_pid()")).text(0, 1),
             QStringLiteral("/CN=PC02"));
    const Copy copy;
    QCOMPARE(submit(pc, copy), QStringLiteral("stored"));
    QCOMPARE(submit(pc, copy), QStringLiteral("again"));
    Copy sameText = copy;
    sameText.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    sameText.lrpc.reset(); // practice
    QCOMPARE(submit(pc, sameText), QStringLiteral("stored"));

    Copy changed = copy;
    changed.log.append('!');
    QCOMPARE(submit(pc, changed), QStringLiteral("conflict"));
    changed = copy;
    changed.lrcj = QStringLiteral("88.50001");
    QCOMPARE(submit(pc, changed), QStringLiteral("conflict"));
    // The same copy from another machine is not that machine's.
    Pg::Connection other = machine(QStringLiteral("PC03"));
    QCOMPARE(submit(other, copy), QStringLiteral("conflict"));

    Pg::Connection teacher = Pg::Connection::open(
        cluster_.teacherParameters(QStringLiteral("teacher.wang"), QStringLiteral("correct horse")));
    const Pg::Result rows = teacher.exec(
        QStringLiteral("SELECT machine, xh, xm, lrpc, lrdate = lrrq AND lrtime = lrsj, received_at IS NOT NULL, lrcj, "
                       "lrxm FROM typelab.results WHERE id = $1 OR id = $2 ORDER BY lrpc NULLS LAST"),
        {copy.id, sameText.id});
    QCOMPARE(rows.rows(), 2);
    for (int row = 0; row < 2; ++row) {
        QCOMPARE(rows.text(row, 0), QStringLiteral("PC02"));
        QCOMPARE(rows.text(row, 2), QStringLiteral("张三"));
        QCOMPARE(rows.text(row, 4), QStringLiteral("t"));
        QCOMPARE(rows.text(row, 5), QStringLiteral("t"));
    }
    QCOMPARE(rows.text(0, 3), QStringLiteral("B1"));
    QVERIFY(rows.isNull(1, 3));
    QCOMPARE(rows.text(0, 6), QStringLiteral("88.5"));
    QCOMPARE(rows.text(0, 7), QStringLiteral("英文"));

    Pg::Connection admin = cluster_.superuser();
    // The text is stored once for both results, and byte for byte.
    const Pg::Result text = admin.exec(
        QStringLiteral("SELECT count(DISTINCT r.text_sha256)::text, (array_agg(t.text))[1] FROM typelab.result r "
                       "JOIN typelab.exercise_text t ON t.sha256 = r.text_sha256 WHERE r.id IN ($1, $2)"),
        {copy.id, sameText.id}, Pg::Format::Binary);
    QCOMPARE(text.bytes(0, 0), QByteArray("1"));
    QCOMPARE(text.bytes(0, 1), copy.text);
    const Pg::Result log = admin.exec(QStringLiteral("SELECT log FROM typelab.result WHERE id = $1"), {copy.id},
                                      Pg::Format::Binary);
    QCOMPARE(log.bytes(0, 0), copy.log);
    const Pg::Result refused = admin.exec(
        QStringLiteral("SELECT machine, reason FROM typelab.refused_copy WHERE id = $1 ORDER BY received_at"), {copy.id});
    QCOMPARE(refused.rows(), 3);
    QCOMPARE(refused.text(0, 0), QStringLiteral("PC02"));
    QCOMPARE(refused.text(0, 1), QStringLiteral("conflict: the id holds another body"));
    QCOMPARE(refused.text(2, 0), QStringLiteral("PC03"));
    QCOMPARE(refused.text(2, 1), QStringLiteral("conflict: the id holds a result of another machine"));
}

void TestSchoolServer::invalidCopiesAreRefusedWithoutRaising_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("reason");
    QTest::newRow("kind 3") << "kind" << "3" << "neither 1";
    QTest::newRow("English kind, Chinese name") << "lrxm" << "中文" << "does not match";
    QTest::newRow("score NaN") << "lrcj" << "NaN" << "not finite";
    QTest::newRow("speed infinite") << "lrsd" << "Infinity" << "not finite";
    QTest::newRow("negative accuracy") << "lrzql" << "-0.5" << "negative";
    QTest::newRow("score above 100") << "lrcj" << "100.01" << "above 100";
    QTest::newRow("accuracy above 100") << "lrzql" << "101" << "above 100";
    QTest::newRow("number of 21") << "xh" << QString(21, QLatin1Char('1')) << "too long";
    QTest::newRow("name of 25") << "xm" << QString(25, QChar(0x5f20)) << "too long";
    QTest::newRow("batch of 21") << "lrpc" << QString(21, QLatin1Char('b')) << "too long";
    QTest::newRow("text above 256 KiB") << "text" << QString::number(256 * 1024 + 1) << "256 KiB";
    QTest::newRow("log above 4 MiB") << "log" << QString::number(4 * 1024 * 1024 + 1) << "4 MiB";
}

void TestSchoolServer::invalidCopiesAreRefusedWithoutRaising()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(QString, reason);
    Copy bad;
    if (field == QLatin1String("kind"))
        bad.kind = value;
    else if (field == QLatin1String("lrxm"))
        bad.lrxm = value;
    else if (field == QLatin1String("lrcj"))
        bad.lrcj = value;
    else if (field == QLatin1String("lrsd"))
        bad.lrsd = value;
    else if (field == QLatin1String("lrzql"))
        bad.lrzql = value;
    else if (field == QLatin1String("xh"))
        bad.xh = value;
    else if (field == QLatin1String("xm"))
        bad.xm = value;
    else if (field == QLatin1String("lrpc"))
        bad.lrpc = value;
    else if (field == QLatin1String("text"))
        bad.text = QByteArray(value.toInt(), 'a');
    else if (field == QLatin1String("log"))
        bad.log = QByteArray(value.toInt(), 'l');
    // The largest that is allowed still passes, in the same transaction after the refusal.
    Copy largest;
    largest.xh = QString(20, QLatin1Char('1'));
    largest.xm = QString(24, QChar(0x5f20));
    largest.lrpc = QString(20, QLatin1Char('b'));
    largest.lrcj = largest.lrzql = QStringLiteral("100");
    largest.lrsd = QStringLiteral("0");
    largest.kind = QStringLiteral("2");
    largest.lrxm = QStringLiteral("中文");

    Pg::Connection pc = machine(QStringLiteral("PC04"));
    pc.exec(QStringLiteral("BEGIN"));
    QCOMPARE(submit(pc, bad), QStringLiteral("invalid"));
    QCOMPARE(submit(pc, largest), QStringLiteral("stored"));
    pc.exec(QStringLiteral("COMMIT"));

    Pg::Connection admin = cluster_.superuser();
    const Pg::Result refused =
        admin.exec(QStringLiteral("SELECT machine, reason FROM typelab.refused_copy WHERE id = $1"), {bad.id});
    QCOMPARE(refused.rows(), 1);
    QCOMPARE(refused.text(0, 0), QStringLiteral("PC04"));
    QVERIFY2(refused.text(0, 1).startsWith(QLatin1String("invalid: ")) && refused.text(0, 1).contains(reason),
             qPrintable(refused.text(0, 1)));
    QCOMPARE(admin.exec(QStringLiteral("SELECT count(*) FROM typelab.result WHERE id IN ($1, $2)"), {bad.id, largest.id})
                 .text(0, 0),
             QStringLiteral("1"));
}

void TestSchoolServer::machineRoleCanOnlySubmit()
{
    Pg::Connection pc = machine(QStringLiteral("PC05"));
    const QString denied = QStringLiteral("42501");
    QCOMPARE(sqlStateOf(pc, QStringLiteral("SELECT * FROM typelab.result")), denied);
    QCOMPARE(sqlStateOf(pc, QStringLiteral("SELECT * FROM typelab.results")), denied);
    QCOMPARE(sqlStateOf(pc, QStringLiteral("SELECT * FROM typelab.machine")), denied);
    QCOMPARE(sqlStateOf(pc, QStringLiteral("SELECT * FROM typelab.refused_copy")), denied);
    QCOMPARE(sqlStateOf(pc, QStringLiteral("INSERT INTO typelab.refused_copy (reason) VALUES ('x')")), denied);
    QCOMPARE(sqlStateOf(pc, QStringLiteral("INSERT INTO typelab.exercise_text VALUES ('\\x00', 1, '\\x00')")), denied);
    QCOMPARE(sqlStateOf(pc, QStringLiteral("UPDATE typelab.machine SET revoked_at = NULL")), denied);
    QCOMPARE(sqlStateOf(pc, QStringLiteral("CREATE TEMP TABLE t (x int)")), denied);
    QCOMPARE(sqlStateOf(pc, QStringLiteral("CREATE TABLE public.t (x int)")), denied);
    QCOMPARE(sqlStateOf(pc, QStringLiteral("SET ROLE typelab_owner")), denied);
    // No call names the machine: the result is the certificate's, whatever the body says.
    Copy copy;
    copy.xm = QStringLiteral("PC06");
    QCOMPARE(submit(pc, copy), QStringLiteral("stored"));
    QCOMPARE(sqlStateOf(pc, kSubmit.chopped(1) + QStringLiteral(", $14)"), params(Copy{}) << QStringLiteral("PC06")),
             QStringLiteral("42883"));
    Pg::Connection admin = cluster_.superuser();
    QCOMPARE(admin.exec(QStringLiteral("SELECT machine FROM typelab.result WHERE id = $1"), {copy.id}).text(0, 0),
             QStringLiteral("PC05"));
}

void TestSchoolServer::machineConnectsOnlyWithItsOwnCertificate()
{
    const Pg::ConnectionParameters pc = parametersOf(QStringLiteral("PC07"));
    parametersOf(QStringLiteral("PC08"));
    QCOMPARE(refusal(pc), QStringLiteral("connected"));

    Pg::ConnectionParameters claimOther = pc;
    claimOther.set(QStringLiteral("user"), QStringLiteral("PC08"));
    QVERIFY2(refusal(claimOther).contains(QLatin1String("certificate authentication failed")), qPrintable(refusal(claimOther)));
    Pg::ConnectionParameters noCertificate = pc;
    noCertificate.set(QStringLiteral("sslcert"), QStringLiteral("/nonexistent")).set(QStringLiteral("sslkey"), QStringLiteral("/nonexistent"));
    QVERIFY(refusal(noCertificate) != QLatin1String("connected"));
    noCertificate.set(QStringLiteral("password"), QStringLiteral("guess"));
    QVERIFY(refusal(noCertificate) != QLatin1String("connected"));
    Pg::ConnectionParameters plain = pc;
    plain.set(QStringLiteral("sslmode"), QStringLiteral("disable"));
    QVERIFY2(refusal(plain).contains(QLatin1String("pg_hba.conf rejects")), qPrintable(refusal(plain)));
    Pg::ConnectionParameters otherDatabase = pc;
    otherDatabase.set(QStringLiteral("dbname"), QStringLiteral("postgres"));
    QVERIFY2(refusal(otherDatabase).contains(QLatin1String("pg_hba.conf rejects")), qPrintable(refusal(otherDatabase)));

    // A certificate for the same name from a CA of its own making, under the school CA's name.
    QTemporaryDir forged;
    const auto at = [&](const char* name) { return forged.filePath(QString::fromLatin1(name)); };
    for (const char* key : {"ca.key", "machine.key"})
        runOpenssl({QStringLiteral("genpkey"), QStringLiteral("-algorithm"), QStringLiteral("EC"), QStringLiteral("-pkeyopt"),
                    QStringLiteral("ec_paramgen_curve:P-256"), QStringLiteral("-out"), at(key)});
    runOpenssl({QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-new"), QStringLiteral("-key"), at("ca.key"),
                QStringLiteral("-subj"), QStringLiteral("/CN=typelab school CA localhost"), QStringLiteral("-days"),
                QStringLiteral("30"), QStringLiteral("-out"), at("ca.crt")});
    runOpenssl({QStringLiteral("req"), QStringLiteral("-new"), QStringLiteral("-key"), at("machine.key"),
                QStringLiteral("-subj"), QStringLiteral("/CN=PC07"), QStringLiteral("-out"), at("machine.csr")});
    runOpenssl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), at("machine.csr"),
                QStringLiteral("-CA"), at("ca.crt"), QStringLiteral("-CAkey"), at("ca.key"), QStringLiteral("-CAcreateserial"),
                QStringLiteral("-days"), QStringLiteral("30"), QStringLiteral("-out"), at("machine.crt")});
    QVERIFY(QFile::exists(at("machine.crt")));
    ::chmod(QFile::encodeName(at("machine.key")).constData(), 0600);
    Pg::ConnectionParameters foreign = pc;
    foreign.set(QStringLiteral("sslcert"), at("machine.crt")).set(QStringLiteral("sslkey"), at("machine.key"));
    // The server finds the school's CA by that name and the signature does not verify.
    QVERIFY2(refusal(foreign).contains(QLatin1String("SSL error: tlsv1 alert decrypt error")), qPrintable(refusal(foreign)));
}

void TestSchoolServer::teacherOnlyReads()
{
    const Pg::ConnectionParameters teacher =
        cluster_.teacherParameters(QStringLiteral("teacher.wang"), QStringLiteral("correct horse"));
    Pg::ConnectionParameters wrong = teacher;
    wrong.set(QStringLiteral("password"), QStringLiteral("correct horsE"));
    QVERIFY2(refusal(wrong).contains(QLatin1String("password authentication failed")), qPrintable(refusal(wrong)));
    Pg::ConnectionParameters plain = teacher;
    plain.set(QStringLiteral("sslmode"), QStringLiteral("disable"));
    QVERIFY2(refusal(plain).contains(QLatin1String("pg_hba.conf rejects")), qPrintable(refusal(plain)));
    Pg::ConnectionParameters otherDatabase = teacher;
    otherDatabase.set(QStringLiteral("dbname"), QStringLiteral("postgres"));
    QVERIFY(refusal(otherDatabase) != QLatin1String("connected"));

    Pg::Connection reading = Pg::Connection::open(teacher);
    QCOMPARE(reading.exec(QStringLiteral("SELECT ssl FROM pg_stat_ssl WHERE pid = pg_backend_pid()")).text(0, 0),
             QStringLiteral("t"));
    reading.exec(QStringLiteral("SELECT * FROM typelab.results WHERE lower(lrpc) = lower('b1')"));
    const QString denied = QStringLiteral("42501");
    QCOMPARE(sqlStateOf(reading, kSubmit.section(QLatin1Char('('), 0, 0) +
                                     QStringLiteral("(gen_random_uuid(), 'x', 'x', '英文', 1, 1, 1, current_date, "
                                                    "localtime(0)::time, NULL, 1::smallint, '\\x00', '\\x00')")),
             denied);
    QCOMPARE(sqlStateOf(reading, QStringLiteral("SELECT * FROM typelab.result")), denied);
    QCOMPARE(sqlStateOf(reading, QStringLiteral("DELETE FROM typelab.results")), denied);
    QCOMPARE(sqlStateOf(reading, QStringLiteral("UPDATE typelab.result SET lrcj = 100")), denied);
    QCOMPARE(sqlStateOf(reading, QStringLiteral("INSERT INTO typelab.machine VALUES ('x', now())")), denied);

    // Run again, add-teacher changes the password.
    PG_CLUSTER_TRY(cluster_.addTeacher(QStringLiteral("teacher.wang"), QStringLiteral("battery staple")));
    QVERIFY(refusal(teacher) != QLatin1String("connected"));
    QCOMPARE(refusal(cluster_.teacherParameters(QStringLiteral("teacher.wang"), QStringLiteral("battery staple"))),
             QStringLiteral("connected"));
    PG_CLUSTER_TRY(cluster_.addTeacher(QStringLiteral("teacher.wang"), QStringLiteral("correct horse")));
}

void TestSchoolServer::revokedMachineIsShutOut()
{
    // The first certificate is kept aside: enrolling again unpacks the new bundle in its place.
    QTemporaryDir kept;
    Pg::ConnectionParameters first = parametersOf(QStringLiteral("PC09"));
    for (const char* key : {"sslcert", "sslkey"}) {
        const QString copy = kept.filePath(QString::fromLatin1(key));
        QVERIFY(QFile::copy(first.value(QString::fromLatin1(key)), copy));
        ::chmod(QFile::encodeName(copy).constData(), 0600);
        first.set(QString::fromLatin1(key), copy);
    }
    Copy copy;
    {
        Pg::Connection pc = Pg::Connection::open(first);
        QCOMPARE(submit(pc, copy), QStringLiteral("stored"));
    }
    Pg::Connection open = Pg::Connection::open(first);
    const PgCluster::ToolRun revoked = cluster_.tool({QStringLiteral("revoke"), QStringLiteral("PC09")});
    QCOMPARE(revoked.exitCode, 0);
    QVERIFY(refusal(first) != QLatin1String("connected"));
    // Its open session is ended too.
    QVERIFY_THROWS_EXCEPTION(Pg::Error, open.exec(QStringLiteral("SELECT 1")));
    Pg::Connection admin = cluster_.superuser();
    QCOMPARE(admin.exec(QStringLiteral("SELECT revoked_at IS NOT NULL FROM typelab.machine WHERE name = 'PC09'")).text(0, 0),
             QStringLiteral("t"));
    QCOMPARE(admin.exec(QStringLiteral("SELECT machine FROM typelab.result WHERE id = $1"), {copy.id}).text(0, 0),
             QStringLiteral("PC09"));

    // Enrolled again it gets a new certificate; the revoked one stays refused by the CRL.
    machines_.remove(QStringLiteral("PC09"));
    const Pg::ConnectionParameters second = parametersOf(QStringLiteral("PC09"));
    QCOMPARE(refusal(second), QStringLiteral("connected"));
    const QString old = refusal(first);
    QVERIFY2(old.contains(QLatin1String("certificate revoked")), qPrintable(old));
}

QTEST_GUILESS_MAIN(TestSchoolServer)
#include "test_school_server.moc"
