#include "grades/history_pages.h"

#include <algorithm>

namespace HistoryPages {

namespace {

const char kColumns[] = "SELECT xh, xm, lrxm, lrcj, lrsd, lrzql, lrdate, lrtime, lrpc, rowid FROM stdgrade";
const char kNewestFirst[] = " ORDER BY lrdate DESC, lrtime DESC, rowid DESC";
const char kOldestFirst[] = " ORDER BY lrdate ASC, lrtime ASC, rowid ASC";

Page read(Statement& select, bool reversed)
{
    Page page;
    Key first, last;
    while (select.step()) {
        GradeRow row = GradeStore::readRow(select);
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

Page byKey(Database& db, const Key& key, int limit, bool older)
{
    if (!key.valid)
        return Page();
    // Row values compare date, time and rowid in one step, which the date index can range over.
    const QString sql = QString::fromUtf8(kColumns)
        + (older ? QStringLiteral(" WHERE (lrdate, lrtime, rowid) < (?1, ?2, ?3)")
                 : QStringLiteral(" WHERE (lrdate, lrtime, rowid) > (?1, ?2, ?3)"))
        + QString::fromUtf8(older ? kNewestFirst : kOldestFirst) + QStringLiteral(" LIMIT ?4");
    Statement select = db.prepare(sql);
    select.bind(1, key.lrdate).bind(2, key.lrtime).bind(3, key.rowid).bind(4, qint64(limit));
    return read(select, !older);
}

} // namespace

Page at(Database& db, qint64 offset, int limit)
{
    Statement select = db.prepare(QString::fromUtf8(kColumns) + QString::fromUtf8(kNewestFirst)
                                  + QStringLiteral(" LIMIT ?1 OFFSET ?2"));
    select.bind(1, qint64(limit)).bind(2, offset);
    return read(select, false);
}

Page olderThan(Database& db, const Key& key, int limit)
{
    return byKey(db, key, limit, true);
}

Page newerThan(Database& db, const Key& key, int limit)
{
    return byKey(db, key, limit, false);
}

} // namespace HistoryPages
