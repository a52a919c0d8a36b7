// Grade databases made with the sqlcipher tool and collection files made with the sqlite3 tool,
// spelled as other people write them, go through every road a file from elsewhere takes: the
// source reader, network collection, the merge, the export, and the diskette as a target.

#include "collect/merge_collection.h"
#include "collect/network_collection.h"
#include "collect/score_export.h"
#include "collect/source_frames.h"
#include "lab_fixture.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTest>

namespace {

// Runs a command-line tool on a file with a script on its standard input; empty when it worked,
// otherwise what went wrong.
QString runTool(const QString& tool, const QString& file, const QByteArray& script)
{
    QProcess process;
    process.start(tool, {QStringLiteral("-batch"), QStringLiteral("-bail"), file});
    if (!process.waitForStarted())
        return tool + QStringLiteral(" is not installed");
    process.write(script);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return tool + QStringLiteral(": ") + QString::fromUtf8(process.readAllStandardError());
    return QString();
}

// A grade database written by the sqlcipher tool with the given tables, holding one result of
// batch B1 (the student's) and one of B2.
QString makeGradeDatabase(const QString& path, const QByteArray& tables, const QByteArray& student = "2026000001")
{
    QDir().mkpath(QFileInfo(path).path());
    return runTool(QStringLiteral("sqlcipher"), path,
                   "PRAGMA key = '857';\n" + tables
                       + "\nINSERT INTO stdgrade (xh, xm, lrxm, lrcj, lrsd, lrzql, lrdate, lrtime, lrpc) VALUES ('"
                       + student
                       + "', '张三', '英文', 84.5, 120, 95, '2026-12-07', '09:30:15', 'B1'),"
                         " ('2026000002', '李四', '中文', 90, 60, 88, '2026-12-07', '10:00:00', 'B2');\n"
                         "INSERT INTO system (username, usermm, xsmm) VALUES ('admin', 'admin123', 'again');\n");
}

// A collection file written by the sqlite3 tool with the given table, holding the rows.
QString makeCollectionFile(const QString& path, const QByteArray& table, const QByteArray& rows)
{
    return runTool(QStringLiteral("sqlite3"), path, table + "\n" + rows);
}

const QByteArray kDisketteRows = "INSERT INTO xscj VALUES ('2026000011', '王五', '中文', 87, 60, 90, '2026-12-06', "
                                 "'14:05:00', 'B1'), ('2026000012', '赵六', '英文', 70, 50, 80, '2026-12-06', "
                                 "'14:06:00', 'B2');";

// The rows of a collection file as the sqlite3 tool shows them, its columns taken by name.
QStringList rowsByName(const QString& path)
{
    QProcess process;
    process.start(QStringLiteral("sqlite3"),
                  {QStringLiteral("-separator"), QStringLiteral("|"), path,
                   QStringLiteral("SELECT 学号, 姓名, 录入项目, 录入成绩, 录入速度％m, 准确率％, 录入日期, 录入时间, "
                                  "批次 FROM xscj ORDER BY rowid")});
    process.waitForFinished();
    return QString::fromUtf8(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

struct Lines : CollectionView {
    QString progress;
    void setProgressLine(const QString& text) override { progress = text; }
    void setResultLine(const QString&) override {}
};

const QString kGradeRow = QStringLiteral("2026000001|张三|英文|84|120|95|2026-12-07|09:30:15|B1");
const QString kDisketteRow = QStringLiteral("2026000011|王五|中文|87|60|90|2026-12-06|14:05:00|B1");

// Grade databases: the issue's own spelling, quotes and other types, bare words in any order.
const QList<std::pair<const char*, QByteArray>> kGradeSpellings = {
    {"lower case",
     "create table stdgrade(xh text, xm text, lrxm text, lrcj real, lrsd real, lrzql real, lrdate text, lrtime "
     "text, lrpc text);\ncreate table recxh(xh text, lrpc text, lrdate text);\ncreate table system(username text, "
     "usermm text, xsmm text);"},
    {"quoted names, other types, an index of its own",
     "CREATE TABLE \"STDGRADE\" ([XH] VARCHAR(10), `xm` NVARCHAR(12), \"lrxm\" CHAR(4), lrcj DOUBLE, lrsd FLOAT, "
     "lrzql NUMERIC, lrdate DATE, lrtime TIME, lrpc VARCHAR(10));\nCREATE TABLE [recxh] (xh, lrpc, lrdate);\n"
     "CREATE TABLE `System` (username TEXT, usermm TEXT, xsmm TEXT);\n"
     "CREATE INDEX \"按批次\" ON stdgrade (lrpc COLLATE NOCASE DESC, xh);"},
    {"bare words in another order, comments",
     "CREATE TABLE stdgrade ( -- results\n lrpc TEXT, xh TEXT, xm TEXT, lrxm TEXT, lrdate TEXT, lrtime TEXT,\n"
     " lrcj INT, lrsd INTEGER, lrzql REAL /* per cent */);\nCREATE TABLE recxh (lrdate DATETIME, xh TEXT, lrpc TEXT);"
     "\nCREATE TABLE system (xsmm, usermm, username);\nCREATE UNIQUE INDEX one_user ON system (username);"},
};

// Collection files: bare Chinese names, quotes and other types with an index, upper case.
const QList<std::pair<const char*, QByteArray>> kCollectionSpellings = {
    {"bare names, lower case",
     "create table xscj(学号 text, 姓名 text, 录入项目 text, 录入成绩 integer, 录入速度％m integer, 准确率％ integer, "
     "录入日期 date, 录入时间 datetime, 批次 text);"},
    {"quoted names, other types, an index of its own",
     "CREATE TABLE [xscj] (\"学号\" VARCHAR(10), `姓名` NVARCHAR(12), [录入项目] CHAR(4), 录入成绩 INT, "
     "录入速度％M NUMERIC, 准确率％ NUMERIC, 录入日期 TEXT, 录入时间 TIME, 批次 VARCHAR(10));\n"
     "CREATE INDEX xscj_batch ON xscj (批次 COLLATE NOCASE);"},
    {"upper case, comments",
     "CREATE TABLE XSCJ ( /* 成绩 */ 学号 TEXT, 姓名 TEXT, 录入项目 TEXT, 录入成绩 INTEGER, -- 分\n"
     "录入速度％m INTEGER, 准确率％ INTEGER, 录入日期 DATE, 录入时间 DATETIME, 批次 TEXT\n);"},
};

} // namespace

class TestOtherClients : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::prepareApplication(); }

    // The reader tool as network collection starts it, and the export.
    void gradeDatabaseIsRead_data()
    {
        QTest::addColumn<QByteArray>("tables");
        for (const auto& [name, tables] : kGradeSpellings)
            QTest::newRow(name) << tables;
    }
    void gradeDatabaseIsRead()
    {
        QFETCH(QByteArray, tables);
        Lab lab;
        const QString file = lab.machineDatabase(1);
        const QString made = makeGradeDatabase(file, tables);
        QVERIFY2(made.isEmpty(), qPrintable(made));

        QProcess reader;
        reader.start(qEnvironmentVariable("TYPELAB_APP_DIR") + QStringLiteral("/typelab-reader"),
                     {QStringLiteral("grades"), file, QStringLiteral("B1"), QStringLiteral("1000")});
        QVERIFY(reader.waitForFinished());
        const SourceFrames::Decoded decoded = SourceFrames::decode(reader.readAllStandardOutput());
        QVERIFY2(decoded.kind == SourceFrames::Decoded::Kind::Rows, qPrintable(decoded.description));
        QCOMPARE(decoded.rows, (QList<CollectionRow>{CollectionRow::fromGrade(Lab::result("2026000001", "B1", 84.5))}));

        const QString output = lab.teacher() + QStringLiteral("/grades.csv");
        const ScoreExport::Outcome exported = ScoreExport::run(file, QString(), output);
        QVERIFY2(exported.written, qPrintable(exported.message));
        QCOMPARE(exported.rows, 2);
    }

    // Three machines, one spelling each, into a teacher's file the sqlite3 tool made.
    void networkCollectionReadsEverySpelling()
    {
        Lab lab;
        QStringList expected;
        for (int machine = 1; machine <= kGradeSpellings.size(); ++machine) {
            const QByteArray student = "202600010" + QByteArray::number(machine);
            const QString made =
                makeGradeDatabase(lab.machineDatabase(machine), kGradeSpellings[machine - 1].second, student);
            QVERIFY2(made.isEmpty(), qPrintable(made));
            expected << QString(kGradeRow).replace(QStringLiteral("2026000001"), QString::fromLatin1(student));
        }
        const QString made = makeCollectionFile(lab.teachersFile(), kCollectionSpellings[1].second, {});
        QVERIFY2(made.isEmpty(), qPrintable(made));

        Lines lines;
        NetworkCollection collection(lines);
        QSignalSpy finished(&collection, &NetworkCollection::finished);
        collection.start(lab.prefix(), QStringLiteral("B1"));
        QVERIFY(finished.wait(60000));
        QVERIFY2(collection.summary().unreadable.isEmpty(), qPrintable(lines.progress));
        QCOMPARE(collection.summary().machinesRead, 3);
        QCOMPARE(rowsByName(lab.teachersFile()), expected);
    }

    // The diskette merged into the teacher's file, both made by the sqlite3 tool; exported; and
    // the diskette receiving a single-machine collection's rows.
    void collectionFileIsRead_data()
    {
        QTest::addColumn<QByteArray>("table");
        for (const auto& [name, table] : kCollectionSpellings)
            QTest::newRow(name) << table;
    }
    void collectionFileIsRead()
    {
        QFETCH(QByteArray, table);
        Lab lab;
        QString made = makeCollectionFile(lab.diskette(), table, kDisketteRows);
        made += makeCollectionFile(lab.teachersFile(), table, {});
        QVERIFY2(made.isEmpty(), qPrintable(made));

        MergeCollection merge;
        QString status;
        const StatusLine line = [&status](const QString& text) { status = text; };
        QVERIFY2(merge.openTarget(lab.teachersFile(), line), qPrintable(status));
        QSignalSpy finished(&merge, &MergeCollection::finished);
        merge.merge(lab.diskette(), QStringLiteral("B1"), line);
        QVERIFY(finished.wait(60000));
        QCOMPARE(merge.lastCount(), 1);
        merge.closeTarget();
        QCOMPARE(rowsByName(lab.teachersFile()), QStringList{kDisketteRow});

        const QString output = lab.teacher() + QStringLiteral("/diskette.csv");
        const ScoreExport::Outcome exported = ScoreExport::run(lab.diskette(), QString(), output);
        QVERIFY2(exported.written, qPrintable(exported.message));
        QCOMPARE(exported.rows, 2);

        CollectionStore::openTarget(lab.diskette())
            .append({CollectionRow::fromGrade(Lab::result("2026000001", "B1", 84.5))});
        QCOMPARE(rowsByName(lab.diskette()).value(2), kGradeRow);
    }

    // What the tools can make that is still no grade database or collection file.
    void otherClientsExtrasAreRefused_data()
    {
        QTest::addColumn<bool>("grades");
        QTest::addColumn<QByteArray>("schema");
        QTest::addColumn<QString>("named");
        QTest::newRow("grade table with a key")
            << true << QByteArray(kGradeSpellings[0].second).replace("xh text, xm", "xh text primary key, xm")
            << "数据表 stdgrade 的列不符";
        QTest::newRow("grade index with a condition")
            << true << kGradeSpellings[0].second + "\ncreate index b1 on stdgrade(xh) where lrpc = 'B1';"
            << "索引 b1";
        QTest::newRow("collection column not null")
            << false << QByteArray(kCollectionSpellings[0].second).replace("批次 text", "批次 text not null")
            << "数据表 xscj 的列不符";
        QTest::newRow("collection columns in another order")
            << false
            << QByteArray(kCollectionSpellings[0].second).replace("学号 text, 姓名 text", "姓名 text, 学号 text")
            << "数据表 xscj 的列不符";
        QTest::newRow("collection with a view")
            << false << kCollectionSpellings[0].second + "\ncreate view v as select 1;"
            << "视图 v";
    }
    void otherClientsExtrasAreRefused()
    {
        QFETCH(bool, grades);
        QFETCH(QByteArray, schema);
        QFETCH(QString, named);
        Lab lab;
        const QString file = grades ? lab.machineDatabase(1) : lab.diskette();
        const QString made = grades ? makeGradeDatabase(file, schema) : makeCollectionFile(file, schema, kDisketteRows);
        QVERIFY2(made.isEmpty(), qPrintable(made));
        const SourceResult read =
            SourceRead::readNow(grades ? SourceRead::Format::GradeDatabase : SourceRead::Format::CollectionFile, file,
                                QStringLiteral("B1"));
        QVERIFY(read.kind == SourceResult::Kind::Unreadable);
        QVERIFY2(read.problem.contains(QStringLiteral("数据库结构不符合要求")) && read.problem.contains(named),
                 qPrintable(read.problem));
    }
};

QTEST_MAIN(TestOtherClients)
#include "test_other_clients.moc"
