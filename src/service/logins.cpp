#include "service/logins.h"

#include "login/login_checks.h"
#include "platform/byte_length.h"
#include "platform/clock.h"

#include <QLocale>
#include <QUuid>

namespace {

// The refusal of a claim another machine holds, in the login dialog's own words.
QString claimedElsewhere(const ClaimAnswer& answer, const QString& batch)
{
    const QString when = answer.claimedAt.isValid()
        ? QLocale(QLocale::Chinese, QLocale::China).toString(answer.claimedAt.toLocalTime(), QStringLiteral("M月d日 HH:mm"))
        : QStringLiteral("此前");
    return QStringLiteral("该学号已于%1在%2上参加过批次%3的测试！再次登录需要二次登录密码。")
        .arg(when, answer.machine, batch);
}

} // namespace

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

std::optional<Logins::ServerQuestion> Logins::serverQuestion(const QString& number, const QString& name,
                                                             const QString& batch) const
{
    if (!outbox_.joined() || LoginChecks::testFields(number, name, batch))
        return std::nullopt;
    return ServerQuestion{trimSpaces(batch), trimSpaces(number), trimSpaces(name)};
}

void Logins::tellServer(OutboxEntry::Kind kind, const QString& batch, const QString& number, const QString& name)
{
    outbox_.addClaim(kind, ServerClaim{QUuid::createUuid().toString(QUuid::WithoutBraces), batch, number, name,
                                       QDateTime::currentDateTime()});
}

LoginReply Logins::test(const StoreCaller& caller, const QString& number, const QString& name, const QString& batch,
                        const QString& password, bool withPassword, const std::optional<ClaimAnswer>& server)
{
    if (const auto fault = LoginChecks::testFields(number, name, batch))
        return storeAnswer<LoginReply>(StoreStatus::Refused, fault->message);
    const QString trimmedNumber = trimSpaces(number);
    const QString trimmedName = trimSpaces(name);
    const QString trimmedBatch = trimSpaces(batch);
    using Kind = ClaimAnswer::Kind;
    const bool claimedOnServer = server && (server->kind == Kind::Again || server->kind == Kind::Elsewhere);
    bool told = false;
    const LoginReply reply = guarded<LoginReply>(database_, [&] {
        GradeStore& grades = database_.grades();
        // The first login of a student in a batch is recorded; a later one needs the
        // second-login password. The school server's claim counts as this machine's record.
        if (!claimedOnServer
            && grades.claimTestLogin(trimmedNumber, trimmedBatch, Clock::today()) == GradeStore::TestLoginClaim::FirstLogin) {
            database_.changed();
            // The server could not be asked: it hears of the claim later.
            if (server && server->kind == Kind::Away) {
                tellServer(OutboxEntry::Kind::Claim, trimmedBatch, trimmedNumber, trimmedName);
                told = true;
            }
            return loggedIn(caller, LoginMode::Test, trimmedNumber, trimmedName, trimmedBatch);
        }
        if (!withPassword)
            return storeAnswer<LoginReply>(StoreStatus::SecondPasswordNeeded,
                                           server && server->kind == Kind::Elsewhere
                                               ? claimedElsewhere(*server, trimmedBatch)
                                               : QString());
        if (auto locked = lockedOut(caller))
            return *locked;
        if (const auto fault = LoginChecks::secondLoginPassword(password))
            return storeAnswer<LoginReply>(StoreStatus::Refused, fault->message);
        if (!grades.secondLoginPasswordMatches(trimSpaces(password)))
            return wrongPassword(caller);
        attempts_.right(caller.uid);
        if (!grades.hasTestLogin(trimmedNumber, trimmedBatch)) {
            grades.addTestLogin(trimmedNumber, trimmedBatch, Clock::today());
            database_.changed();
        }
        // The supervisor allowed an attempt the server knows to be a second one: it records who.
        if (claimedOnServer) {
            tellServer(OutboxEntry::Kind::Allowance, trimmedBatch, trimmedNumber, trimmedName);
            told = true;
        }
        return loggedIn(caller, LoginMode::Test, trimmedNumber, trimmedName, trimmedBatch);
    });
    if (told)
        outbox_.added();
    return reply;
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
