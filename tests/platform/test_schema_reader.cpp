// The reader of the statements in sqlite_master: every spelling another SQLite client may
// store is read as the engine reads it (each accepted statement is run through the engine to
// compare), and anything more than a plain table or index of the expected columns is refused.

#include "platform/schema_reader.h"
#include "support/schema_oracle.h"

#include <QtTest>

namespace {

const QList<ExpectedTable> kSchema = {
    {QStringLiteral("stdgrade"), {"xh", "xm", "lrxm", "lrcj", "lrsd", "lrzql", "lrdate", "lrtime", "lrpc"}, false},
    {QStringLiteral("xscj"),
     {"学号", "姓名", "录入项目", "录入成绩", "录入速度％m", "准确率％", "录入日期", "录入时间", "批次"},
     true},
};

const QByteArray kColumns = "xh TEXT, xm TEXT, lrxm TEXT, lrcj REAL, lrsd REAL, lrzql REAL, lrdate DATE, lrtime "
                            "TIME, lrpc TEXT";

// The grade table with its columns spelled otherwise (each replacement a pair of texts).
QByteArray grade(std::initializer_list<std::pair<const char*, const char*>> changes = {},
                 const QByteArray& head = "CREATE TABLE stdgrade (", const QByteArray& tail = ")")
{
    QByteArray columns = kColumns;
    for (const auto& [from, to] : changes)
        columns.replace(from, to);
    return head + columns + tail;
}

QString made(const SchemaReader::Reading& reading)
{
    switch (reading.kind) {
    case SchemaReader::Reading::Kind::Table:
        return QStringLiteral("table ") + QString::fromUtf8(reading.name);
    case SchemaReader::Reading::Kind::Index:
        return QStringLiteral("index %1 on %2").arg(QString::fromUtf8(reading.name), kSchema.at(reading.table).name);
    case SchemaReader::Reading::Kind::Refused:
        break;
    }
    return QStringLiteral("refused");
}

} // namespace

class TestSchemaReader : public QObject {
    Q_OBJECT

private slots:
    void readsStatementsAsTheEngineDoes_data()
    {
        QTest::addColumn<QByteArray>("sql");
        QTest::addColumn<QString>("reading");
        const QString refused = QStringLiteral("refused");

        // Tables as this program, the sqlite3 and sqlcipher tools or a script write them.
        QTest::newRow("own grade table") << grade() << "table stdgrade";
        QTest::newRow("own collection table")
            << QByteArray("CREATE TABLE xscj (\"学号\" NVARCHAR(10), \"姓名\" NVARCHAR(12), \"录入项目\" NVARCHAR(4),"
                          " \"录入成绩\" INTEGER, \"录入速度％m\" INTEGER, \"准确率％\" INTEGER,"
                          " \"录入日期\" DATE, \"录入时间\" DATETIME, \"批次\" NVARCHAR(10))")
            << "table xscj";
        QTest::newRow("lower case, other types")
            << QByteArray("create table stdgrade(xh text, xm text, lrxm text, lrcj real, lrsd real, lrzql real, "
                          "lrdate text, lrtime text, lrpc text)")
            << "table stdgrade";
        QTest::newRow("upper-case names")
            << grade({{"xh", "XH"}, {"lrpc", "LrPc"}}, "CREATE TABLE STDGRADE(") << "table STDGRADE";
        QTest::newRow("every quoting and listed type") << grade({{"xh TEXT", "\"xh\" NVARCHAR(10)"},
                                                                 {", xm TEXT", ", [xm] VARCHAR ( 12 )"},
                                                                 {"lrxm TEXT", "`lrxm` CHAR(4)"},
                                                                 {"lrcj REAL", "lrcj INT"},
                                                                 {"lrsd REAL", "lrsd INTEGER"},
                                                                 {"lrzql REAL", "lrzql DOUBLE"},
                                                                 {"lrdate DATE", "lrdate NUMERIC"},
                                                                 {"lrtime TIME", "lrtime DATETIME"},
                                                                 {"lrpc TEXT", "lrpc FLOAT"}},
                                                                "CREATE TABLE \"stdgrade\"(")
                                                       << "table stdgrade";
        QTest::newRow("white space and comments")
            << grade({{"xh TEXT,", "xh -- number\r\n\tTEXT,"}, {", xm", "/* name */,\fxm"}},
                     "CREATE\tTABLE\r\nstdgrade/**/(\n", "\n) -- done")
            << "table stdgrade";
        QTest::newRow("no types, any order")
            << QByteArray("CREATE TABLE stdgrade (lrpc, lrtime, lrdate, lrzql, lrsd, lrcj, lrxm, xm, xh)")
            << "table stdgrade";
        QTest::newRow("bare Chinese names")
            << QByteArray("CREATE TABLE xscj (学号 TEXT, 姓名 TEXT, 录入项目 TEXT, 录入成绩 INT, 录入速度％M INT, "
                          "准确率％ INT, 录入日期 DATE, 录入时间 TIME, 批次 TEXT)")
            << "table xscj";

        // Indexes of this program's and of others.
        QTest::newRow("own index") << QByteArray("CREATE INDEX stdgrade_by_batch ON stdgrade (lrpc COLLATE NOCASE)")
                                   << "index stdgrade_by_batch on stdgrade";
        QTest::newRow("index from the tool")
            << QByteArray("create index idx on stdgrade(lrdate desc, xh)") << "index idx on stdgrade";
        QTest::newRow("unique index, every option")
            << QByteArray("CREATE UNIQUE INDEX \"by \"\"batch\"\"\" ON [XSCJ] (\"批次\" COLLATE nocase DESC, "
                          "学号 collate `RTRIM` asc, 姓名 COLLATE BINARY)")
            << "index by \"batch\" on xscj";

        // What is not a plain table of the expected columns.
        QTest::newRow("empty") << QByteArray() << refused;
        QTest::newRow("temporary table") << grade({}, "CREATE TEMP TABLE stdgrade (") << refused;
        QTest::newRow("if not exists") << grade({}, "CREATE TABLE IF NOT EXISTS stdgrade (") << refused;
        QTest::newRow("schema name") << grade({}, "CREATE TABLE main.stdgrade (") << refused;
        QTest::newRow("view") << QByteArray("CREATE VIEW stdgrade AS SELECT 1 AS xh") << refused;
        QTest::newRow("virtual table") << grade({}, "CREATE VIRTUAL TABLE stdgrade USING fts3(") << refused;
        QTest::newRow("trigger") << QByteArray("CREATE TRIGGER t AFTER INSERT ON stdgrade BEGIN SELECT 1; END")
                                 << refused;
        QTest::newRow("another table") << grade({}, "CREATE TABLE other (") << refused;
        QTest::newRow("a column missing") << grade({{", lrpc TEXT", ""}}) << refused;
        QTest::newRow("a column more") << grade({{"lrpc TEXT", "lrpc TEXT, extra TEXT"}}) << refused;
        QTest::newRow("a column twice") << grade({{"xm TEXT", "XH TEXT"}}) << refused;
        QTest::newRow("collection columns out of order") << QByteArray(
            "CREATE TABLE xscj (姓名, 学号, 录入项目, 录入成绩, 录入速度％m, 准确率％, 录入日期, 录入时间, 批次)")
                                                         << refused;
        QTest::newRow("key") << grade({{"xh TEXT", "xh TEXT PRIMARY KEY"}}) << refused;
        QTest::newRow("not null") << grade({{"xh TEXT", "xh TEXT NOT NULL"}}) << refused;
        QTest::newRow("default") << grade({{"lrcj REAL", "lrcj REAL DEFAULT 0"}}) << refused;
        QTest::newRow("check") << grade({{"lrcj REAL", "lrcj REAL CHECK (lrcj > 0)"}}) << refused;
        QTest::newRow("column collation") << grade({{"xh TEXT", "xh TEXT COLLATE NOCASE"}}) << refused;
        QTest::newRow("named constraint") << grade({{"xh TEXT", "xh CONSTRAINT c UNIQUE"}}) << refused;
        QTest::newRow("table constraint") << grade({{"lrpc TEXT", "lrpc TEXT, UNIQUE (xh)"}}) << refused;
        QTest::newRow("without rowid") << grade({}, "CREATE TABLE stdgrade (", ") WITHOUT ROWID") << refused;
        QTest::newRow("made by a select") << QByteArray("CREATE TABLE stdgrade AS SELECT 1 AS xh") << refused;
        QTest::newRow("semicolon") << grade({}, "CREATE TABLE stdgrade (", ");") << refused;
        QTest::newRow("second statement") << grade({}, "CREATE TABLE stdgrade (", "); DROP TABLE x") << refused;

        // Types not in the list.
        QTest::newRow("blob") << grade({{"xh TEXT", "xh BLOB"}}) << refused;
        QTest::newRow("varchar without a length") << grade({{"xh TEXT", "xh VARCHAR"}}) << refused;
        QTest::newRow("text with a length") << grade({{"xh TEXT", "xh TEXT(10)"}}) << refused;
        QTest::newRow("two words") << grade({{"lrcj REAL", "lrcj DOUBLE PRECISION"}}) << refused;
        QTest::newRow("two lengths") << grade({{"xh TEXT", "xh VARCHAR(10, 2)"}}) << refused;
        QTest::newRow("negative length") << grade({{"xh TEXT", "xh VARCHAR(-1)"}}) << refused;
        QTest::newRow("fractional length") << grade({{"xh TEXT", "xh VARCHAR(1.5)"}}) << refused;
        QTest::newRow("quoted type") << grade({{"xh TEXT", "xh \"TEXT\""}}) << refused;

        // Quotes and comments read the engine's way.
        QTest::newRow("single-quoted name") << grade({{"xh TEXT", "'xh' TEXT"}}) << refused;
        QTest::newRow("unterminated quote")
            << grade({{"lrpc TEXT", "\"lrpc TEXT"}}, "CREATE TABLE stdgrade (", "") << refused;
        QTest::newRow("doubled quote stays in the name") << grade({{"xh TEXT", "\"xh\"\"\" TEXT"}}) << refused;
        QTest::newRow("bracket ends at the first ]") << grade({{"xh TEXT", "[xh]] TEXT"}}) << refused;
        QTest::newRow("comment hides the end") << grade({}, "CREATE TABLE stdgrade (", " -- )") << refused;
        QTest::newRow("unterminated comment") << grade({}, "CREATE TABLE stdgrade (", ") /* end") << refused;
        QTest::newRow("vertical tab") << grade({}, "CREATE\vTABLE stdgrade (") << refused;
        QTest::newRow("NUL") << grade({}, "CREATE TABLE stdgrade (", QByteArray(")\0 x", 4)) << refused;

        // What is not a plain index on expected columns.
        QTest::newRow("index condition") << QByteArray("CREATE INDEX i ON stdgrade (xh) WHERE lrcj > 0") << refused;
        QTest::newRow("index expression") << QByteArray("CREATE INDEX i ON stdgrade (lower(xh))") << refused;
        QTest::newRow("index in parentheses") << QByteArray("CREATE INDEX i ON stdgrade ((xh))") << refused;
        QTest::newRow("other table's column") << QByteArray("CREATE INDEX i ON stdgrade (学号)") << refused;
        QTest::newRow("index column twice") << QByteArray("CREATE INDEX i ON stdgrade (xh, XH)") << refused;
        QTest::newRow("other collation") << QByteArray("CREATE INDEX i ON stdgrade (xh COLLATE nocase2)") << refused;
        QTest::newRow("engine's index name")
            << QByteArray("CREATE INDEX sqlite_autoindex_x ON stdgrade (xh)") << refused;
        QTest::newRow("index if not exists") << QByteArray("CREATE INDEX IF NOT EXISTS i ON stdgrade (xh)") << refused;
        QTest::newRow("schema-qualified index") << QByteArray("CREATE INDEX main.i ON stdgrade (xh)") << refused;
        QTest::newRow("index without columns") << QByteArray("CREATE INDEX i ON stdgrade ()") << refused;
        QTest::newRow("index on another table") << QByteArray("CREATE INDEX i ON other (xh)") << refused;
    }
    void readsStatementsAsTheEngineDoes()
    {
        QFETCH(QByteArray, sql);
        const SchemaReader::Reading reading = SchemaReader::read(sql, kSchema);
        QTEST(made(reading), "reading");
        const SchemaOracle::Comparison engine = SchemaOracle::compare(sql, reading, kSchema);
        QVERIFY2(engine.verdict == SchemaOracle::Comparison::Verdict::Same, qPrintable(engine.detail));
    }
};

QTEST_GUILESS_MAIN(TestSchemaReader)
#include "test_schema_reader.moc"
