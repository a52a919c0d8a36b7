#include "service/sessions.h"

#include "platform/clock.h"

#include <QRandomGenerator>

QStringList Sessions::tables()
{
    return {QStringLiteral("CREATE TABLE IF NOT EXISTS store.session (token TEXT PRIMARY KEY, uid INTEGER NOT NULL,"
                           " owner TEXT NOT NULL, mode INTEGER NOT NULL, xh TEXT NOT NULL, xm TEXT NOT NULL,"
                           " lrpc TEXT NOT NULL, last_call INTEGER NOT NULL)")};
}

QString Sessions::open(const StoreCaller& caller, LoginMode mode, const QString& number, const QString& name,
                       const QString& batch)
{
    quint32 random[4];
    QRandomGenerator::system()->fillRange(random);
    const QString token = QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(random), sizeof random).toHex());
    database_.db()
        .prepare(QStringLiteral("INSERT INTO store.session (token, uid, owner, mode, xh, xm, lrpc, last_call)"
                                " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)"))
        .bind(1, token)
        .bind(2, qint64(caller.uid))
        .bind(3, caller.busName)
        .bind(4, int(mode))
        .bind(5, number)
        .bind(6, name)
        .bind(7, batch)
        .bind(8, Clock::steadyMilliseconds())
        .exec();
    return token;
}

std::optional<Session> Sessions::find(const StoreCaller& caller, const QString& token)
{
    Database& db = database_.db();
    const qint64 now = Clock::steadyMilliseconds();
    Statement select = db.prepare(
        QStringLiteral("SELECT mode, xh, xm, lrpc, last_call FROM store.session WHERE token = ?1 AND uid = ?2"));
    select.bind(1, token).bind(2, qint64(caller.uid));
    if (!select.step())
        return std::nullopt;
    const qint64 lastCall = select.integer(4);
    // After a restart of the machine the steady clock starts again below every stored call.
    if (lastCall > now || now - lastCall > kIdleMilliseconds) {
        db.prepare(QStringLiteral("DELETE FROM store.session WHERE token = ?1")).bind(1, token).exec();
        return std::nullopt;
    }
    Session session{token, LoginMode(select.integer(0)), select.text(1), select.text(2), select.text(3)};
    select.reset();
    db.prepare(QStringLiteral("UPDATE store.session SET last_call = ?1 WHERE token = ?2")).bind(1, now).bind(2, token).exec();
    return session;
}

void Sessions::end(const StoreCaller& caller, const QString& token)
{
    database_.db()
        .prepare(QStringLiteral("DELETE FROM store.session WHERE token = ?1 AND uid = ?2"))
        .bind(1, token)
        .bind(2, qint64(caller.uid))
        .exec();
}

void Sessions::endAllOf(const QString& busName)
{
    if (busName.isEmpty())
        return;
    database_.db().prepare(QStringLiteral("DELETE FROM store.session WHERE owner = ?1")).bind(1, busName).exec();
}

QStringList Sessions::owners()
{
    QStringList owners;
    Statement select =
        database_.db().prepare(QStringLiteral("SELECT DISTINCT owner FROM store.session WHERE owner <> ''"));
    while (select.step())
        owners << select.text(0);
    return owners;
}

void Sessions::tidy()
{
    const qint64 now = Clock::steadyMilliseconds();
    database_.db()
        .prepare(QStringLiteral("DELETE FROM store.session WHERE last_call > ?1 OR last_call < ?2"))
        .bind(1, now)
        .bind(2, now - kIdleMilliseconds)
        .exec();
}
