// The collection file itself: its exact table, appending in one transaction, batch look-ups,
// whole numbers, and the refusal of strangers' files that carry more than the one table.

#include "collect/collection_store.h"
#include "lab_fixture.h"

#include <QProcess>
#include <QTest>

#include <limits>

namespace {

// The described failure a call throws; empty when it throws nothing.
template <typename Call> QString failureOf(Call&& call)
{
    try {
        call();
    } catch (const DbError& error) {
        return error.describe();
    }
    return QString();
}

// Two columns of every row a statement yields, joined by a space.
QStringList pairs(Database& db, const QString& sql, int first, int second)
{
    Statement statement = db.prepare(sql);
    QStringList values;
    while (statement.step())
        values << statement.text(first) + u' ' + statement.text(second);
    return values;
}

} // namespace

class TestCollectionStore : public QObject {
    Q_OBJECT

private slots:
    void createdFileHoldsExactlyTheTable()
    {
        Lab lab;
        CollectionStore::create(lab.diskette());
        Database db = Database::open(lab.diskette(), Database::Mode::ReadWrite);
        QCOMPARE(pairs(db, QStringLiteral("SELECT type, name FROM sqlite_master"), 0, 1), QStringList{"table xscj"});
        QCOMPARE(pairs(db, QStringLiteral("PRAGMA table_info(xscj)"), 1, 2),
                 (QStringList{"学号 NVARCHAR(10)", "姓名 NVARCHAR(12)", "录入项目 NVARCHAR(4)", "录入成绩 INTEGER",
                              QString::fromUtf8("录入速度\xef\xbc\x85m INTEGER"),
                              QString::fromUtf8("准确率\xef\xbc\x85 INTEGER"), "录入日期 DATE", "录入时间 DATETIME",
                              "批次 NVARCHAR(10)"}));
    }

    void plainSqliteToolReadsTheFile()
    {
        Lab lab;
        Lab::makeCollectionFile(lab.diskette(),
                                {Lab::collected(QStringLiteral("2026000001"), QStringLiteral("B1"), 87)});
        QProcess tool;
        tool.start(
            QStringLiteral("sqlite3"),
            {QStringLiteral("-header"), QStringLiteral("-separator"), QStringLiteral("|"), lab.diskette(),
             QStringLiteral("SELECT * FROM xscj; SELECT typeof(\"录入成绩\"), typeof(\"录入日期\") FROM xscj;")});
        if (!tool.waitForStarted())
            QSKIP("the sqlite3 command-line tool is not installed");
        QVERIFY(tool.waitForFinished());
        QCOMPARE(tool.exitCode(), 0);
        const QStringList lines = QString::fromUtf8(tool.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.value(0),
                 QString::fromUtf8(
                     "学号|姓名|录入项目|录入成绩|录入速度\xef\xbc\x85m|准确率\xef\xbc\x85|录入日期|录入时间|批次"));
        QCOMPARE(lines.value(1), QStringLiteral("2026000001|李四|中文|87|60|90|2026-12-06|14:05:00|B1"));
        QCOMPARE(lines.value(3), QStringLiteral("integer|text"));
    }

    // Creation refuses an existing file, leaving it as it was, and a missing folder; the
    // failure goes to the status line under the creation message.
    void creationRefusesExistingFileAndMissingFolder()
    {
        Lab lab;
        QString line;
        const StatusLine status = [&line](const QString& text) { line = text; };
        QVERIFY(creatmdb(lab.diskette(), status));
        QVERIFY(line.isEmpty());
        CollectionStore::openTarget(lab.diskette()).append({Lab::collected(QStringLiteral("1"), QStringLiteral("B1"))});

        const QString nowhere = lab.root() + QStringLiteral("/no-diskette/学生成绩.mdb");
        for (const auto& [path, reason] : {std::pair{lab.diskette(), QStringLiteral("文件已存在")},
                                           std::pair{nowhere, QStringLiteral("文件夹不存在")}}) {
            QString problem;
            QVERIFY(!creatmdb(path, status, &problem));
            QCOMPARE(line, QStringLiteral("创建文件失败！请重试\r\n") + problem);
            QVERIFY2(problem.contains(path) && problem.contains(reason), qPrintable(problem));
        }
        QCOMPARE(Lab::collectionRows(lab.diskette()), 1);
        QVERIFY(!QFileInfo::exists(nowhere));
    }

    void appendedRowsComeBackByBatch()
    {
        Lab lab;
        const QList<CollectionRow> rows = {Lab::collected(QStringLiteral("a1"), QStringLiteral("B1")),
                                           Lab::collected(QStringLiteral("a2"), QStringLiteral("O'B")),
                                           Lab::collected(QStringLiteral("a3"), QStringLiteral("b1")),
                                           Lab::collected(QStringLiteral("a4"), QStringLiteral("B12"))};
        Lab::makeCollectionFile(lab.diskette(), rows);
        CollectionStore store = CollectionStore::openSource(lab.diskette());
        QCOMPARE(store.rowCount(), 4);
        QCOMPARE(store.allRows(), rows);
        QCOMPARE(store.batchRows(QStringLiteral("B1")), (QList<CollectionRow>{rows[0], rows[2]}));
        QCOMPARE(store.batchRows(QStringLiteral("o'b")), QList<CollectionRow>{rows[1]});
        QCOMPARE(store.batchRows(QStringLiteral("' OR '1'='1")), QList<CollectionRow>{});
        QCOMPARE(store.batchRows(QString()), QList<CollectionRow>{});
    }

    // A row is stored once, whether the file held it already or it comes twice in one append
    // (one source can hold the same row twice).
    void eachRowIsAppendedOnce()
    {
        Lab lab;
        const CollectionRow first = Lab::collected(QStringLiteral("a1"), QStringLiteral("B1"));
        const CollectionRow second = Lab::collected(QStringLiteral("a2"), QStringLiteral("B1"));
        CollectionStore::create(lab.diskette());
        CollectionStore store = CollectionStore::openTarget(lab.diskette());
        QCOMPARE(store.append({first, second, first}), 2);
        QCOMPARE(store.append({second, first}), 0);
        QCOMPARE(store.allRows(), (QList<CollectionRow>{first, second}));
    }

    void numbersBecomeWholeHalvesToEven_data()
    {
        QTest::addColumn<double>("stored");
        QTest::addColumn<int>("whole");
        QTest::newRow("84.5 down to even") << 84.5 << 84;
        QTest::newRow("85.5 up to even") << 85.5 << 86;
        QTest::newRow("99.4") << 99.4 << 99;
        QTest::newRow("minus half") << -0.5 << 0;
        QTest::newRow("too large") << 1e12 << std::numeric_limits<int>::max();
        QTest::newRow("too small") << -1e12 << std::numeric_limits<int>::min();
    }
    void numbersBecomeWholeHalvesToEven()
    {
        QFETCH(double, stored);
        QFETCH(int, whole);
        GradeRow grade = Lab::result(QStringLiteral("1"), QStringLiteral("B1"));
        grade.lrcj = grade.lrsd = grade.lrzql = stored;
        const CollectionRow row = CollectionRow::fromGrade(grade);
        QCOMPARE(row.lrcj, whole);
        QCOMPARE(row.lrsd, whole);
        QCOMPARE(row.lrzql, whole);
        QCOMPARE(row.lrdate, grade.lrdate);
        QCOMPARE(row.lrtime, grade.lrtime);
        QCOMPARE(row.lrpc, grade.lrpc);
    }

    void strangersFileIsRefused_data()
    {
        QTest::addColumn<QStringList>("statements");
        QTest::addColumn<QString>("named");
        QTest::newRow("trigger") << QStringList{"CREATE TRIGGER spy AFTER INSERT ON xscj BEGIN DELETE FROM xscj; END"}
                                 << QStringLiteral("触发器 spy");
        QTest::newRow("view") << QStringList{"CREATE VIEW v AS SELECT * FROM xscj"} << QStringLiteral("视图 v");
        QTest::newRow("fts3 virtual table")
            << QStringList{"CREATE VIRTUAL TABLE ft USING fts3(a)"} << QStringLiteral("数据表 ft");
        QTest::newRow("statistics table") << QStringList{"CREATE TABLE t (a)", "CREATE INDEX ti ON t (a)",
                                                         "INSERT INTO t VALUES (1)", "ANALYZE", "DROP TABLE t"}
                                          << QStringLiteral("sqlite_stat1");
        QTest::newRow("extra column") << QStringList{"ALTER TABLE xscj ADD COLUMN extra"} << QStringLiteral("列不符");
        QTest::newRow("no xscj") << QStringList{"ALTER TABLE xscj RENAME TO other"} << QStringLiteral("other");
        for (const Lab::Crafted& crafted : Lab::craftedAs(CollectionStore::tableName, CollectionStore::columnNames()))
            QTest::newRow(crafted.name) << crafted.statements << QStringLiteral("数据表 xscj");
    }
    void strangersFileIsRefused()
    {
        QFETCH(QStringList, statements);
        QFETCH(QString, named);
        Lab lab;
        Lab::makeCollectionFile(lab.diskette(), {Lab::collected(QStringLiteral("1"), QStringLiteral("B1"))});
        Lab::tamper(lab.diskette(), statements, false);
        const QByteArray before = Lab::contents(lab.diskette());
        for (auto open : {&CollectionStore::openSource, &CollectionStore::openTarget}) {
            const QString text = failureOf([&] { open(lab.diskette()); });
            QVERIFY2(text.contains(lab.diskette()) && text.contains(named), qPrintable(text));
        }
        QCOMPARE(Lab::contents(lab.diskette()), before);
    }

    // Another machine's grade database crafted the same way is refused before a row is read.
    void craftedGradeDatabaseIsRefused_data()
    {
        QTest::addColumn<QStringList>("statements");
        const QStringList columns = {"xh", "xm", "lrxm", "lrcj", "lrsd", "lrzql", "lrdate", "lrtime", "lrpc"};
        for (const Lab::Crafted& crafted : Lab::craftedAs(QStringLiteral("stdgrade"), columns))
            QTest::newRow(crafted.name) << crafted.statements;
    }
    void craftedGradeDatabaseIsRefused()
    {
        QFETCH(QStringList, statements);
        Lab lab;
        lab.addMachine(1, {Lab::result(QStringLiteral("1"), QStringLiteral("B1"))});
        Lab::tamper(lab.machineDatabase(1), statements, true);
        const QString text =
            failureOf([&] { GradeStore::openUntrusted(lab.machineDatabase(1)).batchResults(QStringLiteral("B1")); });
        QVERIFY2(text.contains(lab.machineDatabase(1)) && text.contains(QStringLiteral("数据库结构不符合要求")),
                 qPrintable(text));
    }

    // An index a file brings may be built in one order and declared in another: the engine's
    // checks pass it, and a look-up through it misses rows. Files from elsewhere are read along
    // their tables, so every row of the batch is there.
    void indexesOfElsewhereHideNoRow()
    {
        const QStringList batches = {"A1", "B1", "C1", "a1", "b1", "c1", "B1", "b1", "Z9", "z9"};
        Lab lab;
        QList<GradeRow> results;
        QList<CollectionRow> collected;
        for (int i = 0; i < batches.size(); ++i) {
            results << Lab::result(QString::number(i), batches[i]);
            collected << Lab::collected(QString::number(i), batches[i]);
        }
        lab.addMachine(1, results);
        Lab::makeCollectionFile(lab.diskette(), collected);
        const auto misdeclare = [](const QString& table, const QString& column) {
            return QStringList{QStringLiteral("DROP INDEX IF EXISTS stdgrade_by_batch"),
                               QStringLiteral("CREATE INDEX by_batch ON %1 (%2)").arg(table, column),
                               QStringLiteral("PRAGMA writable_schema = ON"),
                               QStringLiteral("UPDATE sqlite_master SET sql = 'CREATE INDEX by_batch ON %1 (%2 COLLATE "
                                              "NOCASE)' WHERE name = 'by_batch'")
                                   .arg(table, column)};
        };
        Lab::tamper(lab.machineDatabase(1), misdeclare(QStringLiteral("stdgrade"), QStringLiteral("lrpc")), true);
        Lab::tamper(lab.diskette(), misdeclare(QStringLiteral("xscj"), QStringLiteral("\"批次\"")), false);
        QCOMPARE(GradeStore::openUntrusted(lab.machineDatabase(1)).batchResults(QStringLiteral("B1")).size(), 4);
        QCOMPARE(CollectionStore::openSource(lab.diskette()).batchRows(QStringLiteral("b1")).size(), 4);
    }

    void failedAppendLeavesNothing()
    {
        Lab lab;
        Lab::makeCollectionFile(lab.diskette(), {Lab::collected(QStringLiteral("1"), QStringLiteral("B1"))});
        QList<CollectionRow> many;
        for (int i = 0; i < 2000; ++i)
            many << Lab::collected(QStringLiteral("%1").arg(i, 10, 10, QChar(u'0')), QStringLiteral("B2"));
        QString failure;
        {
            CollectionStore store = CollectionStore::openTarget(lab.diskette());
            // The diskette fills up in the middle of the rows.
            const FileSizeLimit full(QFileInfo(lab.diskette()).size() + 8 * 1024);
            failure = failureOf([&] { store.append(many); });
        }
        QVERIFY2(failure.contains(lab.diskette()), qPrintable(failure));
        QVERIFY2(failure.contains(QStringLiteral("读写文件出错")) || failure.contains(QStringLiteral("磁盘已满")),
                 qPrintable(failure));
        QCOMPARE(Lab::collectionRows(lab.diskette()), 1);
    }

    void countsCarryTheirSpace()
    {
        QCOMPARE(countText(0), QStringLiteral(" 0"));
        QCOMPARE(countText(37), QStringLiteral(" 37"));
        QCOMPARE(countText(-2), QStringLiteral("-2"));
    }
};

QTEST_GUILESS_MAIN(TestCollectionStore)
#include "test_collection_store.moc"
