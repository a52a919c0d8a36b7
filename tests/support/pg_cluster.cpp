#include "support/pg_cluster.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

[[noreturn]] void fail(const QString& what)
{
    throw std::runtime_error(what.toStdString());
}

// A port nothing listens on now.
int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        fail(QStringLiteral("no free port: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
    ::close(fd);
    return ntohs(address.sin_port);
}

// Forks and runs argv with the given ids, output to logFile; gives the child's pid.
pid_t spawn(const QStringList& command, const QString& logFile, bool drop, uid_t uid, gid_t gid, const QString& cwd)
{
    QList<QByteArray> bytes;
    for (const QString& part : command)
        bytes << QFile::encodeName(part);
    std::vector<char*> argv;
    for (QByteArray& part : bytes)
        argv.push_back(part.data());
    argv.push_back(nullptr);
    const QByteArray log = QFile::encodeName(logFile);
    const QByteArray folder = QFile::encodeName(cwd);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0)
        fail(QStringLiteral("fork failed"));
    if (pid == 0) {
        const int out = ::open(log.constData(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        const int in = ::open("/dev/null", O_RDONLY);
        if (out < 0 || in < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(out, 2) < 0)
            ::_exit(126);
        if (drop && (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0))
            ::_exit(126);
        // A test that aborts takes its server with it (set after the change of user, which
        // clears it); an immediate stop, as crash() does.
        if (::prctl(PR_SET_PDEATHSIG, SIGQUIT) != 0 || ::getppid() != parent)
            ::_exit(126);
        if (::chdir(folder.constData()) != 0)
            ::_exit(126);
        // The server's own process group, so a terminal's Ctrl+C reaches it only through us.
        ::setpgid(0, 0);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

// Waits for a child of ours to end within milliseconds; true when it did (and is reaped).
bool waitForExit(pid_t pid, int milliseconds, int* status = nullptr)
{
    const int pidfd = int(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd >= 0) {
        pollfd ended{pidfd, POLLIN, 0};
        const int ready = ::poll(&ended, 1, milliseconds);
        ::close(pidfd);
        if (ready <= 0)
            return false;
    }
    int local = 0;
    while (::waitpid(pid, &local, 0) < 0 && errno == EINTR) {
    }
    if (status)
        *status = local;
    return true;
}

// The owner's effective uid for a connection's peer credentials, and back to root after it.
class EffectiveUser {
public:
    EffectiveUser(bool drop, uid_t uid) : drop_(drop)
    {
        if (drop_ && ::seteuid(uid) != 0)
            fail(QStringLiteral("seteuid failed"));
    }
    ~EffectiveUser()
    {
        if (drop_)
            (void)::seteuid(0);
    }

private:
    bool drop_;
};

} // namespace

PgCluster::PgCluster()
{
    if (!dir_.isValid())
        fail(QStringLiteral("no temporary folder"));
    if (::geteuid() == 0) {
        const passwd* nobody = ::getpwnam("nobody");
        if (!nobody)
            fail(QStringLiteral("no user nobody to run PostgreSQL as"));
        owner_ = QStringLiteral("nobody");
        uid_ = nobody->pw_uid;
        gid_ = nobody->pw_gid;
        dropPrivileges_ = true;
    } else {
        const passwd* self = ::getpwuid(::geteuid());
        owner_ = QString::fromLocal8Bit(self->pw_name);
        uid_ = self->pw_uid;
        gid_ = self->pw_gid;
    }
}

PgCluster::~PgCluster()
{
    if (running()) {
        try {
            stop();
        } catch (const std::exception&) {
        }
    }
}

QString PgCluster::path(const QString& relative) const
{
    return QDir(dir_.path()).filePath(relative);
}

QString PgCluster::log() const
{
    QFile file(path(QStringLiteral("postgres.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll().right(6000)) : QString();
}

void PgCluster::ownerRun(const QStringList& command, const QString& logFile) const
{
    const pid_t pid = spawn(command, logFile, dropPrivileges_, uid_, gid_, dir_.path());
    int status = 0;
    if (!waitForExit(pid, 120'000, &status) || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        QFile out(logFile);
        out.open(QIODevice::ReadOnly);
        fail(QStringLiteral("%1 failed:\n%2").arg(command.join(QLatin1Char(' ')), QString::fromUtf8(out.readAll())));
    }
}

void PgCluster::start(const Options& options)
{
    migrationsDir_ = options.migrationsDir.isEmpty()
                         ? QStringLiteral(TYPELAB_SOURCE_DIR "/server/migrations")
                         : options.migrationsDir;
    // The account running the server must reach its folders through this one.
    ::chmod(QFile::encodeName(dir_.path()).constData(), 0755);
    for (const QString& folder : {dataDir(), socketDir()}) {
        QDir().mkpath(folder);
        if (dropPrivileges_ && ::chown(QFile::encodeName(folder).constData(), uid_, gid_) != 0)
            fail(QStringLiteral("cannot give %1 to %2").arg(folder, owner_));
        ::chmod(QFile::encodeName(folder).constData(), folder == dataDir() ? 0700 : 0755);
    }
    port_ = freePort();
    ownerRun({binDir() + QStringLiteral("/initdb"), QStringLiteral("-D"), dataDir(), QStringLiteral("-U"), owner_,
              QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--locale=C.UTF-8"),
              QStringLiteral("--auth-local=peer"), QStringLiteral("--auth-host=reject"), QStringLiteral("-N")},
             path(QStringLiteral("initdb.log")));
    // Settings of this test cluster go in its postgresql.conf; typelab-server's go in
    // postgresql.auto.conf, as on a school's server.
    QFile conf(dataDir() + QStringLiteral("/postgresql.conf"));
    if (!conf.open(QIODevice::Append))
        fail(QStringLiteral("cannot write %1").arg(conf.fileName()));
    conf.write(QStringLiteral("\n# the test cluster's\nport = %1\nunix_socket_directories = '%2'\n"
                              "listen_addresses = '127.0.0.1'\nlogging_collector = off\nmax_connections = 100\n")
                   .arg(port_)
                   .arg(socketDir())
                   .toUtf8());
    conf.close();
    pid_ = spawn({binDir() + QStringLiteral("/postgres"), QStringLiteral("-D"), dataDir()},
                 path(QStringLiteral("postgres.log")), dropPrivileges_, uid_, gid_, dir_.path());
    waitUntilReady();
    if (options.setUp) {
        const ToolRun done = setup();
        if (done.exitCode != 0)
            fail(QStringLiteral("typelab-server setup failed (%1):\n%2%3").arg(done.exitCode).arg(done.output, done.errors));
    }
}

void PgCluster::waitUntilReady()
{
    QDeadlineTimer deadline(60'000);
    QString last;
    for (int wait = 5;; wait = qMin(wait * 2, 100)) {
        try {
            superuser(QStringLiteral("postgres")).exec(QStringLiteral("SELECT 1"));
            return;
        } catch (const Pg::Error& error) {
            last = error.message();
        }
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            fail(QStringLiteral("PostgreSQL ended at start:\n%1").arg(log()));
        }
        if (deadline.hasExpired())
            fail(QStringLiteral("PostgreSQL did not accept connections within 60 s (%1):\n%2").arg(last, log()));
        QThread::msleep(wait);
    }
}

PgCluster::ToolRun PgCluster::tool(const QStringList& arguments, const QByteArray& input) const
{
    QProcess process;
    QStringList full = arguments;
    if (!full.contains(QStringLiteral("--state-dir")))
        full << QStringLiteral("--state-dir") << stateDir();
    process.start(QStringLiteral(TYPELAB_SERVER_TOOL), full);
    if (!process.waitForStarted(30'000))
        fail(QStringLiteral("cannot start %1").arg(QStringLiteral(TYPELAB_SERVER_TOOL)));
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(300'000)) {
        process.kill();
        process.waitForFinished();
        fail(QStringLiteral("typelab-server %1 did not end").arg(arguments.join(QLatin1Char(' '))));
    }
    ToolRun run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.output = QString::fromUtf8(process.readAllStandardOutput());
    run.errors = QString::fromUtf8(process.readAllStandardError());
    return run;
}

PgCluster::ToolRun PgCluster::setup() const
{
    return tool({QStringLiteral("setup"), QStringLiteral("--socket-dir"), socketDir(), QStringLiteral("--port"),
                 QString::number(port_), QStringLiteral("--owner"), owner_, QStringLiteral("--host"),
                 QStringLiteral("localhost"), QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
                 QStringLiteral("--migrations"), migrationsDir_});
}

QString PgCluster::enroll(const QString& name) const
{
    const ToolRun done = tool({QStringLiteral("enroll"), name});
    if (done.exitCode != 0)
        fail(QStringLiteral("enroll %1 failed: %2").arg(name, done.errors));
    return done.output.trimmed().section(QLatin1Char('\n'), -1);
}

QString PgCluster::unpack(const QString& bundle, const QString& name) const
{
    const QString folder = path(QStringLiteral("machines/") + name);
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    QProcess tar;
    tar.start(QStringLiteral("tar"), {QStringLiteral("-xf"), bundle, QStringLiteral("-C"), folder});
    if (!tar.waitForFinished(60'000) || tar.exitCode() != 0)
        fail(QStringLiteral("cannot unpack %1: %2").arg(bundle, QString::fromUtf8(tar.readAllStandardError())));
    return folder;
}

Pg::ConnectionParameters PgCluster::machineParameters(const QString& folder) const
{
    QFile server(folder + QStringLiteral("/server"));
    if (!server.open(QIODevice::ReadOnly))
        fail(QStringLiteral("no server file in %1").arg(folder));
    Pg::ConnectionParameters parameters = Pg::ConnectionParameters::parse(QString::fromUtf8(server.readAll()).trimmed());
    parameters.set(QStringLiteral("sslmode"), QStringLiteral("verify-full"))
        .set(QStringLiteral("sslrootcert"), folder + QStringLiteral("/ca.crt"))
        .set(QStringLiteral("sslcert"), folder + QStringLiteral("/machine.crt"))
        .set(QStringLiteral("sslkey"), folder + QStringLiteral("/machine.key"));
    return parameters;
}

Pg::ConnectionParameters PgCluster::machine(const QString& name) const
{
    return machineParameters(unpack(enroll(name), name));
}

void PgCluster::addTeacher(const QString& user, const QString& password) const
{
    const ToolRun done = tool({QStringLiteral("add-teacher"), user}, password.toUtf8() + '\n');
    if (done.exitCode != 0)
        fail(QStringLiteral("add-teacher %1 failed: %2").arg(user, done.errors));
}

Pg::ConnectionParameters PgCluster::teacherParameters(const QString& user, const QString& password) const
{
    Pg::ConnectionParameters parameters;
    parameters.set(QStringLiteral("host"), QStringLiteral("localhost"))
        .set(QStringLiteral("port"), QString::number(port_))
        .set(QStringLiteral("dbname"), QStringLiteral("typelab"))
        .set(QStringLiteral("user"), user)
        .set(QStringLiteral("password"), password)
        .set(QStringLiteral("sslmode"), QStringLiteral("verify-full"))
        .set(QStringLiteral("sslrootcert"), stateDir() + QStringLiteral("/server/ca.crt"));
    return parameters;
}

Pg::Connection PgCluster::superuser(const QString& database) const
{
    Pg::ConnectionParameters parameters;
    parameters.set(QStringLiteral("host"), socketDir())
        .set(QStringLiteral("port"), QString::number(port_))
        .set(QStringLiteral("dbname"), database)
        .set(QStringLiteral("user"), owner_);
    // Peer authentication reads the effective uid at connect time.
    const EffectiveUser asOwner(dropPrivileges_, uid_);
    return Pg::Connection::open(parameters, 10'000);
}

void PgCluster::followRestart()
{
    int status = 0;
    if (pid_ > 0)
        ::waitpid(pid_, &status, WNOHANG); // the first postmaster, ours, has ended
    QFile lock(dataDir() + QStringLiteral("/postmaster.pid"));
    if (!lock.open(QIODevice::ReadOnly))
        fail(QStringLiteral("no postmaster.pid after the restart:\n%1").arg(log()));
    pid_ = lock.readLine().trimmed().toInt();
    if (pid_ <= 0 || ::kill(pid_, 0) != 0)
        fail(QStringLiteral("the restarted postmaster is not running"));
}

void PgCluster::signalAndWait(int signal, int milliseconds)
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, signal);
    if (!waitForExit(pid_, milliseconds)) {
        ::kill(pid_, SIGQUIT);
        if (!waitForExit(pid_, milliseconds)) {
            ::kill(pid_, SIGKILL);
            waitForExit(pid_, -1);
        }
    }
    pid_ = -1;
}

void PgCluster::resume()
{
    if (pid_ > 0)
        return;
    pid_ = spawn({binDir() + QStringLiteral("/postgres"), QStringLiteral("-D"), dataDir()},
                 path(QStringLiteral("postgres.log")), dropPrivileges_, uid_, gid_, dir_.path());
    waitUntilReady();
}

void PgCluster::stop()
{
    signalAndWait(SIGINT, 60'000);
}

void PgCluster::crash()
{
    signalAndWait(SIGQUIT, 60'000);
}

PgCluster::Pgbench PgCluster::pgbench(const QStringList& arguments, int seconds)
{
    QProcess run;
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(binDir() + QStringLiteral("/pgbench"), arguments);
    if (!run.waitForFinished((seconds + 120) * 1000) || run.exitCode() != 0)
        throw std::runtime_error("pgbench failed:\n" + run.readAll().toStdString());
    const QString output = QString::fromUtf8(run.readAll());
    const auto figure = [&output](const char* pattern) {
        return QRegularExpression(QString::fromLatin1(pattern)).match(output).captured(1);
    };
    return {figure("tps = ([0-9.]+)").toDouble(), figure("actually processed: ([0-9]+)").toLongLong(),
            figure("number of failed transactions: ([0-9]+)").toLongLong()};
}
