#pragma once
// The supervisor's maintenance, for a system session only: reading and changing the two
// passwords, clearing the history, and replacing an exercise or the help text (the service
// writes the texts; no student account can).

#include "service/sessions.h"

class Exercises;

class Maintenance {
public:
    Maintenance(StoreDatabase& database, Sessions& sessions, Exercises& exercises)
        : database_(database), sessions_(sessions), exercises_(exercises)
    {}

    PasswordReply password(const StoreCaller& caller, const QString& session, PasswordColumn column);
    StoreReply setPassword(const StoreCaller& caller, const QString& session, PasswordColumn column,
                           const QString& password);
    StoreReply clearHistory(const StoreCaller& caller, const QString& session);
    // name: yw/ydzcsN.dat, zw/cdzcsN.dat or data/help.dat.
    StoreReply replaceText(const StoreCaller& caller, const QString& session, const QString& name,
                           const QByteArray& text);

private:
    // Nothing when the caller's session is a system login; otherwise the refusal. Throws DbError.
    std::optional<StoreReply> needSystemSession(const StoreCaller& caller, const QString& session);

    StoreDatabase& database_;
    Sessions& sessions_;
    Exercises& exercises_;
};
