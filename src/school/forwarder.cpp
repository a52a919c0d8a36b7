#include "school/forwarder.h"

#include "outbox1_proxy.h"

#include <QDBusPendingCallWatcher>

#include <cstdio>

Forwarder::Forwarder(Outbox1Proxy& store, Pg::ConnectionParameters server, Timing timing, QObject* parent)
    : QObject(parent), store_(store), sender_(server, timing.deadlines),
      claims_(server, timing.deadlines.connect), timing_(timing), random_(QRandomGenerator::securelySeeded())
{
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, [this] { ask(0); });
    connect(&sender_, &EntrySender::done, this, &Forwarder::sent);
    connect(&sender_, &EntrySender::failed, this, &Forwarder::failed);
    connect(&claims_, &ClaimAsker::answered, this,
            [this](const QString& id, const QString& answer, const QString& claimedAt) {
                store_.ClaimAnswered(id, answer, claimedAt);
            });
    // A question to the store outlives its wait.
    store_.setTimeout(timing_.waitForEntries + 15'000);
}

void Forwarder::start()
{
    quiet_.start();
    ask(0);
    askClaims();
}

void Forwarder::askClaims()
{
    auto* call = new QDBusPendingCallWatcher(store_.Claims(timing_.waitForEntries), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, &Forwarder::claimsReceived);
}

void Forwarder::claimsReceived(QDBusPendingCallWatcher* call)
{
    call->deleteLater();
    const QDBusPendingReply<OutboxReply> reply = *call;
    if (!reply.isValid() || !reply.value().ok())
        return; // the store has gone: the entries' question finds it out and ends the forwarder
    if (!reply.value().claims.isEmpty()) {
        quiet_.restart();
        claims_.ask(reply.value().claims);
    }
    askClaims();
}

void Forwarder::tell(const QString& what)
{
    std::fprintf(stderr, "typelab-forward: %s\n", qPrintable(what));
    std::fflush(stderr);
}

void Forwarder::ask(int wait)
{
    auto* call = new QDBusPendingCallWatcher(store_.Next(timing_.batch, wait), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, &Forwarder::received);
}

void Forwarder::received(QDBusPendingCallWatcher* call)
{
    call->deleteLater();
    const QDBusPendingReply<OutboxReply> reply = *call;
    if (!reply.isValid() || !reply.value().ok()) {
        // The store went away (an upgrade, the program ended): a forwarder it needs is started
        // again when an entry waits.
        tell(QStringLiteral("the store did not answer: %1")
                 .arg(reply.isValid() ? reply.value().message : reply.error().message()));
        emit idle();
        return;
    }
    const QList<OutboxEntry>& entries = reply.value().entries;
    if (entries.isEmpty()) {
        sender_.close(); // all is sent: let go of the server
        if (quiet_.elapsed() >= timing_.idleBeforeEnd) {
            emit idle();
            return;
        }
        ask(timing_.waitForEntries);
        return;
    }
    quiet_.restart();
    sender_.send(entries);
}

void Forwarder::sent(const EntrySender::Outcome& outcome)
{
    failures_ = 0;
    for (const auto& [id, why] : outcome.refused) {
        tell(QStringLiteral("the server refused %1 for good: %2").arg(id, why));
        store_.Refused(id, why);
    }
    auto* call = new QDBusPendingCallWatcher(store_.Sent(outcome.stored), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        const QDBusPendingReply<StoreReply> reply = *done;
        if (!reply.isValid() || !reply.value().ok()) {
            // Not marked: the store offers them again, and the server says it has them.
            tell(QStringLiteral("the store did not take the acknowledgement: %1")
                     .arg(reply.isValid() ? reply.value().message : reply.error().message()));
            emit idle();
            return;
        }
        ask(0);
    });
}

void Forwarder::failed(const QString& problem, bool crowded)
{
    tell(crowded ? problem + QStringLiteral(" (the server has no connection to spare)") : problem);
    store_.Trouble(problem);
    // Full jitter: a random pause below a limit that doubles with each failure in a row, so
    // that the machines of a school that lost the server do not all come back at once.
    const int limit = int(qMin<qint64>(timing_.longestPause, qint64(timing_.firstPause) << qMin(failures_, 20)));
    ++failures_;
    retry_.start(int(random_.bounded(limit + 1)));
}
