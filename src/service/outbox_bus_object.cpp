#include "service/outbox_bus_object.h"

#include "outbox1_adaptor.h"

#include <QDBusConnectionInterface>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {

// How often the store looks whether entries wait with no forwarder to take them (one that
// ended in the middle of a send, say).
constexpr int kWatchMilliseconds = 90'000;
// The most a forwarder may wait in one call, and the most entries and bytes one answer holds
// (well inside a message of the system bus).
constexpr int kLongestWaitMilliseconds = 60'000;
constexpr int kMostEntries = 500;
constexpr qint64 kMostBytes = 16 * 1024 * 1024;

const QString kNotYours = QStringLiteral("只有成绩服务自己的转发程序可以取用待发送的成绩。");

} // namespace

OutboxBusObject::OutboxBusObject(StoreService& service, std::function<void()> startForwarder, QObject* parent)
    : QObject(parent), service_(service), startForwarder_(std::move(startForwarder))
{
    new Outbox1Adaptor(this);
    service_.outbox.setAddedHandler([this] { wake(false); });
    connect(&service_.claims, &SchoolClaims::asked, this, [this] { wake(true); });
    auto* watch = new QTimer(this);
    connect(watch, &QTimer::timeout, this, &OutboxBusObject::startIfWaiting);
    watch->start(kWatchMilliseconds);
}

OutboxBusObject::~OutboxBusObject()
{
    service_.outbox.setAddedHandler({});
}

bool OutboxBusObject::fromOwnAccount() const
{
    const QDBusConnectionInterface* bus = connection().interface();
    if (!bus)
        return true; // a private connection: only this account can make one
    const QDBusReply<uint> uid = bus->serviceUid(message().service());
    return uid.isValid() && uid.value() == ::getuid();
}

OutboxReply OutboxBusObject::work(const Waiting& asked)
{
    if (asked.claims) {
        OutboxReply reply = storeAnswer<OutboxReply>(StoreStatus::Ok);
        reply.claims = service_.claims.take();
        return reply;
    }
    return guarded<OutboxReply>(service_.database, [&] {
        OutboxReply read = storeAnswer<OutboxReply>(StoreStatus::Ok);
        read.entries = service_.outbox.waiting(qBound(1, asked.limit, kMostEntries), kMostBytes);
        return read;
    });
}

OutboxReply OutboxBusObject::Next(int limit, int wait)
{
    return waitFor(Waiting{connection(), message(), limit, nullptr, false}, wait);
}

OutboxReply OutboxBusObject::Claims(int wait)
{
    return waitFor(Waiting{connection(), message(), 0, nullptr, true}, wait);
}

OutboxReply OutboxBusObject::waitFor(Waiting asked, int wait)
{
    if (!fromOwnAccount())
        return storeAnswer<OutboxReply>(StoreStatus::Refused, kNotYours);
    OutboxReply now = work(asked);
    if (!now.ok() || !now.entries.isEmpty() || !now.claims.isEmpty() || wait <= 0)
        return now;
    // Nothing yet: the answer waits for something, or for the wait to run out.
    setDelayedReply(true);
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    asked.timer = timer;
    waiting_.append(asked);
    connect(timer, &QTimer::timeout, this, [this, timer] {
        for (qsizetype i = 0; i < waiting_.size(); ++i)
            if (waiting_[i].timer == timer) {
                Waiting ended = waiting_.takeAt(i);
                answer(ended);
                return;
            }
    });
    timer->start(qMin(wait, kLongestWaitMilliseconds));
    return {};
}

void OutboxBusObject::answer(Waiting& waiting)
{
    waiting.timer->deleteLater();
    waiting.connection.send(waiting.call.createReply(QVariant::fromValue(work(waiting))));
}

bool OutboxBusObject::stillThere(const Waiting& waiting)
{
    if (!waiting.connection.isConnected())
        return false;
    const QDBusConnectionInterface* bus = waiting.connection.interface();
    return !bus || bus->isServiceRegistered(waiting.call.service()).value();
}

void OutboxBusObject::wake(bool claims)
{
    // A forwarder that ended while it waited (killed, its machine's network gone) waits no more.
    bool answered = false;
    QList<Waiting> still;
    for (Waiting each : std::exchange(waiting_, {})) {
        if (!stillThere(each)) {
            each.timer->deleteLater();
        } else if (each.claims == claims) {
            answer(each);
            answered = true;
        } else {
            still.append(each);
        }
    }
    waiting_ = still;
    // None waits: one is started, unless one is already at work (the bus starts none while the
    // forwarder's name is owned; beside a program, the store starts no second child).
    if (!answered && startForwarder_)
        startForwarder_();
}

void OutboxBusObject::startIfWaiting()
{
    bool waiting = false;
    guarded<StoreReply>(service_.database, [&] {
        waiting = service_.outbox.joined() && service_.outbox.hasWaiting();
        return storeAnswer<StoreReply>(StoreStatus::Ok);
    });
    if (waiting)
        wake(false);
}

template <typename Work> StoreReply OutboxBusObject::recorded(Work work)
{
    if (!fromOwnAccount())
        return storeAnswer<StoreReply>(StoreStatus::Refused, kNotYours);
    return guarded<StoreReply>(service_.database, [&] {
        work();
        return storeAnswer<StoreReply>(StoreStatus::Ok);
    });
}

StoreReply OutboxBusObject::Sent(const QStringList& ids)
{
    return recorded([&] { service_.outbox.acknowledge(ids); });
}

StoreReply OutboxBusObject::Refused(const QString& id, const QString& reason)
{
    std::fprintf(stderr, "typelab-store: the school server refused %s for good: %s\n", qPrintable(id),
                 qPrintable(reason));
    return recorded([&] { service_.outbox.refuse(id, reason); });
}

StoreReply OutboxBusObject::ClaimAnswered(const QString& id, const QString& answer, const QString& claimedAt)
{
    if (!fromOwnAccount())
        return storeAnswer<StoreReply>(StoreStatus::Refused, kNotYours);
    service_.claims.answered(id, answer, claimedAt);
    return storeAnswer<StoreReply>(StoreStatus::Ok);
}

StoreReply OutboxBusObject::Trouble(const QString& problem)
{
    return recorded([&] { service_.outbox.noteProblem(problem); });
}
