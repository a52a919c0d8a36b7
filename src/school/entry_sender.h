#pragma once
// Sends outbox entries to the school server on the event loop, without ever blocking it: it
// connects (TLS, the machine's certificate), sends a batch as one transaction in a pipeline, and
// tells which entries the server has, once its COMMIT has answered. The machine is the
// certificate's; the server keeps an entry once, however often it arrives. An entry the server
// refuses as it stands (values out of bounds) would fail every batch it is in: when a batch
// fails on a statement, its entries go one by one, and the one refused alone is set aside for
// the administrator. The connection stays open for the next batch until close(): a machine
// connects when it has something to send, sends all of it, and lets go.

#include "platform/postgres.h"
#include "store/store_types.h"

#include <QObject>
#include <QStringList>

class EntrySender : public QObject {
    Q_OBJECT
public:
    // How long a connection and a batch may take before the server counts as away.
    struct Deadlines {
        int connect = 10'000;
        int batch = 60'000;
    };

    struct Outcome {
        QStringList stored;                     // the server has them (new, or there already)
        QList<QPair<QString, QString>> refused; // refused for good: id, why
    };

    EntrySender(Pg::ConnectionParameters server, Deadlines deadlines, QObject* parent = nullptr);

    // Sends the entries in one transaction; done() or failed() follows.
    void send(const QList<OutboxEntry>& entries);
    void close();

    // A problem in words an administrator understands, with what the server or libpq said.
    static QString explain(const Pg::Error& error);

signals:
    void done(const EntrySender::Outcome& outcome);
    // Nothing is known to be stored; `crowded`: the server had no connection to spare.
    void failed(const QString& problem, bool crowded);

private:
    void sendNext();
    void finished(const QList<Pg::Result>& results);
    void fail(const Pg::Error& error);

    const Pg::ConnectionParameters server_;
    const Deadlines deadlines_;
    Pg::AsyncConnection connection_;
    QList<QList<OutboxEntry>> batches_; // what is still to go: one batch, or each entry alone
    QList<OutboxEntry> sending_;
    int lead_ = 1; // statements before the entries' own (BEGIN, after a refusal ROLLBACK too)
    bool rollBackFirst_ = false;
    Outcome outcome_;
};

Q_DECLARE_METATYPE(EntrySender::Outcome)
