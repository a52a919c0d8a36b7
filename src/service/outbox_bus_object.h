#pragma once
// The outbox on the bus: /org/typelab/Outbox, interface org.typelab.Outbox1 (stated in
// data/dbus/org.typelab.Outbox1.xml), for the forwarder alone, which runs as the store's own
// account; every other caller is refused. The forwarder asks for the next entries and waits for
// them, and for the claims test logins wait for. When there is something and no forwarder is
// there to wait, one is started: on the system bus the bus starts it by its name, beside a
// program the store starts it as its own child.

#include "service/store_service.h"
#include "store/store_protocol.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QObject>
#include <functional>

class QTimer;

class OutboxBusObject : public QObject, protected QDBusContext {
    Q_OBJECT
public:
    // `startForwarder` starts one unless one is already running.
    OutboxBusObject(StoreService& service, std::function<void()> startForwarder, QObject* parent = nullptr);
    ~OutboxBusObject() override;

    // A forwarder for what waits and none takes (at the store's start, and now and then).
    void startIfWaiting();

    // org.typelab.Outbox1, as the adaptor calls it.
    OutboxReply Next(int limit, int wait);
    OutboxReply Claims(int wait);
    StoreReply Sent(const QStringList& ids);
    StoreReply Refused(const QString& id, const QString& reason);
    StoreReply Trouble(const QString& problem);
    StoreReply ClaimAnswered(const QString& id, const QString& answer, const QString& claimedAt);

private:
    // A forwarder's question that waits for something to answer: entries (Next) or the
    // claims of test logins (Claims).
    struct Waiting {
        QDBusConnection connection;
        QDBusMessage call;
        int limit = 0;
        QTimer* timer = nullptr;
        bool claims = false;
    };

    bool fromOwnAccount() const;
    static bool stillThere(const Waiting& waiting);
    OutboxReply work(const Waiting& asked);
    OutboxReply waitFor(Waiting asked, int wait);
    // Something of this sort waits: a forwarder that waits for it hears of it, or one starts.
    void wake(bool claims);
    void answer(Waiting& waiting);
    template <typename Work> StoreReply recorded(Work work);

    StoreService& service_;
    std::function<void()> startForwarder_;
    QList<Waiting> waiting_;
};
