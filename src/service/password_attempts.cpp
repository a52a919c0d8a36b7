#include "service/password_attempts.h"

int PasswordAttempts::secondsLeft(quint32 uid, qint64 nowMilliseconds) const
{
    const auto found = accounts_.constFind(uid);
    if (found == accounts_.constEnd() || found->lockedUntil <= nowMilliseconds)
        return 0;
    return int((found->lockedUntil - nowMilliseconds + 999) / 1000);
}

void PasswordAttempts::wrong(quint32 uid, qint64 nowMilliseconds)
{
    Account& account = accounts_[uid];
    if (++account.wrongInARow >= kAllowedInARow) {
        account.wrongInARow = 0;
        account.lockedUntil = nowMilliseconds + lockMilliseconds_;
    }
}

void PasswordAttempts::right(quint32 uid)
{
    accounts_.remove(uid);
}
