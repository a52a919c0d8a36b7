#include "service/outbox.h"

#include "platform/clock.h"

#include <QFileInfo>
#include <QUuid>

namespace {

enum State { Waiting = 0, Acknowledged = 1, Refused = 2 };

QString now()
{
    return QStringLiteral("%1 %2").arg(Clock::today().toString(Qt::ISODate),
                                       Clock::timeOfDay().toString(QStringLiteral("HH:mm:ss")));
}

} // namespace

QStringList Outbox::tables()
{
    return {
        // id: the entry's own, made on this machine (a result's is the result's); the server
        // keeps it, so an entry sent twice is stored once. note: why the server refused the
        // entry; for a progress note still waiting, whose progress it is.
        QStringLiteral("CREATE TABLE IF NOT EXISTS store.outbox (id TEXT PRIMARY KEY, kind INTEGER NOT NULL,"
                       " made_day TEXT NOT NULL, body BLOB NOT NULL, state INTEGER NOT NULL DEFAULT 0, note TEXT,"
                       " grade_rowid INTEGER)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS store.outbox_by_state ON outbox (state)"),
        // The forwarding's last success and last problem, for the administrator.
        QStringLiteral("CREATE TABLE IF NOT EXISTS store.forwarding (key TEXT PRIMARY KEY, value TEXT NOT NULL)"),
    };
}

bool Outbox::joined() const
{
    return QFileInfo::exists(database_.places().serverFolder() + QStringLiteral("/server"));
}

void Outbox::addResult(const ServerResult& result, qint64 gradeRowid)
{
    database_.db()
        .prepare(QStringLiteral("INSERT INTO store.outbox (id, kind, made_day, body, grade_rowid)"
                                " VALUES (?1, ?2, ?3, ?4, ?5)"))
        .bind(1, result.id)
        .bind(2, int(OutboxEntry::Kind::Result))
        .bind(3, Clock::today().toString(Qt::ISODate))
        .bindBlob(4, result.encode())
        .bind(5, gradeRowid)
        .exec();
}

void Outbox::addClaim(OutboxEntry::Kind kind, const ServerClaim& claim)
{
    database_.db()
        .prepare(QStringLiteral("INSERT INTO store.outbox (id, kind, made_day, body) VALUES (?1, ?2, ?3, ?4)"))
        .bind(1, claim.id)
        .bind(2, int(kind))
        .bind(3, Clock::today().toString(Qt::ISODate))
        .bindBlob(4, claim.encode())
        .exec();
}

void Outbox::addProgress(const ProgressNote& note)
{
    Database& db = database_.db();
    Transaction transaction(db);
    // The waiting note of this student and batch, if any, is the only one of them: made below.
    db.prepare(QStringLiteral("DELETE FROM store.outbox WHERE kind = ?1 AND state = ?2 AND note = ?3"))
        .bind(1, int(OutboxEntry::Kind::Progress))
        .bind(2, int(Waiting))
        .bind(3, QStringLiteral("%1|%2").arg(note.batch.toLower(), note.xh.toLower()))
        .exec();
    db.prepare(QStringLiteral("INSERT INTO store.outbox (id, kind, made_day, body, note) VALUES (?1, ?2, ?3, ?4, ?5)"))
        .bind(1, QUuid::createUuid().toString(QUuid::WithoutBraces))
        .bind(2, int(OutboxEntry::Kind::Progress))
        .bind(3, Clock::today().toString(Qt::ISODate))
        .bindBlob(4, note.encode())
        .bind(5, QStringLiteral("%1|%2").arg(note.batch.toLower(), note.xh.toLower()))
        .exec();
    transaction.commit();
}

QList<OutboxEntry> Outbox::waiting(int limit, qint64 bytes)
{
    Statement select = database_.db().prepare(
        QStringLiteral("SELECT id, kind, body FROM store.outbox WHERE state = ?1 ORDER BY rowid LIMIT ?2"));
    select.bind(1, int(Waiting)).bind(2, qint64(qMax(1, limit)));
    QList<OutboxEntry> entries;
    qint64 taken = 0;
    while (taken < bytes && select.step()) {
        OutboxEntry entry{select.text(0), OutboxEntry::Kind(select.integer(1)), select.blob(2)};
        taken += entry.body.size();
        entries.append(std::move(entry));
    }
    return entries;
}

bool Outbox::hasWaiting()
{
    Statement select = database_.db().prepare(QStringLiteral("SELECT 1 FROM store.outbox WHERE state = ?1 LIMIT 1"));
    select.bind(1, int(Waiting));
    return select.step();
}

void Outbox::acknowledge(const QStringList& ids)
{
    Database& db = database_.db();
    Transaction transaction(db);
    Statement update = db.prepare(QStringLiteral("UPDATE store.outbox SET state = ?1 WHERE id = ?2 AND state = ?3"));
    for (const QString& id : ids) {
        update.bind(1, int(Acknowledged)).bind(2, id).bind(3, int(Waiting));
        update.exec();
        update.reset();
    }
    if (!ids.isEmpty())
        setState(QStringLiteral("last_success"), now());
    transaction.commit();
}

void Outbox::refuse(const QString& id, const QString& reason)
{
    database_.db()
        .prepare(QStringLiteral("UPDATE store.outbox SET state = ?1, note = ?2 WHERE id = ?3 AND state = ?4"))
        .bind(1, int(Refused))
        .bind(2, reason)
        .bind(3, id)
        .bind(4, int(Waiting))
        .exec();
}

void Outbox::noteProblem(const QString& problem)
{
    setState(QStringLiteral("last_error"), QStringLiteral("%1 %2").arg(now(), problem));
}

void Outbox::setState(const QString& key, const QString& value)
{
    database_.db()
        .prepare(QStringLiteral("INSERT OR REPLACE INTO store.forwarding (key, value) VALUES (?1, ?2)"))
        .bind(1, key)
        .bind(2, value)
        .exec();
}

Outbox::Status Outbox::statusOf(Database& db, const QString& schema)
{
    Status status;
    Statement counts =
        db.prepare(QStringLiteral("SELECT state, kind = ?1, count(*) FROM %1outbox GROUP BY state, kind = ?1").arg(schema));
    counts.bind(1, int(OutboxEntry::Kind::Result));
    while (counts.step()) {
        const bool result = counts.integer(1) != 0;
        if (counts.integer(0) == Waiting)
            (result ? status.waiting : status.notesWaiting) += counts.integer(2);
        else if (counts.integer(0) == Refused)
            status.refused += counts.integer(2);
    }
    Statement values = db.prepare(QStringLiteral("SELECT key, value FROM %1forwarding").arg(schema));
    while (values.step()) {
        if (values.text(0) == QLatin1String("last_success"))
            status.lastSuccess = values.text(1);
        else if (values.text(0) == QLatin1String("last_error"))
            status.lastError = values.text(1);
    }
    return status;
}

void Outbox::tidy()
{
    database_.db()
        .prepare(QStringLiteral("DELETE FROM store.outbox WHERE state = ?1 AND made_day <= ?2"))
        .bind(1, int(Acknowledged))
        .bind(2, Clock::today().addDays(-15).toString(Qt::ISODate))
        .exec();
}
