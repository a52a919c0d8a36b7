// The database wrapper: keys, errors in Chinese, transactions, and the hardened open of files
// from other machines.

#include "platform/database.h"
#include "platform/key_derivation.h"
#include "support/test_support.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

class TestDatabase : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }

    static QList<ExpectedTable> oneTable()
    {
        return {{QStringLiteral("t"), QStringLiteral("CREATE TABLE t (a TEXT, b INTEGER)"), {}}};
    }

    QString plainFile(const QString& name, const QStringList& extraSql)
    {
        const QString file = path(name);
        Database db = Database::open(file, Database::Mode::Create);
        db.exec(QStringLiteral("CREATE TABLE t (a TEXT, b INTEGER)"));
        db.exec(QStringLiteral("INSERT INTO t VALUES ('x', 1)"));
        for (const QString& sql : extraSql)
            db.exec(sql);
        return file;
    }

private slots:
    void keyedFileNeedsItsKey()
    {
        const QString file = path("keyed.db");
        {
            Database db = Database::open(file, Database::Mode::Create, "857");
            db.exec(QStringLiteral("CREATE TABLE t (a TEXT)"));
        }
        Database::open(file, Database::Mode::ReadWrite, "857"); // opens
        try {
            Database::open(file, Database::Mode::ReadWrite, "858");
            QFAIL("a wrong key opened the file");
        } catch (const DbError& error) {
            QCOMPARE(error.code() & 0xff, SQLITE_NOTADB);
            QVERIFY(error.describe().contains(QStringLiteral("数据库密码不对")));
            QVERIFY(error.describe().contains(QStringLiteral("keyed.db")));
        }
        QVERIFY_THROWS_EXCEPTION(DbError, Database::open(file, Database::Mode::ReadWrite));
    }

    // Our derivation gives the engine's keys: the published PBKDF2-HMAC-SHA1 vectors (RFC 6070),
    // a password longer than a block, and (above) files the engine keyed itself.
    void keyDerivationGivesTheStandardKeys_data()
    {
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<QByteArray>("salt");
        QTest::addColumn<int>("rounds");
        QTest::addColumn<QByteArray>("key");
        QTest::newRow("1 round") << QByteArray("password") << QByteArray("salt") << 1
                                 << QByteArray("0c60c80f961f0e71f3a9b524af6012062fe037a6");
        QTest::newRow("4096 rounds") << QByteArray("password") << QByteArray("salt") << 4096
                                     << QByteArray("4b007901b765489abead49d926f721d065a429c1");
        QTest::newRow("two blocks") << QByteArray("passwordPASSWORDpassword")
                                    << QByteArray("saltSALTsaltSALTsaltSALTsaltSALTsalt") << 4096
                                    << QByteArray("3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038");
        QTest::newRow("password longer than a block") << QByteArray(100, 'p') << QByteArray("salt") << 2
                                                      << QByteArray("01ea597c3f4afed0588e6820dca16da80ae34760");
    }
    void keyDerivationGivesTheStandardKeys()
    {
        QFETCH(QByteArray, password);
        QFETCH(QByteArray, salt);
        QFETCH(int, rounds);
        QFETCH(QByteArray, key);
        QCOMPARE(KeyDerivation::pbkdf2HmacSha1(password, salt, rounds, int(key.size() / 2)).toHex(), key);
    }

    void missingFileIsNotCreated()
    {
        const QString file = path("missing.db");
        try {
            Database::open(file, Database::Mode::ReadWrite, "857");
            QFAIL("a missing file opened");
        } catch (const DbError& error) {
            QCOMPARE(error.code() & 0xff, SQLITE_CANTOPEN);
            QVERIFY(error.problem().contains(QStringLiteral("文件不存在")));
        }
        QVERIFY(!QFile::exists(file));
    }

    void boundTextIsNeverSql()
    {
        Database db = Database::open(path("bind.db"), Database::Mode::Create);
        db.exec(QStringLiteral("CREATE TABLE t (a TEXT)"));
        db.prepare(QStringLiteral("INSERT INTO t VALUES (?1)")).bind(1, QStringLiteral("' or '1'='1")).exec();
        Statement select = db.prepare(QStringLiteral("SELECT count(*) FROM t WHERE a = ?1"));
        select.bind(1, QStringLiteral("x' or '1'='1"));
        QVERIFY(select.step());
        QCOMPARE(select.integer(0), 0);
        Statement exact = db.prepare(QStringLiteral("SELECT a FROM t WHERE a = ?1"));
        exact.bind(1, QStringLiteral("' or '1'='1"));
        QVERIFY(exact.step());
        QCOMPARE(exact.text(0), QStringLiteral("' or '1'='1"));
    }

    void unfinishedTransactionLeavesNothing()
    {
        Database db = Database::open(path("tx.db"), Database::Mode::Create);
        db.exec(QStringLiteral("CREATE TABLE t (a TEXT)"));
        {
            Transaction transaction(db);
            db.exec(QStringLiteral("INSERT INTO t VALUES ('half')"));
        }
        Statement count = db.prepare(QStringLiteral("SELECT count(*) FROM t"));
        QVERIFY(count.step());
        QCOMPARE(count.integer(0), 0);
    }

    void untrustedOpenAcceptsTheExpectedSchema()
    {
        Database db = Database::openUntrusted(plainFile("good.db", {}), oneTable());
        Statement select = db.prepare(QStringLiteral("SELECT a, b FROM t"));
        QVERIFY(select.step());
        QCOMPARE(select.text(0), QStringLiteral("x"));
        // Read-only: nothing can be written through it.
        QVERIFY_THROWS_EXCEPTION(DbError, db.exec(QStringLiteral("INSERT INTO t VALUES ('y', 2)")));
    }

    void untrustedOpenRefusesAnythingElse_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::newRow("trigger") << QStringList{"CREATE TRIGGER tr AFTER INSERT ON t BEGIN DELETE FROM t; END"};
        QTest::newRow("view") << QStringList{"CREATE VIEW v AS SELECT * FROM t"};
        QTest::newRow("fts3 table") << QStringList{"CREATE VIRTUAL TABLE f USING fts3(c)"};
        QTest::newRow("rtree table") << QStringList{"CREATE VIRTUAL TABLE r USING rtree(id, x0, x1)"};
        QTest::newRow("statistics") << QStringList{"CREATE INDEX ti ON t(a)", "ANALYZE"};
        QTest::newRow("other table") << QStringList{"CREATE TABLE extra (z)"};
        QTest::newRow("unknown index") << QStringList{"CREATE INDEX ti ON t(a)"};
    }

    void untrustedOpenRefusesAnythingElse()
    {
        QFETCH(QStringList, extra);
        const QString file = plainFile(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_') + ".db", extra);
        try {
            Database::openUntrusted(file, oneTable());
            QFAIL("a file with more than the expected schema was opened");
        } catch (const DbError& error) {
            QVERIFY(!error.describe().isEmpty());
        }
    }

    // A statement that would run for ever on a stranger's file is stopped; a big oversized value
    // is refused instead of being read.
    void untrustedStatementsHaveBoundedCost()
    {
        Database db = Database::openUntrusted(plainFile("bounded.db", {}), oneTable());
        try {
            db.exec(QStringLiteral(
                "WITH RECURSIVE r(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM r) SELECT count(*) FROM r"));
            QFAIL("an endless statement ended");
        } catch (const DbError& error) {
            QCOMPARE(error.code() & 0xff, SQLITE_INTERRUPT);
            QVERIFY(error.problem().contains(QStringLiteral("用时过长")));
        }
        try {
            db.exec(QStringLiteral("SELECT zeroblob(2000000)"));
            QFAIL("an oversized value was made");
        } catch (const DbError& error) {
            QCOMPARE(error.code() & 0xff, SQLITE_TOOBIG);
        }
        // The connection is still good for ordinary reads.
        Statement select = db.prepare(QStringLiteral("SELECT count(*) FROM t"));
        QVERIFY(select.step());
        QCOMPARE(select.integer(0), 1);
    }

    // A header that claims billions of pages (found by fuzzing: quick_check then took seconds
    // and half a gigabyte) is refused at once.
    void untrustedOpenRefusesAnOverstatedPageCount()
    {
        const QString file = plainFile("pages.db", {});
        QFile patch(file);
        QVERIFY(patch.open(QIODevice::ReadWrite));
        QByteArray header = patch.read(100);
        header.replace(28, 4, QByteArray("\xff\xff\x00\x02", 4)); // in-header page count
        header.replace(92, 4, header.mid(24, 4));                 // and valid for this version
        QVERIFY(patch.seek(0));
        patch.write(header);
        patch.close();
        try {
            Database::openUntrusted(file, oneTable());
            QFAIL("a file with an impossible page count was opened");
        } catch (const DbError& error) {
            // Refused by the size check, before quick_check ever starts on it.
            QCOMPARE(error.code() & 0xff, SQLITE_CORRUPT);
            QVERIFY2(error.engineMessage().contains(QStringLiteral("more pages than the file holds")),
                     qPrintable(error.engineMessage()));
        }
    }

    void untrustedOpenRefusesOtherColumns()
    {
        const QString file = path("columns.db");
        {
            Database db = Database::open(file, Database::Mode::Create);
            db.exec(QStringLiteral("CREATE TABLE t (b INTEGER, a TEXT)"));
        }
        QVERIFY_THROWS_EXCEPTION(DbError, Database::openUntrusted(file, oneTable()));
    }

    void untrustedOpenRefusesGarbage()
    {
        const QString file = path("garbage.db");
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(QByteArray(4096, 'z'));
        out.close();
        QVERIFY_THROWS_EXCEPTION(DbError, Database::openUntrusted(file, oneTable()));
    }
};

QTEST_GUILESS_MAIN(TestDatabase)
#include "test_database.moc"
