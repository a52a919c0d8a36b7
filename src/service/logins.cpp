#include "service/logins.h"

#include "login/login_checks.h"
#include "platform/byte_length.h"
#include "platform/clock.h"

LoginReply Logins::loggedIn(const StoreCaller& caller, LoginMode mode, const QString& number, const QString& name,
                            const QString& batch)
{
    LoginReply reply = storeAnswer<LoginReply>(StoreStatus::Ok);
    reply.session = sessions_.open(caller, mode, number, name, batch);
    reply.number = number;
    reply.name = name;
    reply.batch = batch;
    return reply;
}

std::optional<LoginReply> Logins::lockedOut(const StoreCaller& caller)
{
    const int seconds = attempts_.secondsLeft(caller.uid, Clock::steadyMilliseconds());
    if (seconds == 0)
        return std::nullopt;
    LoginReply reply = storeAnswer<LoginReply>(
        StoreStatus::TooManyAttempts,
        QStringLiteral("密码连续输错%1次，请%2秒后再试！").arg(PasswordAttempts::kAllowedInARow).arg(seconds));
    reply.seconds = seconds;
    return reply;
}

LoginReply Logins::wrongPassword(const StoreCaller& caller)
{
    attempts_.wrong(caller.uid, Clock::steadyMilliseconds());
    return storeAnswer<LoginReply>(StoreStatus::WrongPassword, QStringLiteral("密码有误！请重输。"));
}

LoginReply Logins::practice(const StoreCaller& caller, const QString& number, const QString& name)
{
    if (const auto fault = LoginChecks::practiceFields(number, name))
        return storeAnswer<LoginReply>(StoreStatus::Refused, fault->message);
    return guarded<LoginReply>(database_, [&] {
        return loggedIn(caller, LoginMode::Practice, trimSpaces(number), trimSpaces(name), QString());
    });
}

LoginReply Logins::test(const StoreCaller& caller, const QString& number, const QString& name, const QString& batch,
                        const QString& password, bool withPassword)
{
    if (const auto fault = LoginChecks::testFields(number, name, batch))
        return storeAnswer<LoginReply>(StoreStatus::Refused, fault->message);
    const QString trimmedNumber = trimSpaces(number);
    const QString trimmedBatch = trimSpaces(batch);
    return guarded<LoginReply>(database_, [&] {
        GradeStore& grades = database_.grades();
        // The first login of a student in a batch is recorded; a later one needs the
        // second-login password.
        if (grades.claimTestLogin(trimmedNumber, trimmedBatch, Clock::today())
            == GradeStore::TestLoginClaim::AlreadyRecorded) {
            if (!withPassword)
                return storeAnswer<LoginReply>(StoreStatus::SecondPasswordNeeded);
            if (auto locked = lockedOut(caller))
                return *locked;
            if (const auto fault = LoginChecks::secondLoginPassword(password))
                return storeAnswer<LoginReply>(StoreStatus::Refused, fault->message);
            if (!grades.secondLoginPasswordMatches(trimSpaces(password)))
                return wrongPassword(caller);
            attempts_.right(caller.uid);
        } else {
            database_.changed();
        }
        return loggedIn(caller, LoginMode::Test, trimmedNumber, trimSpaces(name), trimmedBatch);
    });
}

LoginReply Logins::system(const StoreCaller& caller, const QString& userName, const QString& password,
                          const QString& previousSession)
{
    if (const auto fault = LoginChecks::systemFields(userName, password))
        return storeAnswer<LoginReply>(StoreStatus::Refused, fault->message);
    return guarded<LoginReply>(database_, [&] {
        if (auto locked = lockedOut(caller))
            return *locked;
        if (!database_.grades().systemLoginMatches(trimSpaces(userName), trimSpaces(password)))
            return wrongPassword(caller);
        attempts_.right(caller.uid);
        // The student the program still shows keeps the results taken now.
        const std::optional<Session> previous = sessions_.find(caller, previousSession);
        return loggedIn(caller, LoginMode::System, previous ? previous->number : QString(),
                        previous ? previous->name : QString(), QString());
    });
}
