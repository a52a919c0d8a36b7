#include "service/maintenance.h"

#include "maintenance/exercise_file_replacement.h"
#include "platform/byte_length.h"
#include "service/exercises.h"

namespace {

const QString kNoSystemRow = QStringLiteral("数据库的system表中没有记录，无法修改密码！");

bool isPasswordColumn(PasswordColumn column)
{
    return column == PasswordColumn::SecondLogin || column == PasswordColumn::User;
}

} // namespace

std::optional<StoreReply> Maintenance::needSystemSession(const StoreCaller& caller, const QString& session)
{
    const std::optional<Session> found = sessions_.find(caller, session);
    if (!found)
        return storeAnswer<StoreReply>(StoreStatus::NoSession, Sessions::expired());
    if (found->mode != LoginMode::System)
        return storeAnswer<StoreReply>(StoreStatus::Refused, QStringLiteral("只有系统登录后才能做这项维护。"));
    return std::nullopt;
}

PasswordReply Maintenance::password(const StoreCaller& caller, const QString& session, PasswordColumn column)
{
    return guarded<PasswordReply>(database_, [&] {
        if (const auto refused = needSystemSession(caller, session))
            return storeAnswer<PasswordReply>(refused->status, refused->message);
        const std::optional<SystemRow> row = database_.grades().systemRow();
        if (!row)
            return storeAnswer<PasswordReply>(StoreStatus::Refused, kNoSystemRow);
        PasswordReply reply = storeAnswer<PasswordReply>(StoreStatus::Ok);
        reply.password = column == PasswordColumn::SecondLogin ? row->xsmm : row->usermm;
        return reply;
    });
}

StoreReply Maintenance::setPassword(const StoreCaller& caller, const QString& session, PasswordColumn column,
                                    const QString& password)
{
    if (!isPasswordColumn(column))
        return storeAnswer<StoreReply>(StoreStatus::Refused, QStringLiteral("没有这个密码。"));
    const QString trimmed = trimSpaces(password);
    if (trimmed.isEmpty() || bytelen(trimmed) > 10)
        return storeAnswer<StoreReply>(StoreStatus::Refused, column == PasswordColumn::SecondLogin
                                                                 ? QStringLiteral("二次登录密码不能为空或超出10位!")
                                                                 : QStringLiteral("用户登录密码不能为空或超出10位!"));
    return guarded<StoreReply>(database_, [&] {
        if (const auto refused = needSystemSession(caller, session))
            return *refused;
        if (!database_.grades().setPassword(column, trimmed))
            return storeAnswer<StoreReply>(StoreStatus::Refused, kNoSystemRow);
        return storeAnswer<StoreReply>(StoreStatus::Ok);
    });
}

StoreReply Maintenance::clearHistory(const StoreCaller& caller, const QString& session)
{
    return guarded<StoreReply>(database_, [&] {
        if (const auto refused = needSystemSession(caller, session))
            return *refused;
        database_.grades().clearHistory(); // both tables in one transaction
        database_.changed();
        // The logs go after their results. One left by a failure here belongs to no row: a later
        // result on its rowid replaces it, the next purge removes it, and the history is cleared.
        try {
            exercises_.forgetLogs();
        } catch (const DbError&) {
        }
        return storeAnswer<StoreReply>(StoreStatus::Ok);
    });
}

StoreReply Maintenance::replaceText(const StoreCaller& caller, const QString& session, const QString& name,
                                    const QByteArray& text)
{
    const QString target = database_.places().ownedText(name);
    if (target.isEmpty())
        return storeAnswer<StoreReply>(StoreStatus::Refused, QStringLiteral("只能更换录入文件和帮助文件。"));
    const StoreReply allowed = guarded<StoreReply>(database_, [&] {
        return needSystemSession(caller, session).value_or(storeAnswer<StoreReply>(StoreStatus::Ok));
    });
    if (!allowed.ok())
        return allowed;
    using ExerciseFileReplacement::TargetUse;
    const TargetUse use = name.startsWith(u'y') ? TargetUse::EnglishExercise
        : name.startsWith(u'z')                 ? TargetUse::ChineseExercise
                                                : TargetUse::HelpText;
    if (const auto problem = ExerciseFileReplacement::textProblem(text, use))
        return storeAnswer<StoreReply>(StoreStatus::Refused, *problem);
    const ExerciseFileReplacement::Outcome outcome = ExerciseFileReplacement::writeText(target, text);
    if (!outcome.replaced)
        return storeAnswer<StoreReply>(StoreStatus::Refused, outcome.message);
    return storeAnswer<StoreReply>(StoreStatus::Ok);
}
