#include "grades/grade_store.h"

#include "grades/grade_rows.h"
#include "grades/history_pages.h"
#include "platform/paths.h"

#include <QFileInfo>

const QByteArray GradeStore::databasePassword = QByteArrayLiteral("857");

namespace {

const char* const kCreateStatements[] = {
    ("CREATE TABLE stdgrade (xh TEXT, xm TEXT, lrxm TEXT, lrcj REAL, lrsd REAL, lrzql REAL,"
     " lrdate DATE, lrtime TIME, lrpc TEXT)"),
    "CREATE TABLE recxh (xh TEXT, lrpc TEXT, lrdate DATE)",
    "CREATE TABLE system (username TEXT, usermm TEXT, xsmm TEXT)",
};

// Indexes that keep the purge, the history and the batch look-ups fast on large tables.
const char* const kIndexStatements[] = {
    "CREATE INDEX stdgrade_by_date ON stdgrade (lrdate, lrtime)",
    "CREATE INDEX stdgrade_by_batch ON stdgrade (lrpc COLLATE NOCASE)",
    "CREATE INDEX recxh_by_login ON recxh (xh COLLATE NOCASE, lrpc COLLATE NOCASE)",
    "CREATE INDEX recxh_by_date ON recxh (lrdate)",
};

// Each begins with a filter's box and goes on in the history's order, so a filtered page is a
// stretch of one index (see history_pages.cpp).
const char* const kLookupIndexStatements[] = {
    "CREATE INDEX IF NOT EXISTS stdgrade_by_date ON stdgrade (lrdate, lrtime)",
    "CREATE INDEX IF NOT EXISTS stdgrade_by_number ON stdgrade (xh COLLATE NOCASE, lrdate, lrtime)",
    "CREATE INDEX IF NOT EXISTS stdgrade_by_name ON stdgrade (xm COLLATE NOCASE, lrdate, lrtime)",
    "CREATE INDEX IF NOT EXISTS stdgrade_by_batch_date ON stdgrade (lrpc COLLATE NOCASE, lrdate, lrtime)",
    "CREATE INDEX IF NOT EXISTS stdgrade_by_kind ON stdgrade (lrxm, lrdate, lrtime)",
};

const char kNotIndexed[] = " NOT INDEXED";

QString isoDate(const QDate& date)
{
    return date.toString(Qt::ISODate);
}

} // namespace

QList<ExpectedTable> GradeStore::expectedSchema()
{
    // Every statement on these tables names its columns, so their order is free.
    return {
        {QStringLiteral("stdgrade"), {"xh", "xm", "lrxm", "lrcj", "lrsd", "lrzql", "lrdate", "lrtime", "lrpc"}, false},
        {QStringLiteral("recxh"), {"xh", "lrpc", "lrdate"}, false},
        {QStringLiteral("system"), {"username", "usermm", "xsmm"}, false},
    };
}

GradeStore GradeStore::open(const QString& appFolder)
{
    return openFile(Paths::gradeDatabase(appFolder));
}

GradeStore opendb(const QString& appFolder)
{
    return GradeStore::open(appFolder);
}

GradeStore GradeStore::openFile(const QString& path)
{
    GradeStore store(Database::open(path, Database::Mode::ReadWrite, databasePassword));
    // A file with the right key but without our tables fails here, not halfway through a login.
    store.db_.exec(QStringLiteral("SELECT 1 FROM stdgrade, recxh, system LIMIT 0"));
    return store;
}

GradeStore GradeStore::openUntrusted(const QString& path, const QByteArray& key)
{
    return GradeStore(Database::openUntrusted(path, expectedSchema(), key), true);
}

namespace {

// The tables, their indexes and, when given, the one system row, in one transaction.
Database createFile(const QString& path, const SystemRow* credentials)
{
    if (QFileInfo::exists(path))
        throw DbError(DbError::Kind::AlreadyExists, path);
    Database db = Database::open(path, Database::Mode::Create, GradeStore::databasePassword);
    Transaction transaction(db);
    for (const char* sql : kCreateStatements)
        db.exec(QString::fromUtf8(sql));
    for (const char* sql : kIndexStatements)
        db.exec(QString::fromUtf8(sql));
    if (credentials)
        db.prepare(QStringLiteral("INSERT INTO system (username, usermm, xsmm) VALUES (?1, ?2, ?3)"))
            .bind(1, credentials->username)
            .bind(2, credentials->usermm)
            .bind(3, credentials->xsmm)
            .exec();
    transaction.commit();
    return db;
}

} // namespace

Database GradeStore::createWithoutCredentials(const QString& path)
{
    return createFile(path, nullptr);
}

void GradeStore::create(const QString& path, const SystemRow& credentials)
{
    createFile(path, &credentials);
}

GradeStore::PurgeCounts GradeStore::purgeOld(const QDate& today)
{
    // A row is purged when today minus its date is 15 days or more.
    const QString lastPurged = isoDate(today.addDays(-15));
    PurgeCounts counts;
    // Room for the pages a large purge touches, so that each is decrypted once.
    db_.exec(QStringLiteral("PRAGMA cache_size = -32768"));
    Transaction transaction(db_);
    db_.prepare(QStringLiteral("DELETE FROM stdgrade WHERE lrdate <= ?1")).bind(1, lastPurged).exec();
    counts.results = db_.changes();
    db_.prepare(QStringLiteral("DELETE FROM recxh WHERE lrdate <= ?1")).bind(1, lastPurged).exec();
    counts.testLogins = db_.changes();
    transaction.commit();
    return counts;
}

void GradeStore::addResult(const GradeRow& row)
{
    Statement insert =
        db_.prepare(QStringLiteral("INSERT INTO stdgrade (xh, xm, lrxm, lrcj, lrsd, lrzql, lrdate, lrtime, lrpc)"
                                   " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)"));
    insert.bind(1, row.xh).bind(2, row.xm).bind(3, row.lrxm);
    insert.bind(4, row.lrcj).bind(5, row.lrsd).bind(6, row.lrzql);
    insert.bind(7, isoDate(row.lrdate)).bind(8, row.lrtime.toString(QStringLiteral("HH:mm:ss")));
    if (row.lrpc.isEmpty())
        insert.bindNull(9);
    else
        insert.bind(9, row.lrpc);
    insert.exec();
}

qint64 GradeStore::resultCount()
{
    Statement count = db_.prepare(QStringLiteral("SELECT count(*) FROM stdgrade"));
    count.step();
    return count.integer(0);
}

GradeRow GradeRows::read(const Statement& statement)
{
    GradeRow row;
    row.xh = statement.text(0);
    row.xm = statement.text(1);
    row.lrxm = statement.text(2);
    row.lrcj = statement.real(3);
    row.lrsd = statement.real(4);
    row.lrzql = statement.real(5);
    row.lrdate = QDate::fromString(statement.text(6), Qt::ISODate);
    row.lrtime = QTime::fromString(statement.text(7), Qt::ISODate);
    row.lrpc = statement.text(8);
    return row;
}

QList<GradeRow> GradeStore::resultsNewestFirst(qint64 offset, int limit)
{
    return HistoryPages::read(db_, HistoryPages::Filter(), HistoryPages::Cursor::at(offset), limit).rows;
}

QString GradeStore::selectResults() const
{
    return QStringLiteral("SELECT %1 FROM stdgrade").arg(QString::fromUtf8(GradeRows::kColumns))
        + (fromElsewhere_ ? QString::fromUtf8(kNotIndexed) : QString());
}

QList<GradeRow> GradeStore::batchResults(const QString& batch)
{
    Statement select = db_.prepare(selectResults() + QStringLiteral(" WHERE lrpc = ?1 COLLATE NOCASE ORDER BY rowid"));
    select.bind(1, batch);
    QList<GradeRow> rows;
    while (select.step())
        rows.append(GradeRows::read(select));
    return rows;
}

QList<GradeRow> GradeStore::allResults()
{
    Statement select = db_.prepare(selectResults() + QStringLiteral(" ORDER BY rowid"));
    QList<GradeRow> rows;
    while (select.step())
        rows.append(GradeRows::read(select));
    return rows;
}

bool GradeStore::hasTestLogin(const QString& studentNumber, const QString& batch)
{
    Statement select = db_.prepare(
        QStringLiteral("SELECT 1 FROM recxh WHERE xh = ?1 COLLATE NOCASE AND lrpc = ?2 COLLATE NOCASE LIMIT 1"));
    select.bind(1, studentNumber).bind(2, batch);
    return select.step();
}

void GradeStore::addTestLogin(const QString& studentNumber, const QString& batch, const QDate& date)
{
    db_.prepare(QStringLiteral("INSERT INTO recxh (xh, lrpc, lrdate) VALUES (?1, ?2, ?3)"))
        .bind(1, studentNumber)
        .bind(2, batch)
        .bind(3, isoDate(date))
        .exec();
}

GradeStore::TestLoginClaim GradeStore::claimTestLogin(const QString& studentNumber, const QString& batch,
                                                      const QDate& date)
{
    Transaction transaction(db_);
    const bool recorded = hasTestLogin(studentNumber, batch);
    if (!recorded)
        addTestLogin(studentNumber, batch, date);
    transaction.commit();
    return recorded ? TestLoginClaim::AlreadyRecorded : TestLoginClaim::FirstLogin;
}

bool GradeStore::secondLoginPasswordMatches(const QString& password)
{
    Statement select =
        db_.prepare(QStringLiteral("SELECT 1 FROM system WHERE trim(xsmm, ' ') = ?1 COLLATE NOCASE LIMIT 1"));
    select.bind(1, password);
    return select.step();
}

bool GradeStore::systemLoginMatches(const QString& userName, const QString& password)
{
    Statement select = db_.prepare(QStringLiteral(
        "SELECT 1 FROM system WHERE username = ?1 COLLATE NOCASE AND usermm = ?2 COLLATE NOCASE LIMIT 1"));
    select.bind(1, userName).bind(2, password);
    return select.step();
}

std::optional<SystemRow> GradeStore::systemRow()
{
    Statement select = db_.prepare(QStringLiteral("SELECT username, usermm, xsmm FROM system ORDER BY rowid LIMIT 1"));
    if (!select.step())
        return std::nullopt;
    return SystemRow{select.text(0), select.text(1), select.text(2)};
}

bool GradeStore::setPassword(PasswordColumn column, const QString& password)
{
    const QString sql = column == PasswordColumn::SecondLogin
        ? QStringLiteral("UPDATE system SET xsmm = ?1 WHERE rowid = (SELECT min(rowid) FROM system)")
        : QStringLiteral("UPDATE system SET usermm = ?1 WHERE rowid = (SELECT min(rowid) FROM system)");
    db_.prepare(sql).bind(1, password).exec();
    return db_.changes() > 0;
}

void GradeStore::clearHistory()
{
    Transaction transaction(db_);
    db_.exec(QStringLiteral("DELETE FROM recxh"));
    db_.exec(QStringLiteral("DELETE FROM stdgrade"));
    transaction.commit();
}

qint64 GradeStore::resultCount(const HistoryPages::Filter& filter)
{
    return HistoryPages::count(db_, filter);
}

HistoryPages::Page GradeStore::historyPage(const HistoryPages::Filter& filter, const HistoryPages::Cursor& cursor,
                                           int limit)
{
    return HistoryPages::read(db_, filter, cursor, limit);
}

QList<GradeRow> GradeStore::studentResults(const QString& number)
{
    return HistoryPages::studentResults(db_, number);
}

void GradeStore::addLookupIndexes()
{
    Transaction transaction(db_);
    for (const char* sql : kLookupIndexStatements)
        db_.exec(QString::fromUtf8(sql));
    transaction.commit();
}
