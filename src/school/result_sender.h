#pragma once
// Sends results to the school server on the event loop, without ever blocking it: it connects
// (TLS, the machine's certificate), sends a batch as one transaction of typelab.submit calls in a
// pipeline, and tells which results the server has, once its COMMIT has answered. The machine
// is the certificate's; the server stores a result once, however often it arrives. The
// connection stays open for the next batch until close(): a machine connects when it has
// something to send, sends all of it, and lets go.

#include "platform/postgres.h"
#include "school/server_result.h"

#include <QObject>
#include <QStringList>

class ResultSender : public QObject {
    Q_OBJECT
public:
    // How long a connection and a batch may take before the server counts as away.
    struct Deadlines {
        int connect = 10'000;
        int batch = 60'000;
    };

    struct Outcome {
        QStringList stored;                     // on the server now (new, or there already)
        QList<QPair<QString, QString>> refused; // refused for good: id, why
    };

    ResultSender(Pg::ConnectionParameters server, Deadlines deadlines, QObject* parent = nullptr);

    // Sends the results in one transaction; done() or failed() follows.
    void send(const QList<ServerResult>& results);
    void close();

    // A problem in words an administrator understands, with what the server or libpq said.
    static QString explain(const Pg::Error& error);

signals:
    void done(const ResultSender::Outcome& outcome);
    // Nothing is known to be stored; `crowded`: the server had no connection to spare.
    void failed(const QString& problem, bool crowded);

private:
    void sendPending();
    void finished(const QList<Pg::Result>& results);
    void fail(const Pg::Error& error);

    const Pg::ConnectionParameters server_;
    const Deadlines deadlines_;
    Pg::AsyncConnection connection_;
    QList<ServerResult> pending_;
};

Q_DECLARE_METATYPE(ResultSender::Outcome)
