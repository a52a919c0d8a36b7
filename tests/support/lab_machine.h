#pragma once
// A lab machine for the school server's tests: an Application folder with an English text,
// joined to a test cluster by the built typelab-admin, and its own typelab-store, started by a
// StoreClient as the program starts it (the store starts its forwarder). Exercises are typed
// for ten minutes on the test's steady clock and finished through the store, as the program
// finishes them.

#include "school/server_result.h"
#include "support/pg_cluster.h"
#include "support/test_support.h"

#include <memory>

class StoreClient;

class LabMachine {
public:
    // Joins the cluster as `name`; with a port, the machine reaches the server through it
    // (a proxy of the test's) instead.
    LabMachine(const PgCluster& cluster, const QString& name, quint16 throughPort = 0);
    // For a test program: the application prepared as every test's is, and forwarders that
    // wait seconds, not the minute a lab machine waits, between tries and for a server.
    static void prepareTests();
    // Before each test: the test state reset, the steady clock at a fixed start, the cluster up.
    static void readyForTest(PgCluster& cluster);

    // A machine that has not joined any school server.
    explicit LabMachine(const QString& name);
    ~LabMachine();

    const QString& name() const { return name_; }
    StoreClient& store() { return *store_; }
    const TestSupport::AppFolder& folder() const { return folder_; }

    // A test exercise of a student typed for ten minutes (every `slips`-th character wrong)
    // and finished: the store's answer.
    FinishReply finishExercise(const QString& number, const QString& batch, int slips = 0);
    // The test login the program makes (the second-login row shown when withPassword).
    LoginReply testLogin(const QString& number, const QString& batch, const QString& password = {},
                         bool withPassword = false);
    // An English exercise of a session typed for ten minutes and finished.
    FinishReply finishIn(const QString& session, int slips = 0);
    // What the outbox holds, oldest first, and how many wait.
    QList<ServerResult> outbox() const;
    int waiting() const;
    // What `typelab-admin status` says of this machine.
    QString status() const;
    // The forwarder the store started, or 0.
    qint64 forwarderPid() const;
    // The server line of the installed bundle now names this port (the server's own, or a
    // proxy's): the forwarder's next connection goes there.
    void pointAt(quint16 port) const;

private:
    QString name_;
    TestSupport::AppFolder folder_;
    std::unique_ptr<StoreClient> store_;
};

// The built typelab-admin with arguments: its exit code and what it wrote.
struct AdminRun {
    int exitCode = -1;
    QString output;
};
AdminRun runAdmin(const QStringList& arguments);
