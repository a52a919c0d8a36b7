#include "collect/collection_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <limits>

const QString CollectionStore::tableName = QStringLiteral("xscj");

namespace {

const char kCreateTable[] = "CREATE TABLE xscj (\"学号\" NVARCHAR(10), \"姓名\" NVARCHAR(12), \"录入项目\" NVARCHAR(4),"
                            " \"录入成绩\" INTEGER, \"录入速度％m\" INTEGER, \"准确率％\" INTEGER,"
                            " \"录入日期\" DATE, \"录入时间\" DATETIME, \"批次\" NVARCHAR(10))";

const char kSelectColumns[] = "SELECT \"学号\", \"姓名\", \"录入项目\", \"录入成绩\", \"录入速度％m\", \"准确率％\","
                              " \"录入日期\", \"录入时间\", \"批次\" FROM xscj NOT INDEXED";

qint32 wholeNumber(double value)
{
    if (std::isnan(value))
        return 0;
    // nearbyint follows the default rounding mode: halves go to the even neighbour.
    const double rounded = std::nearbyint(value);
    if (rounded <= double(std::numeric_limits<qint32>::min()))
        return std::numeric_limits<qint32>::min();
    if (rounded >= double(std::numeric_limits<qint32>::max()))
        return std::numeric_limits<qint32>::max();
    return qint32(rounded);
}

QVariant dateValue(const QDate& date)
{
    return date.isValid() ? QVariant(date.toString(Qt::ISODate)) : QVariant();
}

QVariant timeValue(const QTime& time)
{
    return time.isValid() ? QVariant(time.toString(QStringLiteral("HH:mm:ss"))) : QVariant();
}

} // namespace

CollectionRow CollectionRow::fromGrade(const GradeRow& grade)
{
    CollectionRow row;
    row.xh = grade.xh;
    row.xm = grade.xm;
    row.lrxm = grade.lrxm;
    row.lrcj = wholeNumber(grade.lrcj);
    row.lrsd = wholeNumber(grade.lrsd);
    row.lrzql = wholeNumber(grade.lrzql);
    row.lrdate = grade.lrdate;
    row.lrtime = grade.lrtime;
    row.lrpc = grade.lrpc;
    return row;
}

size_t qHash(const CollectionRow& row, size_t seed)
{
    return qHashMulti(seed, row.xh, row.xm, row.lrxm, row.lrcj, row.lrsd, row.lrzql, row.lrdate, row.lrtime, row.lrpc);
}

QStringList CollectionStore::columnNames()
{
    return {QStringLiteral("学号"),     QStringLiteral("姓名"),        QStringLiteral("录入项目"),
            QStringLiteral("录入成绩"), QStringLiteral("录入速度％m"), QStringLiteral("准确率％"),
            QStringLiteral("录入日期"), QStringLiteral("录入时间"),    QStringLiteral("批次")};
}

ExpectedTable CollectionStore::expectedTable()
{
    // append() inserts by position: the columns must stand in their order.
    return ExpectedTable{tableName, columnNames(), true};
}

void CollectionStore::create(const QString& path)
{
    const QFileInfo info(path);
    if (info.exists())
        throw DbError(DbError::Kind::AlreadyExists, path);
    if (!info.absoluteDir().exists())
        throw DbError(DbError::Kind::NoFolder, path);
    try {
        Database db = Database::open(path, Database::Mode::Create);
        db.exec(QString::fromUtf8(kCreateTable));
    } catch (const DbError&) {
        // Nothing half-made stays behind to be mistaken for a collection file later.
        QFile::remove(path);
        QFile::remove(path + QStringLiteral("-journal"));
        throw;
    }
}

CollectionStore CollectionStore::openTarget(const QString& path)
{
    // Checked and written through one connection with triggers off: the file may have come on
    // a diskette, and nothing it smuggled in may run with our writes.
    return CollectionStore(Database::openUntrusted(path, {expectedTable()}, {}, Database::Access::ReadWrite));
}

CollectionStore CollectionStore::openSource(const QString& path)
{
    return CollectionStore(Database::openUntrusted(path, {expectedTable()}));
}

qint64 CollectionStore::append(const QList<CollectionRow>& rows)
{
    if (rows.isEmpty())
        return 0;
    Transaction transaction(db_);
    // data_version changes when another connection has written the file since we last looked.
    Statement version = db_.prepare(QStringLiteral("PRAGMA data_version"));
    version.step();
    const qint64 current = version.integer(0);
    if (heldVersion_ != current) {
        held_.clear();
        for (const CollectionRow& row : allRows())
            held_.insert(row);
    }
    QSet<CollectionRow> added;
    Statement insert = db_.prepare(QStringLiteral("INSERT INTO xscj VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)"));
    for (const CollectionRow& row : rows) {
        if (held_.contains(row) || added.contains(row))
            continue;
        insert.bind(1, row.xh).bind(2, row.xm).bind(3, row.lrxm);
        insert.bind(4, qint64(row.lrcj)).bind(5, qint64(row.lrsd)).bind(6, qint64(row.lrzql));
        insert.bind(7, dateValue(row.lrdate)).bind(8, timeValue(row.lrtime));
        insert.bind(9, row.lrpc);
        insert.exec();
        insert.reset();
        added.insert(row);
    }
    transaction.commit();
    held_.unite(added);
    heldVersion_ = current;
    return added.size();
}

qint64 CollectionStore::rowCount()
{
    Statement count = db_.prepare(QStringLiteral("SELECT count(*) FROM xscj NOT INDEXED"));
    count.step();
    return count.integer(0);
}

QList<CollectionRow> CollectionStore::readRows(Statement& select)
{
    QList<CollectionRow> rows;
    while (select.step()) {
        CollectionRow row;
        row.xh = select.text(0);
        row.xm = select.text(1);
        row.lrxm = select.text(2);
        row.lrcj = wholeNumber(select.real(3));
        row.lrsd = wholeNumber(select.real(4));
        row.lrzql = wholeNumber(select.real(5));
        row.lrdate = QDate::fromString(select.text(6), Qt::ISODate);
        row.lrtime = QTime::fromString(select.text(7), Qt::ISODate);
        row.lrpc = select.text(8);
        rows.append(row);
    }
    return rows;
}

QList<CollectionRow> CollectionStore::batchRows(const QString& batch)
{
    Statement select = db_.prepare(QString::fromUtf8(kSelectColumns)
                                   + QStringLiteral(" WHERE \"批次\" = ?1 COLLATE NOCASE ORDER BY rowid"));
    select.bind(1, batch);
    return readRows(select);
}

QList<CollectionRow> CollectionStore::allRows()
{
    Statement select = db_.prepare(QString::fromUtf8(kSelectColumns) + QStringLiteral(" ORDER BY rowid"));
    return readRows(select);
}

bool creatmdb(const QString& path, const StatusLine& status, QString* problem)
{
    try {
        CollectionStore::create(path);
        return true;
    } catch (const DbError& error) {
        const QString detail = error.describe();
        if (problem)
            *problem = detail;
        status(QStringLiteral("创建文件失败！请重试") + QStringLiteral("\r\n") + detail);
        return false;
    }
}

QString fullPath(const QString& path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

QString whereLine(const QString& path)
{
    return QStringLiteral("文件：") + fullPath(path);
}

QString countText(qint64 count)
{
    return count >= 0 ? QStringLiteral(" %1").arg(count) : QString::number(count);
}
