#pragma once
// The store's one connection: the grade database with the service's own tables (sessions, open
// exercises, the logs of stored results) attached as "store", in a plain file beside it, so that
// a result, its log and its exercise's state change in one transaction. It is opened when first
// needed, and opened afresh after a failure or when the file was moved or replaced meanwhile:
// never written behind the back of whoever replaced it.

#include "grades/grade_store.h"
#include "service/store_places.h"

#include <QStringList>

#include <functional>
#include <optional>

class StoreDatabase {
public:
    // storeTables: the statements that make the service's own tables where they are missing,
    // each part of the service giving its own.
    StoreDatabase(StorePlaces places, QStringList storeTables)
        : places_(std::move(places)), storeTables_(std::move(storeTables))
    {}

    const StorePlaces& places() const { return places_; }
    // Both throw DbError when the database cannot be opened.
    GradeStore& grades();
    Database& db() { return grades().db_; }
    // After a failure: the next unit of work opens the files afresh.
    void reset() { grades_.reset(); }

    // Called after every change to the results or test logins (the share's copy follows).
    void setChangeHandler(std::function<void()> handler) { changed_ = std::move(handler); }
    void changed()
    {
        if (changed_)
            changed_();
    }

private:
    StorePlaces places_;
    const QStringList storeTables_;
    std::optional<GradeStore> grades_;
    // The file the open connection reads.
    quint64 gradeDevice_ = 0;
    quint64 gradeInode_ = 0;
    std::function<void()> changed_;
};

// The one way a unit of work's failure on the database becomes an answer: the database's
// problem in Chinese, naming the file, and the connection opened afresh for the next call.
template <typename Reply, typename Work> Reply guarded(StoreDatabase& database, Work work)
{
    try {
        return work();
    } catch (const DbError& error) {
        database.reset();
        return storeAnswer<Reply>(StoreStatus::DatabaseError, error.describe());
    }
}
