#pragma once
// What waits to go to the school server. On a machine that has joined one, every result stored
// goes into the outbox in the same transaction as its stdgrade row and its log, and stays there
// until the server has acknowledged it: the purge and the clearing of the history leave an
// unsent entry alone, and nothing is ever dropped to make room. A machine that has not joined
// writes nothing here. The forwarder takes the entries through the store and tells it what the
// server said.

#include "school/server_notes.h"
#include "school/server_result.h"
#include "service/store_database.h"

struct OutboxEntry;

class Outbox {
public:
    // What the administrator is told of the forwarding.
    struct Status {
        qint64 waiting = 0;      // results not yet acknowledged by the server
        qint64 notesWaiting = 0; // claims, allowances and progress notes not yet acknowledged
        qint64 refused = 0;      // refused by the server, kept for the administrator
        QString lastSuccess; // when the server last acknowledged an entry, or empty
        QString lastError;   // the last problem met, with its time, or empty
    };

    static QStringList tables();
    explicit Outbox(StoreDatabase& database) : database_(database) {}

    // Whether the machine has joined a school server (its bundle is in place).
    bool joined() const;

    // Throws DbError. Inside the transaction that stores the result's row.
    void addResult(const ServerResult& result, qint64 gradeRowid);
    // Throws DbError. A claim made while the server was away, or a second attempt the
    // supervisor allowed (kind Claim or Allowance).
    void addClaim(OutboxEntry::Kind kind, const ServerClaim& claim);
    // Throws DbError. The latest progress of a student's test exercise: one not yet sent for
    // the same batch and student is replaced, since only the latest counts.
    void addProgress(const ProgressNote& note);
    // After the transaction that added an entry: whoever waits for entries hears of it.
    void setAddedHandler(std::function<void()> handler) { added_ = std::move(handler); }
    void added()
    {
        if (added_)
            added_();
    }
    // The oldest waiting entries, at most `limit` of them and not many more bytes than `bytes`.
    QList<OutboxEntry> waiting(int limit, qint64 bytes);
    bool hasWaiting();
    // The server's COMMIT has answered for these: they are sent.
    void acknowledge(const QStringList& ids);
    // The server refused this one for good (another body under its id, values out of bounds):
    // it stays, marked, for the administrator, and no longer holds up the others.
    void refuse(const QString& id, const QString& reason);
    void noteProblem(const QString& problem);
    Status status() { return statusOf(database_.db(), QStringLiteral("store.")); }
    // The same read from a connection that holds the store's tables under `schema` ("store."
    // when attached, "" when the store's file is the connection's own).
    static Status statusOf(Database& db, const QString& schema);
    // Acknowledged entries 15 or more days old go; waiting and refused ones stay.
    void tidy();

private:
    void setState(const QString& key, const QString& value);

    StoreDatabase& database_;
    std::function<void()> added_;
};
