#pragma once
// The schema's numbered migrations: server/migrations/NNNN_what.sql, installed in
// /usr/share/typelab-server/migrations. typelab.migration records which ran; each runs in one
// transaction as typelab_owner, which so owns all it makes.

#include "platform/postgres.h"

#include <QList>
#include <QString>

struct Migration {
    int version = 0;
    QString file;
    QByteArray sql;
};

namespace Migrations {

// The migrations of a folder in version order; throws std::runtime_error when it cannot be
// read or two files claim one version.
QList<Migration> read(const QString& folder);

// Makes the schema typelab and typelab.migration where missing, then applies, in order, each
// migration not recorded yet. Gives the versions applied now. Throws Pg::Error.
QList<int> apply(Pg::Connection& database, const QList<Migration>& migrations);

} // namespace Migrations
