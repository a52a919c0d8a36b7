#include "server/server_setup.h"

#include "server/certificate_authority.h"
#include "server/cluster_control.h"
#include "server/hba_block.h"
#include "server/migrations.h"
#include "server/owner_session.h"
#include "server/server_files.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QProcess>

#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace ServerSetup {

namespace {

QJsonArray versions(const QList<int>& list)
{
    QJsonArray array;
    for (int version : list)
        array.append(version);
    return array;
}

// Roles, database and schema; gives where the cluster keeps its configuration.
QJsonObject prepareDatabase(const OwnerSession& session, const QList<Migration>& migrations)
{
    Pg::Connection postgres = session.connect(QStringLiteral("postgres"));
    const Pg::Result self = postgres.exec(QStringLiteral(
        "SELECT rolsuper, current_setting('server_version_num')::int FROM pg_roles WHERE rolname = current_user"));
    if (self.rows() != 1 || self.text(0, 0) != QLatin1String("t"))
        throw std::runtime_error(session.config().owner.toStdString() +
                                 " is not the cluster's superuser: --owner must name the user the cluster runs as");
    if (self.text(0, 1).toInt() < 150000)
        throw std::runtime_error("PostgreSQL " + self.text(0, 1).toStdString() + " is too old: typelab needs 15");
    QJsonObject facts;
    for (const char* name : {"config_file", "hba_file", "ident_file", "data_directory"})
        facts[QString::fromLatin1(name)] = postgres.exec(QStringLiteral("SHOW %1").arg(QString::fromLatin1(name))).text(0, 0);
    facts[QStringLiteral("version")] = self.text(0, 1).toInt();

    QJsonArray made;
    for (const char* role : kGroupRoles) {
        const QString name = QString::fromLatin1(role);
        if (postgres.exec(QStringLiteral("SELECT 1 FROM pg_roles WHERE rolname = $1"), {name}).rows() == 0) {
            postgres.exec(QStringLiteral("CREATE ROLE %1 NOLOGIN").arg(name));
            made.append(name);
        }
    }
    // The verifier logs in as its group role itself, over the local socket only (pg_hba.conf).
    if (postgres.exec(QStringLiteral("SELECT 1 FROM pg_roles WHERE rolname = 'typelab_verify' AND NOT rolcanlogin"))
            .rows() == 1) {
        postgres.exec(QStringLiteral("ALTER ROLE typelab_verify LOGIN"));
        made.append(QStringLiteral("login for typelab_verify"));
    }
    const Pg::Result database = postgres.exec(QStringLiteral(
        "SELECT pg_get_userbyid(datdba) FROM pg_database WHERE datname = 'typelab'"));
    if (database.rows() == 0) {
        postgres.exec(QStringLiteral("CREATE DATABASE typelab OWNER typelab_owner ENCODING 'UTF8' LOCALE 'C.UTF-8' "
                                     "TEMPLATE template0"));
        made.append(QStringLiteral("database typelab"));
    } else if (database.text(0, 0) != QLatin1String("typelab_owner")) {
        postgres.exec(QStringLiteral("ALTER DATABASE typelab OWNER TO typelab_owner"));
    }
    facts[QStringLiteral("made")] = made;

    Pg::Connection typelab = session.connect(QStringLiteral("typelab"));
    facts[QStringLiteral("applied")] = versions(Migrations::apply(typelab, migrations));
    return facts;
}

// The server's settings that typelab needs, as postgresql.auto.conf should hold them.
QList<QPair<QString, QString>> wantedSettings(const ServerConfig& config)
{
    QList<QPair<QString, QString>> settings{
        {QStringLiteral("ssl"), QStringLiteral("on")},
        {QStringLiteral("ssl_cert_file"), config.file(QStringLiteral("server/server.crt"))},
        {QStringLiteral("ssl_key_file"), config.file(QStringLiteral("server/server.key"))},
        {QStringLiteral("ssl_ca_file"), config.file(QStringLiteral("server/ca.crt"))},
        {QStringLiteral("ssl_crl_file"), config.file(QStringLiteral("server/crl.pem"))},
        {QStringLiteral("password_encryption"), QStringLiteral("scram-sha-256")},
    };
    if (!config.listen.isEmpty())
        settings.append({QStringLiteral("listen_addresses"), config.listen});
    return settings;
}

QJsonObject applySettings(const OwnerSession& session, const QList<QPair<QString, QString>>& settings)
{
    Pg::Connection postgres = session.connect(QStringLiteral("postgres"));
    QJsonArray changed;
    for (const auto& [name, value] : settings) {
        const Pg::Result current = postgres.exec(
            QStringLiteral("SELECT setting FROM pg_file_settings WHERE name = $1 AND sourcefile LIKE "
                           "'%/postgresql.auto.conf' ORDER BY seqno DESC LIMIT 1"),
            {name});
        if (current.rows() == 1 && current.text(0, 0) == value)
            continue;
        postgres.exec(QStringLiteral("ALTER SYSTEM SET %1 = %2").arg(name, postgres.escapeLiteral(value)));
        changed.append(name);
    }
    return {{QStringLiteral("changed"), changed}};
}

// The server's key for the cluster's user alone; its certificate, the CA's and the CRL for all.
bool placeServerFiles(const ServerConfig& config, const OwnerSession& session, const CertificateAuthority& ca)
{
    const QString folder = config.file(QStringLiteral("server"));
    ServerFiles::makeFolder(folder, 0755);
    const QString certificate = config.file(QStringLiteral("server/server.crt"));
    const QString key = config.file(QStringLiteral("server/server.key"));
    const ServerFiles::Owner owner = session.asRoot() ? session.clusterOwner() : ServerFiles::Owner{};
    bool changed = false;
    QStringList wanted;
    for (const QString& host : config.hosts)
        wanted << CertificateAuthority::subjectAltNameOf(host);
    wanted.sort();
    const QByteArray caCertificate = ServerFiles::read(ca.certificatePath());
    const bool current = QFile::exists(certificate) && QFile::exists(key) &&
                         QFile::exists(config.file(QStringLiteral("server/ca.crt"))) &&
                         ServerFiles::read(config.file(QStringLiteral("server/ca.crt"))) == caCertificate &&
                         CertificateAuthority::subjectAltNames(certificate) == wanted;
    if (!current) {
        const CertificateAuthority::Issued issued = ca.issueServer(config.hosts, 1825);
        changed |= ServerFiles::writeIfChanged(key, issued.key, 0600, owner);
        changed |= ServerFiles::writeIfChanged(certificate, issued.certificate, 0644);
    }
    changed |= ServerFiles::writeIfChanged(config.file(QStringLiteral("server/ca.crt")), caCertificate, 0644);
    changed |= ServerFiles::writeIfChanged(config.file(QStringLiteral("server/crl.pem")),
                                           ServerFiles::read(ca.crlPath()), 0644);
    return changed;
}

// pg_hba.conf or pg_ident.conf with typelab's block on top, keeping the file's owner and mode;
// gives the old text when it changed (to put back if the cluster finds fault with the new one).
std::optional<QByteArray> placeBlock(const QString& path, const QString& block)
{
    const QByteArray old = ServerFiles::read(path);
    const QByteArray merged = HbaBlock::merge(QString::fromUtf8(old), block).toUtf8();
    if (merged == old)
        return std::nullopt;
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    ServerFiles::writeIfChanged(path, merged, info.st_mode & 07777, {info.st_uid, info.st_gid});
    return old;
}

// Where systemd runs the package's verifier for the package's state folder, the verifier
// starts once there is a server to check results on (its unit waits for server.conf).
void startVerifier(const ServerConfig& config, QTextStream& out)
{
    const QString unit = QStringLiteral("typelab-verify.service");
    if (config.stateDir != QLatin1String(ServerConfig::kDefaultStateDir) || ::geteuid() != 0 ||
        !QFileInfo::exists(QStringLiteral("/run/systemd/system")) ||
        !QFileInfo::exists(QStringLiteral("/lib/systemd/system/") + unit))
        return;
    QProcess active;
    active.start(QStringLiteral("systemctl"), {QStringLiteral("is-active"), QStringLiteral("--quiet"), unit});
    if (active.waitForFinished(30'000) && active.exitStatus() == QProcess::NormalExit && active.exitCode() == 0)
        return;
    try {
        ServerFiles::runProgram(QStringLiteral("systemctl"), {QStringLiteral("start"), unit});
        out << "started " << unit << "\n";
    } catch (const std::exception& error) {
        out << "could not start " << unit << " (" << error.what() << "); see journalctl -u typelab-verify\n";
    }
}

} // namespace

void setup(ServerConfig config, QTextStream& out)
{
    if (config.hosts.isEmpty())
        config.hosts << fullyQualifiedHostName();
    const OwnerSession session(config);
    ServerFiles::makeFolder(config.stateDir, 0755);
    ServerFiles::Lock lock(config.file(QStringLiteral("lock")));
    const QList<Migration> migrations = Migrations::read(config.migrationsDir);

    const QJsonObject facts = session.run([&](const OwnerSession& s) { return prepareDatabase(s, migrations); });
    for (const auto made : facts[QStringLiteral("made")].toArray())
        out << "made " << made.toString() << "\n";
    for (const auto version : facts[QStringLiteral("applied")].toArray())
        out << "applied migration " << version.toInt() << "\n";

    CertificateAuthority ca(config.file(QStringLiteral("ca")));
    if (!ca.exists()) {
        ca.create(QStringLiteral("typelab school CA ") + config.hosts.first());
        out << "made the school's CA in " << config.file(QStringLiteral("ca")) << "\n";
    }
    bool reload = placeServerFiles(config, session, ca);
    if (reload)
        out << "placed the server's certificate for " << config.hosts.join(QStringLiteral(", ")) << "\n";

    const QList<QPair<QString, QString>> settings = wantedSettings(config);
    const QJsonObject altered = session.run([&](const OwnerSession& s) { return applySettings(s, settings); });
    for (const auto name : altered[QStringLiteral("changed")].toArray()) {
        out << "set " << name.toString() << "\n";
        reload = true;
    }

    QList<QPair<QString, QByteArray>> replaced;
    for (const auto& [fact, block] : {std::pair{"ident_file", HbaBlock::identText()},
                                      std::pair{"hba_file", HbaBlock::text(config.owner)}}) {
        const QString file = facts[QString::fromLatin1(fact)].toString();
        if (const std::optional<QByteArray> old = placeBlock(file, block)) {
            replaced.append({file, *old});
            out << "wrote typelab's block at the top of " << file << "\n";
            reload = true;
        }
    }
    if (reload) {
        try {
            ClusterControl::reload(session);
        } catch (const std::exception&) {
            if (!replaced.isEmpty()) {
                // The cluster keeps working with the lines it had.
                for (const auto& [file, old] : replaced) {
                    struct stat info {};
                    ::stat(QFile::encodeName(file).constData(), &info);
                    ServerFiles::writeIfChanged(file, old, info.st_mode & 07777, {info.st_uid, info.st_gid});
                }
                try {
                    ClusterControl::reload(session);
                } catch (const std::exception&) {
                }
            }
            throw;
        }
        const QStringList pending = ClusterControl::pendingRestart(session);
        if (!pending.isEmpty()) {
            out << "restarting PostgreSQL for " << pending.join(QStringLiteral(", ")) << "\n";
            out.flush();
            ClusterControl::restart(session, facts[QStringLiteral("config_file")].toString(),
                                    facts[QStringLiteral("data_directory")].toString(),
                                    facts[QStringLiteral("version")].toInt());
        }
    }
    if (ServerFiles::writeIfChanged(config.confPath(), config.serialize(), 0644))
        out << "recorded the options in " << config.confPath() << "\n";
    startVerifier(config, out);
    out << "typelab-server is set up: database typelab on port " << config.port << ", hosts "
        << config.hosts.join(QStringLiteral(", ")) << "\n";
}

void migrate(const QString& stateDir, QTextStream& out)
{
    const std::optional<ServerConfig> config = ServerConfig::load(stateDir);
    if (!config) {
        out << "typelab-server is not set up in " << stateDir << " (no server.conf): nothing to migrate\n";
        return;
    }
    const OwnerSession session(*config);
    ServerFiles::Lock lock(config->file(QStringLiteral("lock")));
    const QList<Migration> migrations = Migrations::read(config->migrationsDir);
    const QJsonObject done = session.run([&](const OwnerSession& s) {
        Pg::Connection typelab = s.connect(QStringLiteral("typelab"));
        const QJsonArray applied = versions(Migrations::apply(typelab, migrations));
        const bool verifierIn =
            typelab.exec(QStringLiteral("SELECT rolcanlogin FROM pg_roles WHERE rolname = 'typelab_verify'")).text(0, 0) ==
            QLatin1String("t");
        return QJsonObject{{QStringLiteral("applied"), applied}, {QStringLiteral("verifier"), verifierIn}};
    });
    const QJsonArray applied = done[QStringLiteral("applied")].toArray();
    for (const auto version : applied)
        out << "applied migration " << version.toInt() << "\n";
    if (applied.isEmpty())
        out << "the schema is up to date\n";
    // A server set up before the verifier came needs setup once more to let it in.
    if (!done[QStringLiteral("verifier")].toBool())
        out << "run typelab-server setup once more: it lets the verifier (typelab-verify) in\n";
}

} // namespace ServerSetup
