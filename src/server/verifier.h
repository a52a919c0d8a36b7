#pragma once
// typelab-server verify: the worker that checks every result the school server receives. It
// listens on typelab_received, takes the results not yet checked from typelab.verify_queue
// (oldest first, a batch at a time), replays each one on a pool of threads and records the
// findings with typelab.record_verification, one transaction a batch. A lost connection is
// opened again after a growing pause, and the queue read again after LISTEN, so a result
// received while it was away is checked too.

#include "platform/postgres.h"
#include "server/result_check.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTextStream>
#include <QThreadPool>
#include <QTimer>

class Verifier : public QObject {
    Q_OBJECT
public:
    struct Options {
        Pg::ConnectionParameters parameters;
        int batch = 64;    // results taken from the queue at once
        int threads = 0;   // replays at once; 0: one per core
        bool once = false; // check what waits, then end: no listening, no second try
    };
    struct Counts {
        qint64 checked = 0;
        qint64 notVerified = 0;
        qint64 marked = 0;
    };

    Verifier(Options options, QTextStream& log, QObject* parent = nullptr);
    void start();
    Counts counts() const { return counts_; }

signals:
    // Only with once: the queue is empty (0) or the server could not be used (1).
    void finished(int exitCode);

private:
    enum class Step { Closed, Connecting, Listening, Reading, Recording, Idle };
    struct Item {
        QString id;
        int kind = 0;
        QByteArray text;
        QByteArray log;
        ResultCheck::Sent sent;
        ResultCheck::Finding finding;
    };

    void connectNow();
    void onConnected();
    void onPipelineFinished(const QList<Pg::Result>& results);
    void onNotification();
    void onFailed(const Pg::Error& error);
    void read();
    void checkAndRecord(const Pg::Result& queue);
    void recorded(const QList<Pg::Result>& results);
    void becomeIdle();
    void giveUp(const QString& what);
    void say(const QString& line);

    Options options_;
    QTextStream& log_;
    Pg::AsyncConnection* connection_;
    QTimer* retry_;
    QThreadPool pool_;
    Step step_ = Step::Closed;
    int pause_ = 1;       // seconds before the next attempt to connect
    bool wanted_ = false; // a result arrived while the queue was being worked
    bool full_ = false;   // the last batch was full: more may wait
    QList<Item> items_;   // the batch being recorded
    Counts counts_;
    Counts reported_;
    QElapsedTimer sinceReport_;
};
