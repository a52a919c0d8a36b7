#include "server/server_enrollment.h"

#include "server/certificate_authority.h"
#include "server/cluster_control.h"
#include "server/owner_session.h"
#include "server/server_config.h"
#include "server/server_files.h"
#include "server/server_names.h"

#include <QDir>
#include <QJsonObject>
#include <QTemporaryDir>

#include <stdexcept>

namespace ServerEnrollment {

namespace {

ServerConfig loadConfig(const QString& stateDir)
{
    std::optional<ServerConfig> config = ServerConfig::load(stateDir);
    if (!config)
        throw std::runtime_error("typelab-server is not set up in " + stateDir.toStdString() +
                                 " (no server.conf): run typelab-server setup first");
    return *config;
}

void checkName(const QString& name)
{
    const QString problem = ServerNames::problem(name);
    if (!problem.isEmpty())
        throw std::runtime_error(QStringLiteral("cannot use \"%1\": %2").arg(name, problem).toStdString());
}

// What a role of this name is now: "none", "machine", "teacher" or "other".
QString roleKind(Pg::Connection& postgres, const QString& name)
{
    const Pg::Result found = postgres.exec(
        QStringLiteral("SELECT pg_has_role(r.oid, 'typelab_machine', 'MEMBER'), "
                       "       pg_has_role(r.oid, 'typelab_teacher', 'MEMBER'), r.rolsuper "
                       "  FROM pg_roles r WHERE r.rolname = $1"),
        {name});
    if (found.rows() == 0)
        return QStringLiteral("none");
    if (found.text(0, 2) == QLatin1String("t"))
        return QStringLiteral("other");
    if (found.text(0, 0) == QLatin1String("t"))
        return QStringLiteral("machine");
    if (found.text(0, 1) == QLatin1String("t"))
        return QStringLiteral("teacher");
    return QStringLiteral("other");
}

QString roleKindAsOwner(const OwnerSession& session, const QString& name)
{
    return session
        .run([&](const OwnerSession& s) {
            Pg::Connection postgres = s.connect(QStringLiteral("typelab"));
            return QJsonObject{{QStringLiteral("kind"), roleKind(postgres, name)}};
        })[QStringLiteral("kind")]
        .toString();
}

// The machine's archive: ca.crt, machine.crt, machine.key and server, nothing else.
QByteArray bundle(const ServerConfig& config, const QString& name, const CertificateAuthority::Issued& issued,
                  const QByteArray& caCertificate)
{
    QTemporaryDir work(config.file(QStringLiteral("bundles/making-XXXXXX")));
    if (!work.isValid())
        throw std::runtime_error("cannot make a working folder in " + config.file(QStringLiteral("bundles")).toStdString());
    const QByteArray server = QStringLiteral("host=%1 port=%2 dbname=typelab user=%3\n")
                                  .arg(config.hosts.first())
                                  .arg(config.port)
                                  .arg(name)
                                  .toUtf8();
    ServerFiles::writeIfChanged(work.filePath(QStringLiteral("ca.crt")), caCertificate, 0644);
    ServerFiles::writeIfChanged(work.filePath(QStringLiteral("machine.crt")), issued.certificate, 0644);
    ServerFiles::writeIfChanged(work.filePath(QStringLiteral("machine.key")), issued.key, 0600);
    ServerFiles::writeIfChanged(work.filePath(QStringLiteral("server")), server, 0644);
    const QString archive = work.filePath(QStringLiteral("bundle.tar"));
    ServerFiles::runProgram(QStringLiteral("tar"),
                            {QStringLiteral("--create"), QStringLiteral("--file"), archive, QStringLiteral("--owner=0"),
                             QStringLiteral("--group=0"), QStringLiteral("--numeric-owner"), QStringLiteral("--directory"),
                             work.path(), QStringLiteral("ca.crt"), QStringLiteral("machine.crt"),
                             QStringLiteral("machine.key"), QStringLiteral("server")});
    return ServerFiles::read(archive);
}

} // namespace

QString enroll(const QString& stateDir, const QString& name, int days, QTextStream& out)
{
    checkName(name);
    if (days < 1 || days > 36500)
        throw std::runtime_error("--days must be between 1 and 36500");
    const ServerConfig config = loadConfig(stateDir);
    const OwnerSession session(config);
    ServerFiles::Lock lock(config.file(QStringLiteral("lock")));
    const QString kind = roleKindAsOwner(session, name);
    if (kind != QLatin1String("none") && kind != QLatin1String("machine"))
        throw std::runtime_error(QStringLiteral("\"%1\" is already a %2 role, not a machine's: choose another name")
                                     .arg(name, kind == QLatin1String("teacher") ? QStringLiteral("teacher's")
                                                                                 : QStringLiteral("PostgreSQL"))
                                     .toStdString());

    const CertificateAuthority ca(config.file(QStringLiteral("ca")));
    if (!ca.exists())
        throw std::runtime_error("the school's CA is missing in " + config.file(QStringLiteral("ca")).toStdString() +
                                 ": run typelab-server setup");
    ServerFiles::makeFolder(config.file(QStringLiteral("bundles")), 0700);
    const CertificateAuthority::Issued issued = ca.issueMachine(name, days);
    try {
        session.run([&](const OwnerSession& s) {
            Pg::Connection typelab = s.connect(QStringLiteral("typelab"));
            const QString role = typelab.escapeIdentifier(name);
            typelab.exec(QStringLiteral("BEGIN"));
            if (roleKind(typelab, name) == QLatin1String("none"))
                typelab.exec(QStringLiteral("CREATE ROLE %1 LOGIN IN ROLE typelab_machine").arg(role));
            else
                typelab.exec(QStringLiteral("ALTER ROLE %1 LOGIN").arg(role));
            typelab.exec(QStringLiteral("SET LOCAL ROLE typelab_owner"));
            typelab.exec(QStringLiteral("INSERT INTO typelab.machine (name, enrolled_at, serial) VALUES ($1, now(), $2) "
                                        "ON CONFLICT (name) DO UPDATE SET enrolled_at = excluded.enrolled_at, "
                                        "serial = excluded.serial, revoked_at = NULL"),
                         {name, issued.serial});
            typelab.exec(QStringLiteral("COMMIT"));
            return QJsonObject{};
        });
    } catch (...) {
        // No certificate stays valid for a machine the database does not know.
        try {
            ca.revoke(issued.serial);
        } catch (const std::exception&) {
        }
        throw;
    }
    const QString path = config.file(QStringLiteral("bundles/%1.tar").arg(name));
    ServerFiles::writeIfChanged(path, bundle(config, name, issued, ServerFiles::read(ca.certificatePath())), 0600);
    out << "enrolled " << name << " (certificate serial " << issued.serial << ", valid " << days << " days)\n";
    return path;
}

void revoke(const QString& stateDir, const QString& name, QTextStream& out)
{
    checkName(name);
    const ServerConfig config = loadConfig(stateDir);
    const OwnerSession session(config);
    ServerFiles::Lock lock(config.file(QStringLiteral("lock")));
    if (roleKindAsOwner(session, name) != QLatin1String("machine"))
        throw std::runtime_error(QStringLiteral("no machine is enrolled as \"%1\"").arg(name).toStdString());
    const CertificateAuthority ca(config.file(QStringLiteral("ca")));
    const QStringList serials = ca.validSerials(name);
    for (const QString& serial : serials)
        ca.revoke(serial);
    ca.writeCrl();
    ServerFiles::writeIfChanged(config.file(QStringLiteral("server/crl.pem")), ServerFiles::read(ca.crlPath()), 0644);
    session.run([&](const OwnerSession& s) {
        Pg::Connection typelab = s.connect(QStringLiteral("typelab"));
        typelab.exec(QStringLiteral("BEGIN"));
        typelab.exec(QStringLiteral("ALTER ROLE %1 NOLOGIN").arg(typelab.escapeIdentifier(name)));
        typelab.exec(QStringLiteral("SET LOCAL ROLE typelab_owner"));
        typelab.exec(QStringLiteral("UPDATE typelab.machine SET revoked_at = now() WHERE name = $1 AND revoked_at IS NULL"),
                     {name});
        typelab.exec(QStringLiteral("COMMIT"));
        typelab.exec(QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE usename = $1"), {name});
        return QJsonObject{};
    });
    ClusterControl::reload(session);
    out << "revoked " << name << " (" << serials.size() << " certificate" << (serials.size() == 1 ? "" : "s")
        << "); its results stay\n";
}

void addTeacher(const QString& stateDir, const QString& user, const QByteArray& password, QTextStream& out)
{
    checkName(user);
    if (password.isEmpty())
        throw std::runtime_error("no password on standard input (give it as one line)");
    const ServerConfig config = loadConfig(stateDir);
    const OwnerSession session(config);
    ServerFiles::Lock lock(config.file(QStringLiteral("lock")));
    const QJsonObject done = session.run([&](const OwnerSession& s) {
        Pg::Connection typelab = s.connect(QStringLiteral("typelab"));
        const QString kind = roleKind(typelab, user);
        if (kind != QLatin1String("none") && kind != QLatin1String("teacher"))
            throw std::runtime_error(QStringLiteral("\"%1\" is already a %2 role, not a teacher's: choose another name")
                                         .arg(user, kind == QLatin1String("machine") ? QStringLiteral("machine's")
                                                                                     : QStringLiteral("PostgreSQL"))
                                         .toStdString());
        // Only the SCRAM verifier reaches the server (and any statement log), never the password.
        const QString verifier = typelab.escapeLiteral(QString::fromUtf8(typelab.encryptPassword(password, user)));
        const QString role = typelab.escapeIdentifier(user);
        if (kind == QLatin1String("none"))
            typelab.exec(QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD %2 IN ROLE typelab_teacher").arg(role, verifier));
        else
            typelab.exec(QStringLiteral("ALTER ROLE %1 LOGIN PASSWORD %2").arg(role, verifier));
        return QJsonObject{{QStringLiteral("made"), kind == QLatin1String("none")}};
    });
    out << (done[QStringLiteral("made")].toBool() ? "made the teacher " : "changed the password of the teacher ")
        << user << "\n";
}

} // namespace ServerEnrollment
