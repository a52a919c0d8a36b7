#pragma once
// Who is logged in. A login opens a session, kept in the store's own table so that a restart
// loses none; it belongs to the account that opened it, and ends when its program ends, when
// the program says so, or after an hour without a call.

#include "login/login_mode.h"
#include "service/store_database.h"

#include <QString>
#include <QStringList>
#include <optional>

// Who makes a call: the account, and the program's name on the bus (empty on a private
// connection, whose one program is the service's own parent).
struct StoreCaller {
    quint32 uid = 0;
    QString busName;
};

// A session and the taker its results belong to.
struct Session {
    QString token;
    LoginMode mode = LoginMode::None;
    QString number;
    QString name;
    QString batch;
};

class Sessions {
public:
    // An hour without a call ends a session.
    static constexpr qint64 kIdleMilliseconds = 3'600'000;
    static QStringList tables();
    // What a call with no live session is told.
    static QString expired() { return QStringLiteral("登录已经失效，请重新登录。"); }

    explicit Sessions(StoreDatabase& database) : database_(database) {}

    // Each throws DbError.
    QString open(const StoreCaller& caller, LoginMode mode, const QString& number, const QString& name,
                 const QString& batch);
    // The caller's own live session of this token; a call through it keeps it alive.
    std::optional<Session> find(const StoreCaller& caller, const QString& token);
    void end(const StoreCaller& caller, const QString& token);
    // The program with this name on the bus has ended.
    void endAllOf(const QString& busName);
    // Bus names that own sessions, for watching them after a restart.
    QStringList owners();
    // Sessions idle for an hour, or from before the machine restarted, go.
    void tidy();

private:
    StoreDatabase& database_;
};
