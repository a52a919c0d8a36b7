#pragma once
// A real PostgreSQL 15 for tests and benchmarks, in a temporary folder of its own: initdb and the
// server run as an unprivileged account (as root, the user nobody, since PostgreSQL refuses to
// run as root; otherwise the user running the test), on a free port on 127.0.0.1 and a socket
// folder of its own. start() returns once the server accepts connections and the build's
// typelab-server has set it up; stop() ends it by its process id. Failures throw
// std::runtime_error with the server's log.

#include "platform/postgres.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/types.h>

// In a Qt Test function: a failure of the cluster fails the test, instead of aborting the binary.
#define PG_CLUSTER_TRY(statement)                                                                                      \
    do {                                                                                                               \
        try {                                                                                                          \
            statement;                                                                                                 \
        } catch (const std::exception& error) {                                                                        \
            QFAIL(error.what());                                                                                       \
        }                                                                                                              \
    } while (false)

class PgCluster {
public:
    struct Options {
        QString migrationsDir; // empty: the source tree's server/migrations
        bool setUp = true;     // run typelab-server setup once the server is up
    };

    PgCluster();
    ~PgCluster();
    PgCluster(const PgCluster&) = delete;
    PgCluster& operator=(const PgCluster&) = delete;

    void start(const Options& options);
    void start() { start(Options{}); }

    // What the built typelab-server said, and how it ended.
    struct ToolRun {
        int exitCode = -1;
        QString output;
        QString errors;
    };
    // Runs the built typelab-server with arguments (and this cluster's --state-dir unless they
    // name one), input on standard input.
    ToolRun tool(const QStringList& arguments, const QByteArray& input = {}) const;
    // setup with this cluster's options (socket, port, owner, hosts localhost and 127.0.0.1).
    ToolRun setup() const;

    // Enrols a machine; gives the bundle's path. Throws when the tool fails.
    QString enroll(const QString& name) const;
    // The bundle's files unpacked into a folder of their own; gives the folder.
    QString unpack(const QString& bundle, const QString& name) const;
    // What a machine uses to connect: its bundle's server line, verify-full, its certificate.
    Pg::ConnectionParameters machineParameters(const QString& unpackedFolder) const;
    // Enrols and unpacks in one go.
    Pg::ConnectionParameters machine(const QString& name) const;
    void addTeacher(const QString& user, const QString& password) const;
    // What a teacher uses: TLS with verify-full against the school's CA, and the password.
    Pg::ConnectionParameters teacherParameters(const QString& user, const QString& password) const;
    // The cluster owner over the socket, as superuser.
    Pg::Connection superuser(const QString& database = QStringLiteral("typelab")) const;

    // After typelab-server restarted the server (pg_ctl restart): the new postmaster, from its
    // postmaster.pid, is the one stop() ends.
    void followRestart();

    // A fast shutdown (SIGINT), waited for; SIGQUIT if it does not end in 60 s.
    void stop();
    // After stop() or crash(): the same cluster up again, on the same port, once it accepts
    // connections (after a crash it recovers first).
    void resume();
    // An immediate stop (SIGQUIT), as `pg_ctl stop -m immediate`: no checkpoint, clients cut off.
    void crash();
    bool running() const { return pid_ > 0; }

    int port() const { return port_; }
    pid_t pid() const { return pid_; }
    QString socketDir() const { return path(QStringLiteral("socket")); }
    QString stateDir() const { return path(QStringLiteral("state")); }
    QString dataDir() const { return path(QStringLiteral("data")); }
    QString owner() const { return owner_; }
    QString migrationsDir() const { return migrationsDir_; }
    QString path(const QString& relative) const;
    QString log() const;

    // The PostgreSQL programs used.
    static QString binDir() { return QStringLiteral("/usr/lib/postgresql/15/bin"); }

    // What one pgbench run reported.
    struct Pgbench {
        double tps = 0;
        qint64 transactions = 0;
        qint64 failed = 0;
    };
    // Runs this version's pgbench with arguments (for at most `seconds` and two minutes more) and
    // reads its figures. Throws, with what it printed, when it fails.
    static Pgbench pgbench(const QStringList& arguments, int seconds);

private:
    void ownerRun(const QStringList& command, const QString& logFile) const;
    void waitUntilReady();
    void signalAndWait(int signal, int milliseconds);

    QTemporaryDir dir_;
    QString owner_;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
    bool dropPrivileges_ = false;
    int port_ = 0;
    pid_t pid_ = -1;
    QString migrationsDir_;
};
