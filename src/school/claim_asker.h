#pragma once
// Asks the school server the claims test logins wait for, at once, on a connection of its own
// (a batch of results being sent never holds a login up), and lets go of it when they are
// answered. A claim it cannot ask is answered "away", so the login goes on by the machine's
// own rule without waiting out its two seconds.

#include "platform/postgres.h"
#include "store/store_types.h"

#include <QObject>

class ClaimAsker : public QObject {
    Q_OBJECT
public:
    ClaimAsker(Pg::ConnectionParameters server, int deadlineMilliseconds, QObject* parent = nullptr);

    void ask(const QList<ClaimRequest>& requests);

signals:
    // answer: granted, again, elsewhere:NAME (claimedAt: the claim's time), or away.
    void answered(const QString& id, const QString& answer, const QString& claimedAt);

private:
    void askWaiting();
    void finished(const QList<Pg::Result>& results);
    void failed();

    const Pg::ConnectionParameters server_;
    const int deadline_;
    Pg::AsyncConnection connection_;
    QList<ClaimRequest> waiting_;
    QList<ClaimRequest> asking_;
};
