#include "server/server_config.h"

#include <QDir>
#include <QFile>

#include <netdb.h>
#include <unistd.h>

#include <stdexcept>

QString ServerConfig::file(const QString& relative) const
{
    return QDir(stateDir).filePath(relative);
}

QByteArray ServerConfig::serialize() const
{
    QByteArray out = "# written by typelab-server setup; run setup again to change it\n";
    out += "socket-dir = " + socketDir.toUtf8() + "\n";
    out += "port = " + QByteArray::number(port) + "\n";
    out += "owner = " + owner.toUtf8() + "\n";
    for (const QString& host : hosts)
        out += "host = " + host.toUtf8() + "\n";
    if (!listen.isEmpty())
        out += "listen = " + listen.toUtf8() + "\n";
    out += "migrations = " + migrationsDir.toUtf8() + "\n";
    return out;
}

ServerConfig ServerConfig::parse(const QByteArray& text, const QString& stateDir)
{
    ServerConfig config;
    config.stateDir = stateDir;
    for (const QByteArray& rawLine : text.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const qsizetype equals = line.indexOf('=');
        if (equals < 0)
            throw std::runtime_error("server.conf: a line without '=': " + line.toStdString());
        const QByteArray key = line.left(equals).trimmed();
        const QString value = QString::fromUtf8(line.mid(equals + 1).trimmed());
        if (key == "socket-dir")
            config.socketDir = value;
        else if (key == "port")
            config.port = value.toInt();
        else if (key == "owner")
            config.owner = value;
        else if (key == "host")
            config.hosts << value;
        else if (key == "listen")
            config.listen = value;
        else if (key == "migrations")
            config.migrationsDir = value;
        else
            throw std::runtime_error("server.conf: unknown setting " + key.toStdString());
    }
    if (config.port <= 0 || config.port > 65535 || config.hosts.isEmpty())
        throw std::runtime_error("server.conf lacks a port or a host: run typelab-server setup again");
    return config;
}

std::optional<ServerConfig> ServerConfig::load(const QString& stateDir)
{
    QFile file(QDir(stateDir).filePath(QStringLiteral("server.conf")));
    if (!file.exists())
        return std::nullopt;
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + file.fileName().toStdString() + ": " + file.errorString().toStdString());
    return parse(file.readAll(), stateDir);
}

QString fullyQualifiedHostName()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return QStringLiteral("localhost");
    addrinfo hints{};
    hints.ai_flags = AI_CANONNAME;
    addrinfo* found = nullptr;
    QString result = QString::fromUtf8(name);
    if (getaddrinfo(name, nullptr, &hints, &found) == 0 && found) {
        if (found->ai_canonname && *found->ai_canonname)
            result = QString::fromUtf8(found->ai_canonname);
        freeaddrinfo(found);
    }
    return result;
}
