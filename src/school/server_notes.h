#pragma once
// The smaller things a lab machine tells the school server besides its results, as they wait in
// the store's outbox: a claim of a batch made while the server was away (sent later, so that a
// student who took the batch on two machines is seen), a second attempt the supervisor allowed
// with the second-login password, and the progress of a test exercise while it runs.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

// A claim made while the server was away, or an allowance; the id makes a copy sent twice one.
struct ServerClaim {
    QString id;
    QString batch;
    QString xh;
    QString xm;
    QDateTime onMachine; // when, by the machine's clock (a queued claim)

    QByteArray encode() const;
    static std::optional<ServerClaim> decode(const QByteArray& bytes);
};

// How far a test exercise has come: characters typed so far and the seconds left.
struct ProgressNote {
    QString batch;
    QString xh;
    QString xm;
    int typed = 0;
    int secondsLeft = 0;

    QByteArray encode() const;
    static std::optional<ProgressNote> decode(const QByteArray& bytes);
};
