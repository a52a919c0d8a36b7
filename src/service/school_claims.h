#pragma once
// A test login's question to the school server, on a machine that has joined one: has this
// student claimed the batch already, and where? The store has no network of its own: the
// forwarder asks the server the moment the question waits and brings the answer back. One the
// server has not given within two seconds counts as "away": the login goes on by the machine's
// own rule, so that a sitting never stops for the network.

#include "store/store_types.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <functional>

class QTimer;

struct ClaimAnswer {
    enum class Kind { Granted, Again, Elsewhere, Away };
    Kind kind = Kind::Away;
    QString machine;     // Elsewhere: the machine that holds the claim
    QDateTime claimedAt; // Elsewhere: when it claimed it

    // From the forwarder's words: "granted", "again", "elsewhere:NAME" with the claim's time,
    // or anything else (away).
    static ClaimAnswer from(const QString& answer, const QString& claimedAt);
};

class SchoolClaims : public QObject {
    Q_OBJECT
public:
    static constexpr int kPatienceMilliseconds = 2000;

    // `done` follows once, from the event loop: with the server's answer, or Away.
    void ask(const QString& batch, const QString& xh, const QString& xm, std::function<void(const ClaimAnswer&)> done);
    // The questions no forwarder has taken yet; each is handed out once.
    QList<ClaimRequest> take();
    void answered(const QString& id, const QString& answer, const QString& claimedAt);

signals:
    // A question waits for a forwarder.
    void asked();

private:
    struct Question {
        ClaimRequest request;
        std::function<void(const ClaimAnswer&)> done;
        QTimer* patience = nullptr;
        bool taken = false;
    };
    void finish(const QString& id, const ClaimAnswer& answer);

    QHash<QString, Question> questions_;
};
