#include "server/migrations.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <stdexcept>

namespace Migrations {

QList<Migration> read(const QString& folder)
{
    const QDir dir(folder);
    if (!dir.exists())
        throw std::runtime_error("no migrations folder " + folder.toStdString());
    static const QRegularExpression name(QStringLiteral("^(\\d{4})_[A-Za-z0-9_-]+\\.sql$"));
    QList<Migration> migrations;
    for (const QString& file : dir.entryList(QDir::Files, QDir::Name)) {
        const QRegularExpressionMatch match = name.match(file);
        if (!match.hasMatch())
            continue;
        QFile in(dir.filePath(file));
        if (!in.open(QIODevice::ReadOnly))
            throw std::runtime_error("cannot read " + in.fileName().toStdString());
        migrations.append({match.captured(1).toInt(), file, in.readAll()});
    }
    std::sort(migrations.begin(), migrations.end(),
              [](const Migration& a, const Migration& b) { return a.version < b.version; });
    for (qsizetype i = 1; i < migrations.size(); ++i) {
        if (migrations[i].version == migrations[i - 1].version)
            throw std::runtime_error(QStringLiteral("%1 and %2 claim the same version")
                                         .arg(migrations[i - 1].file, migrations[i].file)
                                         .toStdString());
    }
    if (migrations.isEmpty())
        throw std::runtime_error("no migration in " + folder.toStdString());
    return migrations;
}

QList<int> apply(Pg::Connection& database, const QList<Migration>& migrations)
{
    database.execScript(QStringLiteral(
        "BEGIN;"
        "SET LOCAL ROLE typelab_owner;"
        "CREATE SCHEMA IF NOT EXISTS typelab;"
        "CREATE TABLE IF NOT EXISTS typelab.migration (version int PRIMARY KEY, applied_at timestamptz);"
        "COMMIT;"));
    QList<int> applied;
    for (const Migration& migration : migrations) {
        database.exec(QStringLiteral("BEGIN"));
        try {
            database.exec(QStringLiteral("SET LOCAL ROLE typelab_owner"));
            // Two setups at once: the second waits here, then finds the version recorded.
            database.exec(QStringLiteral("LOCK TABLE typelab.migration IN EXCLUSIVE MODE"));
            const Pg::Result done = database.exec(QStringLiteral("SELECT 1 FROM typelab.migration WHERE version = $1"),
                                                  {QString::number(migration.version)});
            if (done.rows() == 0) {
                database.execScript(QString::fromUtf8(migration.sql));
                database.exec(QStringLiteral("INSERT INTO typelab.migration (version, applied_at) VALUES ($1, now())"),
                              {QString::number(migration.version)});
                applied << migration.version;
            }
            database.exec(QStringLiteral("COMMIT"));
        } catch (const Pg::Error& error) {
            try {
                database.exec(QStringLiteral("ROLLBACK"));
            } catch (const Pg::Error&) {
            }
            throw Pg::Error(error.kind(), QStringLiteral("migration %1: %2").arg(migration.file, error.message()),
                            error.sqlState());
        }
    }
    return applied;
}

} // namespace Migrations
