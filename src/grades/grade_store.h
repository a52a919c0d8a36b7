#pragma once
// Every statement on the grade database stugrade.mdb: an SQLCipher file keyed with the
// database password, holding the results (stdgrade), the first test logins per batch (recxh)
// and the supervisor's credentials (system).

#include "platform/database.h"
#include "store/store_types.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QTime>
#include <optional>

struct SystemRow {
    QString username;
    QString usermm;
    QString xsmm;
};

class GradeStore {
public:
    static const QByteArray databasePassword; // "857"

    // The grade database of an Application folder, or a file given by path. Throws DbError
    // when it is missing, keyed otherwise or lacks a table.
    static GradeStore open(const QString& appFolder);
    static GradeStore openFile(const QString& path);
    // A grade database from another machine, opened read-only with the hardened checks.
    static GradeStore openUntrusted(const QString& path, const QByteArray& key = databasePassword);
    // A new grade database with its one system row; refuses to overwrite an existing file.
    static void create(const QString& path, const SystemRow& credentials);
    // The same tables with no system row, for a copy that must carry no credentials; the
    // connection stays open for filling it.
    static Database createWithoutCredentials(const QString& path);
    // The tables and columns a grade database holds, for the hardened open.
    static QList<ExpectedTable> expectedSchema();

    struct PurgeCounts {
        qint64 results = 0;
        qint64 testLogins = 0;
    };
    // Deletes results and test logins dated 15 or more days before today, in one transaction.
    PurgeCounts purgeOld(const QDate& today);

    void addResult(const GradeRow& row);
    qint64 resultCount();
    // Results newest first (by date, then time), a page at a time.
    QList<GradeRow> resultsNewestFirst(qint64 offset, int limit);
    // The results of one batch, in stored order (batch compared without regard to ASCII case).
    QList<GradeRow> batchResults(const QString& batch);
    // Every result, in stored order.
    QList<GradeRow> allResults();

    bool hasTestLogin(const QString& studentNumber, const QString& batch);
    void addTestLogin(const QString& studentNumber, const QString& batch, const QDate& date);
    // A test login claims its batch: the first one of a student in a batch is recorded (in one
    // transaction with the look-up, so two machines cannot both be first); a later one finds
    // it recorded and needs the second-login password.
    enum class TestLoginClaim { FirstLogin, AlreadyRecorded };
    TestLoginClaim claimTestLogin(const QString& studentNumber, const QString& batch, const QDate& date);

    bool secondLoginPasswordMatches(const QString& password);
    bool systemLoginMatches(const QString& userName, const QString& password);
    std::optional<SystemRow> systemRow();
    // Replaces one password of the first system row; false when the table has no row.
    bool setPassword(PasswordColumn column, const QString& password);

    // Empties stdgrade and recxh; the system row stays.
    void clearHistory();

    // The history a page at a time, newest first, narrowed by a filter checked beforehand (an
    // empty one lets every result through); see history_pages.h.
    qint64 resultCount(const HistoryPages::Filter& filter);
    HistoryPages::Page historyPage(const HistoryPages::Filter& filter, const HistoryPages::Cursor& cursor, int limit);
    // One student's results, oldest first.
    QList<GradeRow> studentResults(const QString& number);
    // The indexes the filters and a student's results are read by, made where missing (a file
    // from an older program or another client). Plain indexes on the tables' own columns, which
    // the hardened reader of files from other machines accepts.
    void addLookupIndexes();

private:
    // Tests and benchmarks reach the file beneath (to lock it, to fill it in one transaction).
    friend struct GradeStoreInspector;
    // The store service keeps its own tables beside these, on the same connection.
    friend class StoreDatabase;
    explicit GradeStore(Database db, bool fromElsewhere = false) : db_(std::move(db)), fromElsewhere_(fromElsewhere) {}
    // The results' SELECT of this file: one from elsewhere is read along its table, never
    // through an index it brought (the engine's checks do not compare an index with its table).
    QString selectResults() const;
    Database db_;
    bool fromElsewhere_ = false;
};

// opendb: the grade database of an Application folder, for one unit of work. Throws DbError.
GradeStore opendb(const QString& appFolder);
