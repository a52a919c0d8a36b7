#pragma once
// The three logins, checked again here as the login dialog checks them, so that a call made
// straight to the bus cannot log in with what the dialog refuses. A test login claims its batch
// (a second one needs the second-login password), and passwords tried too often lock the
// account for a while. On a machine that has joined a school server the batch is claimed for the
// whole school: the server's word (claimed before here, or on another machine) counts as this
// machine's own record does, and a claim made while the server was away, or a second attempt
// the supervisor allowed, goes to the server through the outbox.

#include "service/outbox.h"
#include "service/password_attempts.h"
#include "service/school_claims.h"
#include "service/sessions.h"

class Logins {
public:
    Logins(StoreDatabase& database, Sessions& sessions, PasswordAttempts& attempts, Outbox& outbox)
        : database_(database), sessions_(sessions), attempts_(attempts), outbox_(outbox)
    {}

    // Whether a test login of these boxes asks the school server first: the machine has joined
    // one and the boxes pass the dialog's checks. The batch, number and name as they are asked.
    struct ServerQuestion {
        QString batch;
        QString xh;
        QString xm;
    };
    std::optional<ServerQuestion> serverQuestion(const QString& number, const QString& name, const QString& batch) const;

    LoginReply practice(const StoreCaller& caller, const QString& number, const QString& name);
    // withPassword: the second-login row was shown and `password` is what it holds. `server`:
    // the school server's answer to the claim, when it was asked.
    LoginReply test(const StoreCaller& caller, const QString& number, const QString& name, const QString& batch,
                    const QString& password, bool withPassword, const std::optional<ClaimAnswer>& server = {});
    // The system session's results belong to the student the caller's previous session had.
    LoginReply system(const StoreCaller& caller, const QString& userName, const QString& password,
                      const QString& previousSession);

private:
    LoginReply loggedIn(const StoreCaller& caller, LoginMode mode, const QString& number, const QString& name,
                        const QString& batch);
    std::optional<LoginReply> lockedOut(const StoreCaller& caller);
    LoginReply wrongPassword(const StoreCaller& caller);

    void tellServer(OutboxEntry::Kind kind, const QString& batch, const QString& number, const QString& name);

    StoreDatabase& database_;
    Sessions& sessions_;
    PasswordAttempts& attempts_;
    Outbox& outbox_;
};
