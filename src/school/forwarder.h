#pragma once
// The forwarder's work: it takes what waits in the store's outbox, sends it to the school
// server, and tells the store what the server has, once the server's COMMIT has answered. It
// keeps one connection while the outbox has entries and lets go when it is empty. When the
// server cannot be reached it tries again after a pause that doubles each time up to a limit,
// drawn at random below it (so that a lab's machines do not all come back at once), and tells
// the store what went wrong, for the administrator. It ends after a while with nothing to do;
// the store starts it again when an entry waits.

#include "platform/postgres.h"
#include "school/result_sender.h"

#include <QElapsedTimer>
#include <QObject>
#include <QRandomGenerator>
#include <QTimer>

class Outbox1Proxy;
class QDBusPendingCallWatcher;

class Forwarder : public QObject {
    Q_OBJECT
public:
    struct Timing {
        int firstPause = 500;              // milliseconds before the first retry, at most
        int longestPause = 60'000;         // the limit the pause doubles up to
        int waitForEntries = 55'000;       // how long one question to the store waits for an entry
        int idleBeforeEnd = 300'000;       // nothing to send for this long: the forwarder ends
        int batch = 100;                   // results in one transaction at most
        ResultSender::Deadlines deadlines; // for a connection and for a batch
    };

    Forwarder(Outbox1Proxy& store, Pg::ConnectionParameters server, Timing timing, QObject* parent = nullptr);

    void start();

signals:
    // Nothing to send for a while: the process may end.
    void idle();

private:
    void ask(int wait);
    void received(QDBusPendingCallWatcher* call);
    void sent(const ResultSender::Outcome& outcome);
    void failed(const QString& problem, bool crowded);
    void tell(const QString& what);

    Outbox1Proxy& store_;
    ResultSender sender_;
    const Timing timing_;
    QTimer retry_;
    QElapsedTimer quiet_; // since the last entry
    int failures_ = 0;
    QRandomGenerator random_;
};
