#include "server/owner_session.h"

#include <QFileInfo>
#include <QJsonDocument>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

OwnerSession::OwnerSession(const ServerConfig& config) : config_(config)
{
    const QByteArray name = config.owner.toUtf8();
    const passwd* owner = ::getpwnam(name.constData());
    if (!owner)
        throw std::runtime_error("the cluster owner " + name.toStdString() +
                                 " is no user of this system (--owner names the user PostgreSQL runs as)");
    uid_ = owner->pw_uid;
    gid_ = owner->pw_gid;
    asRoot_ = ::geteuid() == 0;
    if (!asRoot_ && ::geteuid() != uid_)
        throw std::runtime_error("typelab-server must be run as root (or as the cluster owner " + name.toStdString() +
                                 ")");
    if (asRoot_ && uid_ == 0)
        throw std::runtime_error("the cluster owner cannot be root: PostgreSQL does not run as root");
}

Pg::Connection OwnerSession::connect(const QString& database) const
{
    Pg::ConnectionParameters parameters;
    parameters.set(QStringLiteral("host"), config_.socketDir)
        .set(QStringLiteral("port"), QString::number(config_.port))
        .set(QStringLiteral("user"), config_.owner)
        .set(QStringLiteral("dbname"), database)
        .set(QStringLiteral("application_name"), QStringLiteral("typelab-server"))
        // "already exists, skipping" and the like are not the administrator's business.
        .set(QStringLiteral("options"), QStringLiteral("-c client_min_messages=warning"));
    try {
        return Pg::Connection::open(parameters, 15'000);
    } catch (const Pg::Error& error) {
        throw std::runtime_error(
            QStringLiteral("cannot reach PostgreSQL as %1 through the socket in %2, port %3: %4\n"
                           "Is the cluster running (pg_lsclusters; pg_ctlcluster 15 main start)? --socket-dir, "
                           "--port and --owner must name it.")
                .arg(config_.owner, config_.socketDir)
                .arg(config_.port)
                .arg(error.message())
                .toStdString());
    }
}

namespace {

void writeAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += n;
    }
}

QByteArray readAll(int fd)
{
    QByteArray bytes;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return bytes;
        bytes.append(buffer, n);
    }
}

QByteArray runAndReport(const std::function<QJsonObject(const OwnerSession&)>& work, const OwnerSession& session)
{
    try {
        return "ok\n" + QJsonDocument(work(session)).toJson(QJsonDocument::Compact);
    } catch (const std::exception& error) {
        return QByteArray("error\n") + error.what();
    }
}

} // namespace

QJsonObject OwnerSession::run(const std::function<QJsonObject(const OwnerSession&)>& work) const
{
    if (!asRoot_)
        return work(*this);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (pid == 0) {
        ::close(fds[0]);
        QByteArray report;
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid_) != 0 || ::setuid(uid_) != 0)
            report = "error\ncannot become the cluster owner " + config_.owner.toUtf8();
        else
            report = runAndReport(work, *this);
        writeAll(fds[1], report);
        ::_exit(0);
    }
    ::close(fds[1]);
    const QByteArray report = readAll(fds[0]);
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (report.startsWith("ok\n"))
        return QJsonDocument::fromJson(report.mid(3)).object();
    if (report.startsWith("error\n"))
        throw std::runtime_error(report.mid(6).toStdString());
    throw std::runtime_error("the step run as the cluster owner ended without saying how it went");
}
