#pragma once
// The three logins, checked again here as the login dialog checks them, so that a call made
// straight to the bus cannot log in with what the dialog refuses. A test login claims its batch
// (a second one needs the second-login password), and passwords tried too often lock the
// account for a while.

#include "service/password_attempts.h"
#include "service/sessions.h"

class Logins {
public:
    Logins(StoreDatabase& database, Sessions& sessions, PasswordAttempts& attempts)
        : database_(database), sessions_(sessions), attempts_(attempts)
    {}

    LoginReply practice(const StoreCaller& caller, const QString& number, const QString& name);
    // withPassword: the second-login row was shown and `password` is what it holds.
    LoginReply test(const StoreCaller& caller, const QString& number, const QString& name, const QString& batch,
                    const QString& password, bool withPassword);
    // The system session's results belong to the student the caller's previous session had.
    LoginReply system(const StoreCaller& caller, const QString& userName, const QString& password,
                      const QString& previousSession);

private:
    LoginReply loggedIn(const StoreCaller& caller, LoginMode mode, const QString& number, const QString& name,
                        const QString& batch);
    std::optional<LoginReply> lockedOut(const StoreCaller& caller);
    LoginReply wrongPassword(const StoreCaller& caller);

    StoreDatabase& database_;
    Sessions& sessions_;
    PasswordAttempts& attempts_;
};
