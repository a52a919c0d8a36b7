#pragma once
// What `typelab-server setup` was told, kept in STATE/server.conf so that the other commands
// need only the state folder.

#include <QString>
#include <QStringList>
#include <optional>

struct ServerConfig {
    static inline const char* const kDefaultStateDir = "/var/lib/typelab-server";

    QString stateDir = QString::fromLatin1(kDefaultStateDir);
    QString socketDir = QStringLiteral("/var/run/postgresql"); // Debian's cluster 15/main
    int port = 5432;
    QString owner = QStringLiteral("postgres"); // the cluster's operating-system user and superuser
    QStringList hosts;                          // names the server's certificate carries
    QString listen;                             // listen_addresses to set; empty: left alone
    QString migrationsDir = QStringLiteral("/usr/share/typelab-server/migrations");

    QString file(const QString& relative) const;
    QString confPath() const { return file(QStringLiteral("server.conf")); }

    // One "key = value" a line; hosts repeat.
    QByteArray serialize() const;
    // Throws std::runtime_error on a line it does not know.
    static ServerConfig parse(const QByteArray& text, const QString& stateDir);
    // The configuration of a state folder, or nothing when setup never ran there.
    static std::optional<ServerConfig> load(const QString& stateDir);
};

// The machine's fully qualified name, as `hostname --fqdn` gives it.
QString fullyQualifiedHostName();
