#include "server/cluster_control.h"

#include "server/server_files.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QRegularExpression>
#include <QThread>

#include <stdexcept>

namespace ClusterControl {

namespace {

// The errors the cluster finds in its files. Before the reload that turns TLS on, hostssl lines
// are reported as unmatchable; the reload turns it on before it reads pg_hba.conf.
void checkFiles(Pg::Connection& postgres, bool sslComing)
{
    const Pg::Result hba = postgres.exec(
        QStringLiteral("SELECT 'pg_hba.conf:' || line_number || ': ' || error FROM pg_hba_file_rules "
                       "WHERE error IS NOT NULL AND NOT ($1 AND error LIKE '%because SSL is disabled')"),
        {sslComing ? "t" : "f"});
    const Pg::Result settings = postgres.exec(QStringLiteral(
        "SELECT sourcefile || ':' || sourceline || ': ' || error FROM pg_file_settings WHERE error IS NOT NULL "
        // A setting that waits for a restart says so here; pending_restart covers it.
        "AND error <> 'setting could not be applied'"));
    const Pg::Result ident = postgres.exec(QStringLiteral(
        "SELECT 'pg_ident.conf:' || line_number || ': ' || error FROM pg_ident_file_mappings WHERE error IS NOT NULL"));
    QStringList errors;
    for (const Pg::Result* result : {&hba, &ident, &settings}) {
        for (int row = 0; row < result->rows(); ++row)
            errors << result->text(row, 0);
    }
    if (!errors.isEmpty())
        throw std::runtime_error("PostgreSQL finds errors in its configuration:\n  " +
                                 errors.join(QStringLiteral("\n  ")).toStdString());
}

} // namespace

void reload(const OwnerSession& session)
{
    session.run([](const OwnerSession& s) {
        Pg::Connection postgres = s.connect(QStringLiteral("postgres"));
        checkFiles(postgres, true);
        const QString before = postgres.exec(QStringLiteral("SELECT pg_conf_load_time()::text")).text(0, 0);
        postgres.exec(QStringLiteral("SELECT pg_reload_conf()"));
        // The postmaster reloads when it gets to the signal; a backend it starts afterwards
        // carries the new load time.
        QDeadlineTimer deadline(30'000);
        for (int wait = 1;; wait = qMin(wait * 2, 100)) {
            Pg::Connection fresh = s.connect(QStringLiteral("postgres"));
            const Pg::Result seen = fresh.exec(QStringLiteral("SELECT pg_conf_load_time() > $1::timestamptz"), {before});
            if (seen.text(0, 0) == QLatin1String("t")) {
                checkFiles(fresh, false);
                return QJsonObject{};
            }
            if (deadline.hasExpired())
                throw std::runtime_error("PostgreSQL did not reload its configuration within 30 s; see its log");
            QThread::msleep(wait);
        }
    });
}

QStringList pendingRestart(const OwnerSession& session)
{
    const QJsonObject found = session.run([](const OwnerSession& s) {
        Pg::Connection postgres = s.connect(QStringLiteral("postgres"));
        const Pg::Result pending = postgres.exec(QStringLiteral("SELECT name FROM pg_settings WHERE pending_restart"));
        QJsonArray names;
        for (int row = 0; row < pending.rows(); ++row)
            names.append(pending.text(row, 0));
        return QJsonObject{{QStringLiteral("pending"), names}};
    });
    QStringList names;
    for (const auto name : found[QStringLiteral("pending")].toArray())
        names << name.toString();
    return names;
}

void restart(const OwnerSession& session, const QString& configFile, const QString& dataDirectory, int version)
{
    static const QRegularExpression debian(QStringLiteral("^/etc/postgresql/([^/]+)/([^/]+)/postgresql\\.conf$"));
    const QRegularExpressionMatch cluster = debian.match(configFile);
    if (cluster.hasMatch()) {
        ServerFiles::runProgram(QStringLiteral("pg_ctlcluster"),
                                {cluster.captured(1), cluster.captured(2), QStringLiteral("restart")});
    } else {
        const QString pgCtl = QStringLiteral("/usr/lib/postgresql/%1/bin/pg_ctl").arg(version / 10000);
        session.run([&](const OwnerSession&) {
            // The postmaster's output goes to a file, not to this tool's pipe, which it would hold open.
            ServerFiles::runProgram(pgCtl, {QStringLiteral("-D"), dataDirectory, QStringLiteral("-l"),
                                            dataDirectory + QStringLiteral("/typelab-restart.log"), QStringLiteral("-w"),
                                            QStringLiteral("-m"), QStringLiteral("fast"), QStringLiteral("restart")});
            return QJsonObject{};
        });
    }
    session.run([](const OwnerSession& s) {
        s.connect(QStringLiteral("postgres")).exec(QStringLiteral("SELECT 1"));
        return QJsonObject{};
    });
}

} // namespace ClusterControl
