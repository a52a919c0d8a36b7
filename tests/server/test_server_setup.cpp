// typelab-server setup, migrate and the names it takes, on a real cluster.
#include "server/hba_block.h"
#include "support/pg_cluster.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>

namespace {

// A file's bytes, mode, owner and modification time: what "setup changed nothing" compares.
QString fileState(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return path + QStringLiteral(" missing");
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QStringLiteral("%1 %2 %3:%4 %5.%6 %7")
        .arg(path)
        .arg(info.st_mode, 0, 8)
        .arg(info.st_uid)
        .arg(info.st_gid)
        .arg(info.st_mtim.tv_sec)
        .arg(info.st_mtim.tv_nsec)
        .arg(QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex()));
}

QStringList rows(Pg::Connection& db, const QString& sql)
{
    const Pg::Result result = db.exec(sql);
    QStringList lines;
    for (int row = 0; row < result.rows(); ++row) {
        QStringList values;
        for (int column = 0; column < result.columns(); ++column)
            values << (result.isNull(row, column) ? QStringLiteral("NULL") : result.text(row, column));
        lines << values.join(QLatin1Char('|'));
    }
    return lines;
}

// Every file setup writes, and the catalogue it makes: roles, rights, owners, functions.
QStringList snapshot(const PgCluster& cluster)
{
    QStringList state;
    QDirIterator files(cluster.stateDir(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString file = files.next();
        if (!file.endsWith(QLatin1String("/lock")))
            state << fileState(file);
    }
    Pg::Connection db = cluster.superuser();
    const QString hba = db.exec(QStringLiteral("SHOW hba_file")).text(0, 0);
    const QString ident = db.exec(QStringLiteral("SHOW ident_file")).text(0, 0);
    state << fileState(hba) << fileState(ident) << fileState(cluster.dataDir() + QStringLiteral("/postgresql.auto.conf"));
    state << rows(db, QStringLiteral("SELECT rolname, rolcanlogin, rolsuper FROM pg_roles WHERE rolname LIKE 'typelab%' "
                                     "ORDER BY 1"));
    state << rows(db, QStringLiteral("SELECT datname, datdba::regrole, datacl::text FROM pg_database ORDER BY 1"));
    state << rows(db, QStringLiteral("SELECT nspname, nspowner::regrole, nspacl::text FROM pg_namespace ORDER BY 1"));
    state << rows(db, QStringLiteral("SELECT oid::regclass, relowner::regrole, relacl::text FROM pg_class "
                                     "WHERE relnamespace = 'typelab'::regnamespace ORDER BY 1"));
    state << rows(db, QStringLiteral("SELECT oid::regprocedure, proowner::regrole, proacl::text, md5(prosrc) "
                                     "FROM pg_proc WHERE pronamespace = 'typelab'::regnamespace ORDER BY 1"));
    state << rows(db, QStringLiteral("SELECT version, applied_at FROM typelab.migration ORDER BY 1"));
    state << rows(db, QStringLiteral("SELECT name, setting FROM pg_settings WHERE name LIKE 'ssl%' OR name = "
                                     "'password_encryption' ORDER BY 1"));
    return state;
}

} // namespace

class TestServerSetup : public QObject {
    Q_OBJECT

private slots:
    void setupTwiceChangesNothing();
    void restartsOnlyForSettingsThatNeedIt();
    void newMigrationsAreAppliedOnce();
    void namesAndCommandsAreChecked();
    void hbaBlockReplacesItsEarlierSelf();
};

void TestServerSetup::setupTwiceChangesNothing()
{
    PgCluster cluster;
    PG_CLUSTER_TRY(cluster.start());
    Pg::Connection db = cluster.superuser();
    // What the first setup made, as the rest of typelab relies on it.
    QCOMPARE(rows(db, QStringLiteral("SELECT current_setting('server_encoding'), current_setting('ssl'), "
                                     "current_setting('password_encryption')")),
             QStringList{QStringLiteral("UTF8|on|scram-sha-256")});
    QCOMPARE(rows(db, QStringLiteral("SELECT rolname, rolcanlogin FROM pg_roles WHERE rolname LIKE 'typelab%' ORDER BY 1")),
             (QStringList{QStringLiteral("typelab_machine|f"), QStringLiteral("typelab_owner|f"),
                          QStringLiteral("typelab_teacher|f"), QStringLiteral("typelab_verify|t")}));
    QCOMPARE(rows(db, QStringLiteral("SELECT DISTINCT relowner::regrole FROM pg_class "
                                     "WHERE relnamespace = 'typelab'::regnamespace")),
             QStringList{QStringLiteral("typelab_owner")});
    QCOMPARE(rows(db, QStringLiteral("SELECT prosecdef, proconfig::text, proacl::text FROM pg_proc "
                                     "WHERE oid = 'typelab.submit'::regproc")),
             QStringList{QStringLiteral("t|{\"search_path=pg_catalog, pg_temp\"}|"
                                        "{typelab_owner=X/typelab_owner,typelab_machine=X/typelab_owner}")});
    struct stat key {};
    QCOMPARE(::stat(QFile::encodeName(cluster.stateDir() + QStringLiteral("/ca/ca.key")).constData(), &key), 0);
    QCOMPARE(key.st_mode & 0777, 0600u);
    QCOMPARE(key.st_uid, ::geteuid());
    const QString hba = db.exec(QStringLiteral("SHOW hba_file")).text(0, 0);
    QFile hbaFile(hba);
    QVERIFY(hbaFile.open(QIODevice::ReadOnly));
    QVERIFY(hbaFile.readAll().startsWith(HbaBlock::kBegin));
    QFile identFile(db.exec(QStringLiteral("SHOW ident_file")).text(0, 0));
    QVERIFY(identFile.open(QIODevice::ReadOnly));
    QVERIFY(identFile.readAll().startsWith(HbaBlock::identText().toUtf8()));

    const QStringList before = snapshot(cluster);
    const PgCluster::ToolRun again = cluster.setup();
    QCOMPARE(again.exitCode, 0);
    // It says only that all is set up.
    QCOMPARE(again.output.trimmed().count(QLatin1Char('\n')), 0);
    QVERIFY2(again.output.startsWith(QLatin1String("typelab-server is set up")), qPrintable(again.output));
    QCOMPARE(snapshot(cluster), before);
}

void TestServerSetup::restartsOnlyForSettingsThatNeedIt()
{
    PgCluster cluster;
    PG_CLUSTER_TRY(cluster.start());
    const pid_t first = cluster.pid();
    // The address the cluster listens on already: written, no restart.
    const PgCluster::ToolRun same = cluster.tool({QStringLiteral("setup"), QStringLiteral("--listen"), QStringLiteral("127.0.0.1")});
    QCOMPARE(same.exitCode, 0);
    QVERIFY2(same.output.contains(QLatin1String("set listen_addresses")), qPrintable(same.output));
    QVERIFY2(!same.output.contains(QLatin1String("restarting")), qPrintable(same.output));
    QVERIFY(::kill(first, 0) == 0);
    // Another loopback address takes a restart (pg_ctl, this being no Debian cluster).
    const PgCluster::ToolRun moved = cluster.tool({QStringLiteral("setup"), QStringLiteral("--listen"), QStringLiteral("127.0.0.2")});
    QVERIFY2(moved.exitCode == 0, qPrintable(moved.errors));
    QVERIFY2(moved.output.contains(QLatin1String("restarting PostgreSQL for listen_addresses")), qPrintable(moved.output));
    PG_CLUSTER_TRY(cluster.followRestart());
    QVERIFY(cluster.pid() != first);
    QCOMPARE(cluster.superuser().exec(QStringLiteral("SHOW listen_addresses")).text(0, 0), QStringLiteral("127.0.0.2"));
    // setup.conf now holds the address: setup without options restarts nothing.
    const PgCluster::ToolRun again = cluster.tool({QStringLiteral("setup")});
    QCOMPARE(again.exitCode, 0);
    QVERIFY2(!again.output.contains(QLatin1String("restarting")), qPrintable(again.output));
    // stop() waits for that postmaster too (not a child of this test) to end and tidy up.
    cluster.stop();
    QVERIFY(!QFile::exists(cluster.dataDir() + QStringLiteral("/postmaster.pid")));
}

void TestServerSetup::newMigrationsAreAppliedOnce()
{
    QTemporaryDir migrations;
    QVERIFY(QFile::copy(QStringLiteral(TYPELAB_SOURCE_DIR "/server/migrations/0001_results.sql"),
                        migrations.filePath(QStringLiteral("0001_results.sql"))));
    PgCluster cluster;
    PG_CLUSTER_TRY(cluster.start(PgCluster::Options{migrations.path(), true}));

    QFile next(migrations.filePath(QStringLiteral("0002_notes.sql")));
    QVERIFY(next.open(QIODevice::WriteOnly));
    next.write("CREATE TABLE typelab.note (id int PRIMARY KEY, body text);\n");
    next.close();
    const PgCluster::ToolRun migrated = cluster.tool({QStringLiteral("migrate")});
    QCOMPARE(migrated.exitCode, 0);
    QVERIFY2(migrated.output.contains(QLatin1String("applied migration 2")), qPrintable(migrated.output));
    Pg::Connection db = cluster.superuser();
    QCOMPARE(rows(db, QStringLiteral("SELECT 'typelab.note'::regclass, relowner::regrole FROM pg_class "
                                     "WHERE oid = 'typelab.note'::regclass")),
             QStringList{QStringLiteral("typelab.note|typelab_owner")});

    // A broken migration leaves nothing behind and is not recorded; the next setup applies none.
    QFile broken(migrations.filePath(QStringLiteral("0003_broken.sql")));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("CREATE TABLE typelab.half (id int);\nCREATE TABLE typelab.half (id int);\n");
    broken.close();
    const PgCluster::ToolRun failed = cluster.tool({QStringLiteral("migrate")});
    QCOMPARE(failed.exitCode, 1);
    QVERIFY2(failed.errors.contains(QLatin1String("0003_broken.sql")), qPrintable(failed.errors));
    QCOMPARE(rows(db, QStringLiteral("SELECT to_regclass('typelab.half') IS NULL")), QStringList{QStringLiteral("t")});
    QVERIFY(QFile::remove(broken.fileName()));
    const PgCluster::ToolRun setupAgain = cluster.setup();
    QCOMPARE(setupAgain.exitCode, 0);
    QVERIFY(!setupAgain.output.contains(QLatin1String("applied")));
    QCOMPARE(rows(db, QStringLiteral("SELECT version FROM typelab.migration ORDER BY 1")),
             (QStringList{QStringLiteral("1"), QStringLiteral("2")}));

    // A server set up before the verifier came: migrate says so, and setup lets it in.
    db.exec(QStringLiteral("ALTER ROLE typelab_verify NOLOGIN"));
    const PgCluster::ToolRun hinted = cluster.tool({QStringLiteral("migrate")});
    QVERIFY2(hinted.output.contains(QLatin1String("run typelab-server setup once more")), qPrintable(hinted.output));
    QCOMPARE(cluster.setup().exitCode, 0);
    QCOMPARE(rows(db, QStringLiteral("SELECT rolcanlogin FROM pg_roles WHERE rolname = 'typelab_verify'")),
             QStringList{QStringLiteral("t")});
}

void TestServerSetup::namesAndCommandsAreChecked()
{
    PgCluster cluster;
    PG_CLUSTER_TRY(cluster.start());
    for (const QString& bad : {QStringLiteral("pg_lab"), QStringLiteral("TypeLab1"), QStringLiteral("lab 1"),
                               QStringLiteral("lab/1"), QString(64, QLatin1Char('a')), QStringLiteral("机房1")}) {
        const PgCluster::ToolRun refused = cluster.tool({QStringLiteral("enroll"), bad});
        QVERIFY2(refused.exitCode == 1 && refused.errors.contains(QLatin1String("cannot use")), qPrintable(bad));
    }
    QVERIFY(!QFile::exists(cluster.stateDir() + QStringLiteral("/bundles/pg_lab.tar")));

    PG_CLUSTER_TRY(cluster.addTeacher(QStringLiteral("wang"), QStringLiteral("first secret")));
    const PgCluster::ToolRun teacherAsMachine = cluster.tool({QStringLiteral("enroll"), QStringLiteral("wang")});
    QCOMPARE(teacherAsMachine.exitCode, 1);
    QVERIFY2(teacherAsMachine.errors.contains(QLatin1String("teacher")), qPrintable(teacherAsMachine.errors));
    PG_CLUSTER_TRY(cluster.enroll(QStringLiteral("Lab-PC.01")));
    const PgCluster::ToolRun machineAsTeacher =
        cluster.tool({QStringLiteral("add-teacher"), QStringLiteral("Lab-PC.01")}, "secret\n");
    QCOMPARE(machineAsTeacher.exitCode, 1);
    const PgCluster::ToolRun ownerAsMachine = cluster.tool({QStringLiteral("enroll"), cluster.owner()});
    QCOMPARE(ownerAsMachine.exitCode, 1);
    const PgCluster::ToolRun noPassword = cluster.tool({QStringLiteral("add-teacher"), QStringLiteral("li")}, "");
    QCOMPARE(noPassword.exitCode, 1);
    const PgCluster::ToolRun unknown = cluster.tool({QStringLiteral("revoke"), QStringLiteral("nowhere")});
    QCOMPARE(unknown.exitCode, 1);
    QTemporaryDir empty;
    const PgCluster::ToolRun notSetUp =
        cluster.tool({QStringLiteral("enroll"), QStringLiteral("pc2"), QStringLiteral("--state-dir"), empty.path()});
    QCOMPARE(notSetUp.exitCode, 1);
    QVERIFY2(notSetUp.errors.contains(QLatin1String("setup first")), qPrintable(notSetUp.errors));
    if (::geteuid() == 0) {
        // Neither root nor the cluster's owner.
        QProcess other;
        other.start(QStringLiteral("setpriv"), {QStringLiteral("--reuid=daemon"), QStringLiteral("--regid=daemon"),
                                                QStringLiteral("--clear-groups"), QStringLiteral(TYPELAB_SERVER_TOOL),
                                                QStringLiteral("enroll"), QStringLiteral("pc4"), QStringLiteral("--state-dir"),
                                                cluster.stateDir()});
        QVERIFY(other.waitForFinished(60'000));
        QCOMPARE(other.exitCode(), 1);
        QVERIFY2(other.readAllStandardError().contains("must be run as root (or as the cluster owner nobody)"),
                 "not refused for not being root");
    }
    QCOMPARE(cluster.tool({QStringLiteral("enroll")}).exitCode, 2);
    QCOMPARE(cluster.tool({QStringLiteral("frobnicate")}).exitCode, 2);

    // Stopped, the cluster is reported as not running.
    cluster.stop();
    const PgCluster::ToolRun down = cluster.tool({QStringLiteral("enroll"), QStringLiteral("pc3")});
    QCOMPARE(down.exitCode, 1);
    QVERIFY2(down.errors.contains(QLatin1String("Is the cluster running")), qPrintable(down.errors));
}

void TestServerSetup::hbaBlockReplacesItsEarlierSelf()
{
    const QString block = HbaBlock::text(QStringLiteral("postgres"));
    const QString original = QStringLiteral("# Debian's\nlocal all postgres peer\nhost all all 0.0.0.0/0 md5\n");
    const QString once = HbaBlock::merge(original, block);
    QVERIFY(once.startsWith(block));
    QVERIFY(once.endsWith(original));
    QCOMPARE(HbaBlock::merge(once, block), once);
    const QString otherOwner = HbaBlock::merge(once, HbaBlock::text(QStringLiteral("pgadmin")));
    QVERIFY(otherOwner.contains(QLatin1String("\"pgadmin\"")));
    QVERIFY(!otherOwner.contains(QLatin1String("\"postgres\"")));
    QVERIFY(otherOwner.endsWith(original));
    // A block whose end marker was deleted by hand is not guessed at.
    QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                             HbaBlock::merge(QString::fromLatin1(HbaBlock::kBegin) + QStringLiteral("\n") + original, block));
}

QTEST_GUILESS_MAIN(TestServerSetup)
#include "test_server_setup.moc"
