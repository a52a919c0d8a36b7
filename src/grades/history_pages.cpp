#include "grades/history_pages.h"

#include "grades/grade_rows.h"
#include "grades/history_filter.h"

#include <QVariantList>

#include <algorithm>

namespace HistoryPages {

namespace {

QString selectColumns()
{
    return QStringLiteral("SELECT %1, rowid FROM stdgrade").arg(QString::fromUtf8(GradeRows::kColumns));
}
const char kNewestFirst[] = " ORDER BY lrdate DESC, lrtime DESC, rowid DESC";
const char kOldestFirst[] = " ORDER BY lrdate ASC, lrtime ASC, rowid ASC";

// A filter's conditions, with their parameters numbered from ?1 on; statements number theirs
// after them.
struct Condition {
    QStringList terms;
    QVariantList values;

    void add(const QString& term, const QVariant& value)
    {
        values << value;
        terms << QString(term).replace(QStringLiteral("?N"), QStringLiteral("?%1").arg(values.size()));
    }
    int next() const { return int(values.size()) + 1; }
    QString where(const QString& more = {}) const
    {
        QStringList all = terms;
        if (!more.isEmpty())
            all << more;
        return all.isEmpty() ? QString() : QStringLiteral(" WHERE ") + all.join(QStringLiteral(" AND "));
    }
    void bind(Statement& statement) const
    {
        for (int i = 0; i < values.size(); ++i)
            statement.bind(i + 1, values.at(i));
    }
};

// Each of number, name, batch and kind has an index that starts with it and goes on by date
// and time, so the page comes out of the index in order. Only the first box given (the one
// that narrows most) is left open to its index; the others are written as +column, which the
// engine never looks up by index: without statistics it would guess between them, and a
// guess of the kind's index walks half the history.
Condition conditionOf(const Filter& filter)
{
    Condition condition;
    bool indexed = false;
    const auto equal = [&](const QString& column, const QString& value, bool nocase) {
        if (value.isEmpty())
            return;
        const QString term = (indexed ? QStringLiteral("+") : QString()) + column
            + (nocase ? QStringLiteral(" = ?N COLLATE NOCASE") : QStringLiteral(" = ?N"));
        condition.add(term, value);
        indexed = true;
    };
    equal(QStringLiteral("xh"), filter.number, true);
    equal(QStringLiteral("xm"), filter.name, true);
    equal(QStringLiteral("lrpc"), filter.batch, true);
    equal(QStringLiteral("lrxm"), filter.kind ? ExerciseKinds::name(*filter.kind) : QString(), false);
    // Dates follow the indexed box in every index, so the range narrows that index too.
    if (!filter.from.isEmpty())
        condition.add(QStringLiteral("lrdate >= ?N"), filter.from);
    if (!filter.to.isEmpty())
        condition.add(QStringLiteral("lrdate <= ?N"), filter.to);
    return condition;
}

Page rowsOf(Statement& select, bool reversed)
{
    Page page;
    Key first, last;
    while (select.step()) {
        GradeRow row = GradeRows::read(select);
        row.rowid = select.integer(9);
        Key key{select.text(6), select.text(7), select.integer(9), !select.isNull(6) && !select.isNull(7)};
        if (page.rows.isEmpty())
            first = key;
        last = key;
        page.rows.append(row);
    }
    if (reversed) {
        std::reverse(page.rows.begin(), page.rows.end());
        std::swap(first, last);
    }
    page.first = first;
    page.last = last;
    return page;
}

Page byKey(Database& db, const Filter& filter, const Key& key, int limit, bool older)
{
    if (!key.valid)
        return Page();
    const Condition condition = conditionOf(filter);
    const int k = condition.next();
    // Row values compare date, time and rowid in one step, which the date index can range over.
    const QString after = QStringLiteral("(lrdate, lrtime, rowid) %1 (?%2, ?%3, ?%4)")
                              .arg(older ? QStringLiteral("<") : QStringLiteral(">"))
                              .arg(k)
                              .arg(k + 1)
                              .arg(k + 2);
    const QString sql = selectColumns() + condition.where(after)
        + QString::fromUtf8(older ? kNewestFirst : kOldestFirst) + QStringLiteral(" LIMIT ?%1").arg(k + 3);
    Statement select = db.prepare(sql);
    condition.bind(select);
    select.bind(k, key.lrdate).bind(k + 1, key.lrtime).bind(k + 2, key.rowid).bind(k + 3, qint64(limit));
    return rowsOf(select, !older);
}

} // namespace

qint64 count(Database& db, const Filter& filter)
{
    const Condition condition = conditionOf(filter);
    Statement select = db.prepare(QStringLiteral("SELECT count(*) FROM stdgrade") + condition.where());
    condition.bind(select);
    select.step();
    return select.integer(0);
}

Page read(Database& db, const Filter& filter, const Cursor& cursor, int limit)
{
    switch (cursor.from) {
    case Cursor::From::OlderThan:
        return byKey(db, filter, cursor.key, limit, true);
    case Cursor::From::NewerThan:
        return byKey(db, filter, cursor.key, limit, false);
    case Cursor::From::Position:
        break;
    }
    const Condition condition = conditionOf(filter);
    const int k = condition.next();
    Statement select = db.prepare(selectColumns() + condition.where() + QString::fromUtf8(kNewestFirst)
                                  + QStringLiteral(" LIMIT ?%1 OFFSET ?%2").arg(k).arg(k + 1));
    condition.bind(select);
    select.bind(k, qint64(limit)).bind(k + 1, qMax<qint64>(0, cursor.offset));
    return rowsOf(select, false);
}

QList<GradeRow> studentResults(Database& db, const QString& number)
{
    Filter filter;
    filter.number = number;
    const Condition condition = conditionOf(filter);
    Statement select = db.prepare(selectColumns() + condition.where() + QString::fromUtf8(kOldestFirst));
    condition.bind(select);
    return rowsOf(select, false).rows;
}

} // namespace HistoryPages
