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

    static QList<ExpectedTable> oneTable() { return {{QStringLiteral("t"), {"a", "b"}, true}}; }

    QString plainFile(const QString& name, const QStringList& extraSql)
    {
        return fileWith(name, QStringLiteral("CREATE TABLE t (a TEXT, b INTEGER)"), extraSql);
    }

    QString fileWith(const QString& name, const QString& createSql, const QStringList& extraSql)
    {
        const QString file = path(name);
        Database db = Database::open(file, Database::Mode::Create);
        db.exec(createSql);
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
        QTest::newRow("index with a condition") << QStringList{"CREATE INDEX ti ON t(a) WHERE b > 0"};
        QTest::newRow("index on an expression") << QStringList{"CREATE INDEX ti ON t(lower(a))"};
        QTest::newRow("index row under another name")
            << QStringList{"CREATE INDEX ti ON t(a)", "PRAGMA writable_schema = ON",
                           "UPDATE sqlite_master SET name = 'tj' WHERE name = 'ti'"};
        QTest::newRow("index row on another table")
            << QStringList{"CREATE INDEX ti ON t(a)", "PRAGMA writable_schema = ON",
                           "UPDATE sqlite_master SET tbl_name = 'u' WHERE name = 'ti'"};
        QTest::newRow("statement with a tail")
            << QStringList{"CREATE INDEX ti ON t(a)", "PRAGMA writable_schema = ON",
                           "UPDATE sqlite_master SET sql = sql || '; DROP TABLE t' WHERE name = 'ti'"};
        QTest::newRow("index posing as the table")
            << QStringList{"CREATE INDEX ti ON t(a)", "PRAGMA writable_schema = ON",
                           "UPDATE sqlite_master SET type = 'table', name = 't' WHERE name = 'ti'"};
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

    // The table and its indexes may be spelled the way any SQLite client writes them; keys,
    // defaults and the rest of what a column may carry are refused.
    void untrustedOpenReadsWhatTheStatementsMean_data()
    {
        QTest::addColumn<QString>("createSql");
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("lower case, no types") << "create table t(a, b)" << QStringList{} << true;
        QTest::newRow("quoted, other types")
            << "CREATE TABLE \"T\" (\n\t[a] VARCHAR(20), -- name\n `B` int /* kept */\n)" << QStringList{} << true;
        QTest::newRow("an index of its own")
            << "CREATE TABLE t (a TEXT, b INTEGER)"
            << QStringList{"CREATE UNIQUE INDEX \"t by a\" ON t (a COLLATE NOCASE DESC, B)", "create index x on T(b)"}
            << true;
        QTest::newRow("key") << "CREATE TABLE t (a TEXT PRIMARY KEY, b INTEGER)" << QStringList{} << false;
        QTest::newRow("autoincrement") << "CREATE TABLE t (a TEXT, b INTEGER PRIMARY KEY AUTOINCREMENT)"
                                       << QStringList{} << false;
        QTest::newRow("default") << "CREATE TABLE t (a TEXT, b INTEGER DEFAULT 5)" << QStringList{} << false;
        QTest::newRow("without rowid") << "CREATE TABLE t (a TEXT PRIMARY KEY, b INTEGER) WITHOUT ROWID"
                                       << QStringList{} << false;
        // The engine keeps a plain CREATE TABLE for a table made by a select.
        QTest::newRow("made by a select")
            << "CREATE TABLE t AS SELECT 'x' AS a, 1 AS b LIMIT 0" << QStringList{} << true;
    }
    void untrustedOpenReadsWhatTheStatementsMean()
    {
        QFETCH(QString, createSql);
        QFETCH(QStringList, extra);
        QFETCH(bool, accepted);
        const QString file =
            fileWith(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_') + ".db", createSql, extra);
        try {
            Database db = Database::openUntrusted(file, oneTable());
            Statement select = db.prepare(QStringLiteral("SELECT a, b FROM t"));
            QVERIFY(select.step());
            QCOMPARE(select.text(0) + select.text(1), QStringLiteral("x1"));
            QVERIFY2(accepted, "the file was opened");
        } catch (const DbError& error) {
            QVERIFY2(!accepted, qPrintable(error.describe()));
            QCOMPARE(error.kind(), DbError::Kind::SchemaRefused);
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
