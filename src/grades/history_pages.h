#pragma once
// The history's pages on the grade database: results newest first (by date, then time, then
// the order they were stored), narrowed by a filter checked beforehand, read either by position
// or by key next to a page already read. A page read by key visits only the index entries next
// to that key, however deep it lies in a long history; reading by position has to step over
// every result before the page.

#include "platform/database.h"
#include "store/store_types.h"

namespace HistoryPages {

// How many results the filter lets through (an empty filter: all of them).
qint64 count(Database& db, const Filter& filter);
// The page the cursor points at: from a position, or the results that follow a key (older
// ones) or precede it (newer ones), each page newest first.
Page read(Database& db, const Filter& filter, const Cursor& cursor, int limit);
// One student's results, oldest first; the number matches as a filter's does.
QList<GradeRow> studentResults(Database& db, const QString& number);

} // namespace HistoryPages
