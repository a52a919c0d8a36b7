#pragma once
// The history's pages, read through the grade store (GradeStore::historyPageAt and the two
// beside it): results newest first (by date, then time, then the order they were
// stored), read either by position or by key next to a page already read. A page read by key
// visits only the index entries next to that key, however deep it lies in a long history;
// reading by position has to step over every result before the page.

#include "grades/grade_store.h"
#include "grades/history_filter.h"

#include <QList>
#include <QString>
#include <memory>

namespace HistoryPages {

// One result's place in the order.
struct Key {
    QString lrdate;
    QString lrtime;
    qint64 rowid = 0;
    bool valid = false; // false when the result lacks a date or time: such a page is read by position
};

struct Page {
    QList<GradeRow> rows;
    Key first;
    Key last;
};

// Where the history view reads its pages from: in the program, the store service. Each
// throws ReadFailure when the pages cannot be read.
class Source {
public:
    virtual ~Source() = default;
    virtual qint64 count() = 0;
    virtual Page at(qint64 offset, int limit) = 0;
    virtual Page olderThan(const Key& key, int limit) = 0;
    virtual Page newerThan(const Key& key, int limit) = 0;
    // A source of the results `filter` lets through, read from the same place, in the same
    // order and by the same keys.
    virtual std::unique_ptr<Source> filtered(const Filter& filter) const = 0;
    // One student's results, oldest first (the progress chart); the number matches as a
    // filter's does.
    virtual QList<GradeRow> studentResults(const QString& number) = 0;
};

// What went wrong, in Chinese, for a message to the user.
struct ReadFailure {
    QString message;
};

Page at(Database& db, qint64 offset, int limit);
// The results that follow `key` (older ones), and the ones that precede it (newer ones), each
// page newest first.
Page olderThan(Database& db, const Key& key, int limit);
Page newerThan(Database& db, const Key& key, int limit);

// The same, for the results a filter lets through (checked beforehand), and how many they are.
qint64 count(Database& db, const Filter& filter);
Page at(Database& db, const Filter& filter, qint64 offset, int limit);
Page olderThan(Database& db, const Filter& filter, const Key& key, int limit);
Page newerThan(Database& db, const Filter& filter, const Key& key, int limit);
QList<GradeRow> studentResults(Database& db, const QString& number);

} // namespace HistoryPages
