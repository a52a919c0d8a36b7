#pragma once
// Wrong passwords per account: after five in a row (system login and second login together),
// every attempt of that account is refused for a while, right or wrong; a right password
// starts the count again.

#include <QHash>

class PasswordAttempts {
public:
    static constexpr int kAllowedInARow = 5;

    explicit PasswordAttempts(int lockSeconds = 30) : lockMilliseconds_(qint64(lockSeconds) * 1000) {}

    // Whole seconds, rounded up, that the account still waits; 0 when it may try.
    int secondsLeft(quint32 uid, qint64 nowMilliseconds) const;
    void wrong(quint32 uid, qint64 nowMilliseconds);
    void right(quint32 uid);

private:
    struct Account {
        int wrongInARow = 0;
        qint64 lockedUntil = 0;
    };
    qint64 lockMilliseconds_;
    QHash<quint32, Account> accounts_;
};
