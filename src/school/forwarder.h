#pragma once
// The forwarder's work: it takes what waits in the store's outbox, sends it to the school
// server, and tells the store what the server has, once the server's COMMIT has answered. It
// keeps one connection while the outbox has entries and lets go when it is empty. When the
// server cannot be reached it tries again after a pause that doubles each time up to a limit,
// drawn at random below it (so that a lab's machines do not all come back at once), and tells
// the store what went wrong, for the administrator. Beside that, it asks the server at once the
// claims test logins wait for. It ends after a while with nothing to do; the store starts it
// again when something waits.

#include "platform/postgres.h"
#include "school/claim_asker.h"
#include "school/entry_sender.h"

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
        int firstPause = 500;             // milliseconds before the first retry, at most
        int longestPause = 60'000;        // the limit the pause doubles up to
        int waitForEntries = 55'000;      // how long one question to the store waits for something
        int idleBeforeEnd = 900'000;      // nothing to do for this long: the forwarder ends
        int batch = 100;                  // entries in one transaction at most
        EntrySender::Deadlines deadlines; // for a connection and for a batch
    };

    Forwarder(Outbox1Proxy& store, Pg::ConnectionParameters server, Timing timing, QObject* parent = nullptr);

    void start();

signals:
    // Nothing to send for a while, or the store has gone: the process may end.
    void idle();

private:
    void ask(int wait);
    void received(QDBusPendingCallWatcher* call);
    void sent(const EntrySender::Outcome& outcome);
    void failed(const QString& problem, bool crowded);
    void askClaims();
    void claimsReceived(QDBusPendingCallWatcher* call);
    void tell(const QString& what);

    Outbox1Proxy& store_;
    EntrySender sender_;
    ClaimAsker claims_;
    const Timing timing_;
    QTimer retry_;
    QElapsedTimer quiet_; // since something last came to do
    int failures_ = 0;
    QRandomGenerator random_;
};
