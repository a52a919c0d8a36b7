#pragma once
// Follows one batch on the school server for the teacher's live window. One connection on the
// event loop LISTENs on the channel typelab_batch, where the server says the lower-cased batch
// in the transaction of every change; a notification of this batch re-reads the batch's rows
// (a change during a read reads once more after it). A lost connection is made again after a
// pause that doubles up to half a minute, with jitter, and the batch is read anew, since
// notifications sent meanwhile are gone. Nothing here ever blocks the event loop.

#include "collect/host_lookup.h"
#include "collect/live_attempt.h"
#include "collect/server_login.h"

#include <QObject>
#include <QTimer>

class BatchWatch : public QObject {
    Q_OBJECT
public:
    static const QString channel; // "typelab_batch"

    BatchWatch(const ServerLogin& login, const QString& appFolder, const QString& batch, QObject* parent = nullptr);
    ~BatchWatch() override;

    // Connects, listens and reads; rowsRead() follows, or loginFailed() when this first
    // connection fails (nothing is retried then: the teacher types again).
    void start();
    void stop();

    const QString& batch() const { return batch_; }
    const ServerLogin& login() const { return login_; }
    // The server's time now, as of the last read and the steady clock since (the teacher's
    // own wall clock never counts).
    qint64 serverNow() const;
    bool live() const { return phase_ == Phase::Live || phase_ == Phase::Reading; }

    // Tests shorten the pause before a reconnect; 0 gives the normal one back.
    static void setFirstRetryForTests(int milliseconds);

signals:
    // The batch's rows, sorted by student number and machine.
    void rowsRead(const QList<LiveAttempt>& rows);
    // The first connection failed: a Chinese sentence for the login window.
    void loginFailed(const QString& message);
    // The connection's state for the window's status line, in Chinese.
    void linkChanged(bool live, const QString& text);

private:
    enum class Phase { Stopped, Connecting, Live, Reading, Waiting };
    void dial(); // looks the host up, then connects
    void hostFound(const QStringList& addresses, const QString& problem);
    void connected();
    void read(bool withListen);
    void answered(const QList<Pg::Result>& results);
    void notified(const QString& channel, const QString& payload);
    void failed(const Pg::Error& error);
    void lose(const QString& why);
    void retry();

    ServerLogin login_;
    QString appFolder_;
    QString batch_;
    Pg::AsyncConnection* connection_ = nullptr;
    HostLookup* lookup_ = nullptr;
    QTimer retryTimer_;
    Phase phase_ = Phase::Stopped;
    bool everLive_ = false;
    bool readAgain_ = false;
    int failures_ = 0;
    qint64 serverAtRead_ = 0;
    qint64 steadyAtRead_ = 0;
};
