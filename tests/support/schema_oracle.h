#pragma once
// What the engine itself builds from a statement the schema reader accepted. The reader's
// tests and its fuzz target hold the two to one answer: a column the reader saw that the engine
// does not, or a key, a default, a condition or an expression the reader let through, shows here.

#include "platform/database.h"
#include "platform/schema_reader.h"

namespace SchemaOracle {

struct Comparison {
    enum class Verdict { Same, EngineRefused, Differs };
    Verdict verdict = Verdict::Same;
    QString detail;
};

inline QString quotedName(QString name)
{
    return u'"' + name.replace(u'"', QStringLiteral("\"\"")) + u'"';
}

inline bool oneOf(const QString& name, const QStringList& names)
{
    for (const QString& candidate : names)
        if (SchemaReader::sameName(name.toUtf8(), candidate.toUtf8()))
            return true;
    return false;
}

// The engine's table against the reading: the expected columns, each once, and nothing on them.
inline QString tableDifference(Database& db, const ExpectedTable& table)
{
    Statement info = db.prepare(QStringLiteral("PRAGMA table_info(%1)").arg(quotedName(table.name)));
    QStringList seen;
    while (info.step()) {
        const QString column = info.text(1);
        if (!oneOf(column, table.columns) || oneOf(column, seen))
            return QStringLiteral("column %1").arg(column);
        if (table.columnsInOrder && !SchemaReader::sameName(column.toUtf8(), table.columns.at(seen.size()).toUtf8()))
            return QStringLiteral("column %1 out of order").arg(column);
        if (info.integer(3) != 0 || !info.isNull(4) || info.integer(5) != 0)
            return QStringLiteral("column %1 carries a constraint or a default").arg(column);
        seen << column;
    }
    return seen.size() == table.columns.size() ? QString() : QStringLiteral("%1 columns").arg(seen.size());
}

// The engine's index against the reading: plain columns of the table, the three collations, no
// condition.
inline QString indexDifference(Database& db, const QString& index, const ExpectedTable& table)
{
    Statement info = db.prepare(QStringLiteral("PRAGMA index_xinfo(%1)").arg(quotedName(index)));
    int keys = 0;
    while (info.step()) {
        if (info.integer(5) == 0)
            continue; // the rowid every index entry ends with
        ++keys;
        if (info.integer(1) < 0 || !oneOf(info.text(2), table.columns))
            return QStringLiteral("indexed expression or column %1").arg(info.text(2));
        if (!oneOf(info.text(4), {"BINARY", "NOCASE", "RTRIM"}))
            return QStringLiteral("collation %1").arg(info.text(4));
    }
    Statement list = db.prepare(QStringLiteral("PRAGMA index_list(%1)").arg(quotedName(table.name)));
    while (list.step())
        if (list.text(1) == index && (list.text(3) != QLatin1String("c") || list.integer(4) != 0))
            return QStringLiteral("index origin %1, partial %2").arg(list.text(3)).arg(list.integer(4));
    return keys > 0 ? QString() : QStringLiteral("an index without columns");
}

// Runs the statement in an empty in-memory database (beside the expected tables, for an
// index) and compares what the engine built with the reading. A statement that is not valid
// UTF-8 is not compared.
inline Comparison compare(const QByteArray& sql, const SchemaReader::Reading& reading,
                          const QList<ExpectedTable>& expected)
{
    using Kind = SchemaReader::Reading::Kind;
    const QString text = QString::fromUtf8(sql);
    if (reading.kind == Kind::Refused || text.toUtf8() != sql)
        return {};
    const bool isIndex = reading.kind == Kind::Index;
    const ExpectedTable& table = expected.at(reading.table);
    Database db = Database::open(QStringLiteral(":memory:"), Database::Mode::Create);
    if (isIndex) {
        for (const ExpectedTable& other : expected) {
            QStringList columns;
            for (const QString& column : other.columns)
                columns << quotedName(column);
            db.exec(QStringLiteral("CREATE TABLE %1 (%2)").arg(quotedName(other.name), columns.join(u',')));
        }
    }
    try {
        db.exec(text);
    } catch (const DbError& error) {
        return {Comparison::Verdict::EngineRefused, error.engineMessage()};
    }
    const QString name = QString::fromUtf8(reading.name);
    Statement master = db.prepare(QStringLiteral("SELECT type, name, tbl_name FROM sqlite_master ORDER BY rowid"));
    qint64 rows = 0;
    QStringList last;
    while (master.step()) {
        ++rows;
        last = QStringList{master.text(0), master.text(1), master.text(2)};
    }
    const QString type = isIndex ? QStringLiteral("index") : QStringLiteral("table");
    QString difference;
    if (rows != (isIndex ? expected.size() + 1 : 1) || last.at(0) != type || last.at(1) != name
        || !SchemaReader::sameName(last.at(2).toUtf8(), table.name.toUtf8()))
        difference = QStringLiteral("the engine made %1 rows, the last %2").arg(rows).arg(last.join(u' '));
    else
        difference = isIndex ? indexDifference(db, name, table) : tableDifference(db, table);
    if (difference.isEmpty())
        return {};
    return {Comparison::Verdict::Differs, difference};
}

} // namespace SchemaOracle
