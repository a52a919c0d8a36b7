#include "service/store_service.h"

#include "exercise/exercise_file_format.h"
#include "exercise/exercise_replay.h"
#include "login/login_checks.h"
#include "maintenance/exercise_file_replacement.h"
#include "platform/byte_length.h"
#include "platform/clock.h"
#include "service/log_checks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

// The service's own tables, in a plain file beside the grade database, attached to the grade
// database's connection as "store" so that a result, its log and its exercise's state change
// in one transaction.
const char* const kStoreTables[] = {
    "CREATE TABLE IF NOT EXISTS store.session (token TEXT PRIMARY KEY, uid INTEGER NOT NULL,"
    " owner TEXT NOT NULL, mode INTEGER NOT NULL, xh TEXT NOT NULL, xm TEXT NOT NULL, lrpc TEXT NOT NULL,"
    " last_call INTEGER NOT NULL)",
    // AUTOINCREMENT: an exercise number is never given twice, so a late answer cannot reach
    // a newer exercise.
    "CREATE TABLE IF NOT EXISTS store.exercise (id INTEGER PRIMARY KEY AUTOINCREMENT, token TEXT NOT NULL,"
    " kind INTEGER NOT NULL, digit INTEGER NOT NULL, text BLOB NOT NULL, opened INTEGER NOT NULL,"
    " opened_day TEXT NOT NULL, state INTEGER NOT NULL DEFAULT 0, reason TEXT, lrcj REAL, lrsd REAL,"
    " lrzql REAL)",
    "CREATE INDEX IF NOT EXISTS store.exercise_by_session ON exercise (token, kind)",
    // The log of a stored result, by the stdgrade row it belongs to; the row's own values are
    // kept to tell a reused rowid from the row the log was written with.
    "CREATE TABLE IF NOT EXISTS store.result_log (grade_rowid INTEGER PRIMARY KEY, xh TEXT, lrxm TEXT,"
    " lrdate TEXT, lrtime TEXT, kind INTEGER NOT NULL, text BLOB NOT NULL, log BLOB NOT NULL)",
};

enum ExerciseState { Open = 0, Stored = 1, Refused = 2 };

template <typename Reply> Reply answer(StoreStatus status, const QString& message = {})
{
    Reply reply;
    reply.status = status;
    reply.message = message;
    return reply;
}

template <typename Reply> Reply databaseError(const DbError& error)
{
    return answer<Reply>(StoreStatus::DatabaseError, error.describe());
}

const QString kNoSession = QStringLiteral("登录已经失效，请重新登录。");
const QString kSystemOnly = QStringLiteral("只有系统登录后才能做这项维护。");

QString lrxmOf(ExerciseKind kind)
{
    return kind == ExerciseKind::English ? QStringLiteral("英文") : QStringLiteral("中文");
}

QString isoDate(const QDate& date)
{
    return date.toString(Qt::ISODate);
}

// What the journal keeps of a refused result: the account and the reason.
void logRefusal(const StoreCaller& caller, qint64 exercise, const QString& reason)
{
    std::fprintf(stderr, "typelab-store: result of exercise %lld not stored for uid %u%s: %s\n",
                 static_cast<long long>(exercise), caller.uid,
                 caller.busName.isEmpty() ? "" : qPrintable(QStringLiteral(" (%1)").arg(caller.busName)),
                 qPrintable(reason));
    std::fflush(stderr);
}

} // namespace

StoreService::StoreService(StorePlaces places, int lockSeconds) : places_(std::move(places)), attempts_(lockSeconds) {}

StoreService::~StoreService() = default;

namespace {
bool identify(const QString& path, quint64& device, quint64& inode)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    device = info.st_dev;
    inode = info.st_ino;
    return true;
}
} // namespace

GradeStore& StoreService::grades()
{
    if (grades_) {
        quint64 device = 0, inode = 0;
        if (!identify(places_.gradeDatabase(), device, inode) || device != gradeDevice_ || inode != gradeInode_)
            grades_.reset();
    }
    if (!grades_) {
        identify(places_.gradeDatabase(), gradeDevice_, gradeInode_);
        // The state folder holds data/stugrade.mdb, as an Application folder does.
        GradeStore store = opendb(places_.stateFolder);
        store.db_.attach(places_.storeDatabase(), QStringLiteral("store"));
        for (const char* sql : kStoreTables)
            store.db_.exec(QString::fromUtf8(sql));
        store.addLookupIndexes();
        grades_.emplace(std::move(store));
    }
    return *grades_;
}

Database& StoreService::db()
{
    return grades().db_;
}

void StoreService::changed()
{
    if (changed_)
        changed_();
}

// ---------------------------------------------------------------- sessions

std::optional<StoreService::Session> StoreService::sessionFor(const StoreCaller& caller, const QString& token)
{
    const qint64 now = Clock::steadyMilliseconds();
    Statement select = db().prepare(
        QStringLiteral("SELECT mode, xh, xm, lrpc, last_call FROM store.session WHERE token = ?1 AND uid = ?2"));
    select.bind(1, token).bind(2, qint64(caller.uid));
    if (!select.step())
        return std::nullopt;
    const qint64 lastCall = select.integer(4);
    // After a restart of the machine the steady clock starts again below every stored call.
    if (lastCall > now || now - lastCall > kSessionIdleMilliseconds) {
        db().prepare(QStringLiteral("DELETE FROM store.session WHERE token = ?1")).bind(1, token).exec();
        return std::nullopt;
    }
    Session session{token, LoginMode(select.integer(0)), select.text(1), select.text(2), select.text(3)};
    select.reset();
    db().prepare(QStringLiteral("UPDATE store.session SET last_call = ?1 WHERE token = ?2"))
        .bind(1, now)
        .bind(2, token)
        .exec();
    return session;
}

QString StoreService::newSession(const StoreCaller& caller, LoginMode mode, const QString& number, const QString& name,
                                 const QString& batch)
{
    quint32 random[4];
    QRandomGenerator::system()->fillRange(random);
    const QString token = QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(random), sizeof random).toHex());
    db().prepare(QStringLiteral("INSERT INTO store.session (token, uid, owner, mode, xh, xm, lrpc, last_call)"
                                " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)"))
        .bind(1, token)
        .bind(2, qint64(caller.uid))
        .bind(3, caller.busName)
        .bind(4, int(mode))
        .bind(5, number)
        .bind(6, name)
        .bind(7, batch)
        .bind(8, Clock::steadyMilliseconds())
        .exec();
    return token;
}

LoginReply StoreService::loggedIn(const StoreCaller& caller, LoginMode mode, const QString& number, const QString& name,
                                  const QString& batch)
{
    LoginReply reply = answer<LoginReply>(StoreStatus::Ok);
    reply.session = newSession(caller, mode, number, name, batch);
    reply.number = number;
    reply.name = name;
    reply.batch = batch;
    return reply;
}

std::optional<LoginReply> StoreService::lockedOut(const StoreCaller& caller)
{
    const int seconds = attempts_.secondsLeft(caller.uid, Clock::steadyMilliseconds());
    if (seconds == 0)
        return std::nullopt;
    LoginReply reply = answer<LoginReply>(
        StoreStatus::TooManyAttempts,
        QStringLiteral("密码连续输错%1次，请%2秒后再试！").arg(PasswordAttempts::kAllowedInARow).arg(seconds));
    reply.seconds = seconds;
    return reply;
}

LoginReply StoreService::wrongPassword(const StoreCaller& caller)
{
    attempts_.wrong(caller.uid, Clock::steadyMilliseconds());
    return answer<LoginReply>(StoreStatus::WrongPassword, QStringLiteral("密码有误！请重输。"));
}

LoginReply StoreService::practiceLogin(const StoreCaller& caller, const QString& number, const QString& name)
{
    if (const auto fault = LoginChecks::practiceFields(number, name))
        return answer<LoginReply>(StoreStatus::Refused, fault->message);
    try {
        return loggedIn(caller, LoginMode::Practice, trimSpaces(number), trimSpaces(name), QString());
    } catch (const DbError& error) {
        grades_.reset();
        return databaseError<LoginReply>(error);
    }
}

LoginReply StoreService::testLogin(const StoreCaller& caller, const QString& number, const QString& name,
                                   const QString& batch, const QString& password, bool withPassword)
{
    if (const auto fault = LoginChecks::testFields(number, name, batch))
        return answer<LoginReply>(StoreStatus::Refused, fault->message);
    const QString trimmedNumber = trimSpaces(number);
    const QString trimmedBatch = trimSpaces(batch);
    try {
        // The first login of a student in a batch is recorded; a later one needs the
        // second-login password.
        if (grades().claimTestLogin(trimmedNumber, trimmedBatch, Clock::today())
            == GradeStore::TestLoginClaim::AlreadyRecorded) {
            if (!withPassword)
                return answer<LoginReply>(StoreStatus::SecondPasswordNeeded);
            if (auto locked = lockedOut(caller))
                return *locked;
            if (const auto fault = LoginChecks::secondLoginPassword(password))
                return answer<LoginReply>(StoreStatus::Refused, fault->message);
            if (!grades().secondLoginPasswordMatches(trimSpaces(password)))
                return wrongPassword(caller);
            attempts_.right(caller.uid);
        } else {
            changed();
        }
        return loggedIn(caller, LoginMode::Test, trimmedNumber, trimSpaces(name), trimmedBatch);
    } catch (const DbError& error) {
        grades_.reset();
        return databaseError<LoginReply>(error);
    }
}

LoginReply StoreService::systemLogin(const StoreCaller& caller, const QString& userName, const QString& password,
                                     const QString& previousSession)
{
    if (const auto fault = LoginChecks::systemFields(userName, password))
        return answer<LoginReply>(StoreStatus::Refused, fault->message);
    try {
        if (auto locked = lockedOut(caller))
            return *locked;
        if (!grades().systemLoginMatches(trimSpaces(userName), trimSpaces(password)))
            return wrongPassword(caller);
        attempts_.right(caller.uid);
        // The student the program still shows keeps the results taken now.
        const std::optional<Session> previous = sessionFor(caller, previousSession);
        return loggedIn(caller, LoginMode::System, previous ? previous->number : QString(),
                        previous ? previous->name : QString(), QString());
    } catch (const DbError& error) {
        grades_.reset();
        return databaseError<LoginReply>(error);
    }
}

void StoreService::endSession(const StoreCaller& caller, const QString& session)
{
    try {
        db().prepare(QStringLiteral("DELETE FROM store.session WHERE token = ?1 AND uid = ?2"))
            .bind(1, session)
            .bind(2, qint64(caller.uid))
            .exec();
    } catch (const DbError&) {
        grades_.reset(); // an hour without a call ends it all the same
    }
}

void StoreService::programEnded(const QString& busName)
{
    if (busName.isEmpty())
        return;
    try {
        db().prepare(QStringLiteral("DELETE FROM store.session WHERE owner = ?1")).bind(1, busName).exec();
    } catch (const DbError&) {
        grades_.reset();
    }
}

QStringList StoreService::sessionOwners()
{
    QStringList owners;
    try {
        Statement select = db().prepare(QStringLiteral("SELECT DISTINCT owner FROM store.session WHERE owner <> ''"));
        while (select.step())
            owners << select.text(0);
    } catch (const DbError&) {
        grades_.reset();
    }
    return owners;
}

// ---------------------------------------------------------------- purge

StoreReply StoreService::purge()
{
    try {
        const GradeStore::PurgeCounts purged = grades().purgeOld(Clock::today());
        // The store's own tables follow in a transaction of their own: a log left behind by a
        // failure here goes at the next purge, and a later result on the same rowid replaces it.
        Database& database = db();
        const qint64 now = Clock::steadyMilliseconds();
        Transaction transaction(database);
        database.exec(
            QStringLiteral("DELETE FROM store.result_log WHERE grade_rowid NOT IN (SELECT rowid FROM main.stdgrade)"));
        database.prepare(QStringLiteral("DELETE FROM store.session WHERE last_call > ?1 OR last_call < ?2"))
            .bind(1, now)
            .bind(2, now - kSessionIdleMilliseconds)
            .exec();
        database.prepare(QStringLiteral("DELETE FROM store.exercise WHERE opened_day < ?1"))
            .bind(1, isoDate(Clock::today().addDays(-1)))
            .exec();
        transaction.commit();
        if (purged.results > 0 || purged.testLogins > 0)
            changed();
        return answer<StoreReply>(StoreStatus::Ok);
    } catch (const DbError& error) {
        grades_.reset();
        return databaseError<StoreReply>(error);
    }
}

// ---------------------------------------------------------------- exercises

OpenReply StoreService::openExercise(const StoreCaller& caller, const QString& session, int kindNumber)
{
    if (kindNumber != int(ExerciseKind::English) && kindNumber != int(ExerciseKind::Chinese))
        return answer<OpenReply>(StoreStatus::Refused, QStringLiteral("没有这个录入项目。"));
    const auto kind = ExerciseKind(kindNumber);
    try {
        const std::optional<Session> found = sessionFor(caller, session);
        if (!found || found->mode == LoginMode::None)
            return answer<OpenReply>(StoreStatus::NoSession, kNoSession);
        if (found->mode == LoginMode::Test) {
            Statement taken =
                db().prepare(QStringLiteral("SELECT 1 FROM store.exercise WHERE token = ?1 AND kind = ?2 LIMIT 1"));
            taken.bind(1, session).bind(2, kindNumber);
            if (taken.step())
                return answer<OpenReply>(StoreStatus::AlreadyTaken,
                                         QStringLiteral("本次测试登录已经录入过%1，不能再录。").arg(lrxmOf(kind)));
        }
        const int digit = ExerciseLoader::drawDigit();
        const ExerciseFileFormat::FileRead file = ExerciseFileFormat::readFile(places_.exerciseFile(kind, digit));
        if (file.status != ExerciseFileFormat::FileRead::Status::Ok || !ExerciseLoader::fromText(file.text, kind))
            return answer<OpenReply>(StoreStatus::BadExerciseFile,
                                     QStringLiteral("打开文件错或源文件不是程序所规定的文件！"));
        db().prepare(QStringLiteral("INSERT INTO store.exercise (token, kind, digit, text, opened, opened_day)"
                                    " VALUES (?1, ?2, ?3, ?4, ?5, ?6)"))
            .bind(1, session)
            .bind(2, kindNumber)
            .bind(3, digit)
            .bindBlob(4, file.text)
            .bind(5, Clock::steadyMilliseconds())
            .bind(6, isoDate(Clock::today()))
            .exec();
        OpenReply reply = answer<OpenReply>(StoreStatus::Ok);
        reply.exercise = db().lastInsertRowid();
        reply.digit = digit;
        reply.text = file.text;
        return reply;
    } catch (const DbError& error) {
        grades_.reset();
        return databaseError<OpenReply>(error);
    }
}

FinishReply StoreService::refuseLog(const StoreCaller& caller, qint64 exercise, const QString& reason)
{
    logRefusal(caller, exercise, reason);
    db().prepare(QStringLiteral("UPDATE store.exercise SET state = ?1, reason = ?2 WHERE id = ?3"))
        .bind(1, int(Refused))
        .bind(2, reason)
        .bind(3, exercise)
        .exec();
    return answer<FinishReply>(StoreStatus::NotStored, reason);
}

FinishReply StoreService::finishExercise(const StoreCaller& caller, const QString& session, qint64 exercise,
                                         const QByteArray& logBytes)
{
    try {
        const std::optional<Session> found = sessionFor(caller, session);
        if (!found)
            return answer<FinishReply>(StoreStatus::NoSession, kNoSession);
        Statement select = db().prepare(QStringLiteral("SELECT kind, text, opened, state, reason, lrcj, lrsd, lrzql"
                                                       " FROM store.exercise WHERE id = ?1 AND token = ?2"));
        select.bind(1, exercise).bind(2, session);
        if (!select.step())
            return answer<FinishReply>(StoreStatus::Refused, QStringLiteral("这个练习没有打开过。"));
        const auto kind = ExerciseKind(select.integer(0));
        const QByteArray textBytes = select.blob(1);
        const qint64 opened = select.integer(2);
        const int state = int(select.integer(3));
        if (state == Stored) {
            // The answer was lost on its way: the same figures again.
            FinishReply reply = answer<FinishReply>(StoreStatus::Ok);
            reply.score = select.real(5);
            reply.speed = select.real(6);
            reply.accuracy = select.real(7);
            return reply;
        }
        if (state == Refused)
            return answer<FinishReply>(StoreStatus::NotStored, select.text(4));
        select.reset();

        const std::optional<KeystrokeLog> log = KeystrokeLogs::decode(logBytes);
        if (!log)
            return refuseLog(caller, exercise, QStringLiteral("录入记录无法识别"));
        const qint64 now = Clock::steadyMilliseconds();
        if (now < opened)
            return refuseLog(caller, exercise, QStringLiteral("练习打开之后计算机重新启动过"));
        if (const auto problem = LogChecks::timingProblem(*log, now - opened))
            return refuseLog(caller, exercise, *problem);
        const std::optional<ExerciseText> text = ExerciseLoader::fromText(textBytes, kind);
        if (!text)
            return refuseLog(caller, exercise, QStringLiteral("练习的文本无法使用"));
        const ExerciseReplay::Outcome outcome = ExerciseReplay::replay(*text, kind, *log);
        if (outcome.problem)
            return refuseLog(caller, exercise, *outcome.problem);

        GradeRow row;
        row.xh = found->number;
        row.xm = found->name;
        row.lrxm = lrxmOf(kind);
        row.lrcj = outcome.result.score;
        row.lrsd = outcome.result.speed;
        row.lrzql = outcome.result.accuracy;
        row.lrdate = Clock::today();
        row.lrtime = Clock::timeOfDay();
        row.lrpc = found->batch;

        Database& database = db();
        Transaction transaction(database);
        grades().addResult(row);
        const qint64 rowid = database.lastInsertRowid();
        database
            .prepare(QStringLiteral("INSERT OR REPLACE INTO store.result_log (grade_rowid, xh, lrxm, lrdate, lrtime,"
                                    " kind, text, log) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)"))
            .bind(1, rowid)
            .bind(2, row.xh)
            .bind(3, row.lrxm)
            .bind(4, isoDate(row.lrdate))
            .bind(5, row.lrtime.toString(QStringLiteral("HH:mm:ss")))
            .bind(6, int(kind))
            .bindBlob(7, textBytes)
            .bindBlob(8, logBytes)
            .exec();
        database
            .prepare(
                QStringLiteral("UPDATE store.exercise SET state = ?1, lrcj = ?2, lrsd = ?3, lrzql = ?4 WHERE id = ?5"))
            .bind(1, int(Stored))
            .bind(2, row.lrcj)
            .bind(3, row.lrsd)
            .bind(4, row.lrzql)
            .bind(5, exercise)
            .exec();
        transaction.commit();
        changed();

        FinishReply reply = answer<FinishReply>(StoreStatus::Ok);
        reply.score = row.lrcj;
        reply.speed = row.lrsd;
        reply.accuracy = row.lrzql;
        return reply;
    } catch (const DbError& error) {
        grades_.reset();
        return databaseError<FinishReply>(error);
    }
}

// ---------------------------------------------------------------- reading

PageReply StoreService::historyAt(qint64 offset, int limit)
{
    try {
        PageReply reply = answer<PageReply>(StoreStatus::Ok);
        reply.count = grades().resultCount();
        reply.page = grades().historyPageAt(offset, qBound(0, limit, 1000));
        return reply;
    } catch (const DbError& error) {
        grades_.reset();
        return databaseError<PageReply>(error);
    }
}

PageReply StoreService::historyOlderThan(const HistoryPages::Key& key, int limit)
{
    try {
        PageReply reply = answer<PageReply>(StoreStatus::Ok);
        reply.page = grades().historyPageOlderThan(key, qBound(0, limit, 1000));
        return reply;
    } catch (const DbError& error) {
        grades_.reset();
        return databaseError<PageReply>(error);
    }
}

PageReply StoreService::historyNewerThan(const HistoryPages::Key& key, int limit)
{
    try {
        PageReply reply = answer<PageReply>(StoreStatus::Ok);
        reply.page = grades().historyPageNewerThan(key, qBound(0, limit, 1000));
        return reply;
    } catch (const DbError& error) {
        grades_.reset();
        return databaseError<PageReply>(error);
    }
}

RowsReply StoreService::batchResults(const QString& batch)
{
    try {
        RowsReply reply = answer<RowsReply>(StoreStatus::Ok);
        reply.rows = grades().batchResults(batch);
        return reply;
    } catch (const DbError& error) {
        grades_.reset();
        return databaseError<RowsReply>(error);
    }
}

namespace {
// What the store reads by: the boxes trimmed, as the window sends them.
HistoryPages::Filter trimmed(HistoryPages::Filter filter)
{
    filter.number = trimSpaces(filter.number);
    filter.name = trimSpaces(filter.name);
    filter.batch = trimSpaces(filter.batch);
    return filter;
}
} // namespace

template <typename Reply, typename Read> Reply StoreService::filteredRead(const HistoryPages::Filter& filter, Read read)
{
    const HistoryPages::Filter used = trimmed(filter);
    if (const auto problem = HistoryPages::Filters::problem(used))
        return answer<Reply>(StoreStatus::Refused, *problem);
    try {
        Reply reply = answer<Reply>(StoreStatus::Ok);
        read(grades(), used, reply);
        return reply;
    } catch (const DbError& error) {
        grades_.reset();
        return databaseError<Reply>(error);
    }
}

PageReply StoreService::historyFilteredAt(const HistoryPages::Filter& filter, qint64 offset, int limit)
{
    return filteredRead<PageReply>(filter, [&](GradeStore& store, const HistoryPages::Filter& used, PageReply& reply) {
        reply.count = store.resultCount(used);
        reply.page = store.historyPageAt(used, qMax<qint64>(0, offset), qBound(0, limit, 1000));
    });
}

PageReply StoreService::historyFilteredOlderThan(const HistoryPages::Filter& filter, const HistoryPages::Key& key,
                                                 int limit)
{
    return filteredRead<PageReply>(filter, [&](GradeStore& store, const HistoryPages::Filter& used, PageReply& reply) {
        reply.page = store.historyPageOlderThan(used, key, qBound(0, limit, 1000));
    });
}

PageReply StoreService::historyFilteredNewerThan(const HistoryPages::Filter& filter, const HistoryPages::Key& key,
                                                 int limit)
{
    return filteredRead<PageReply>(filter, [&](GradeStore& store, const HistoryPages::Filter& used, PageReply& reply) {
        reply.page = store.historyPageNewerThan(used, key, qBound(0, limit, 1000));
    });
}

RowsReply StoreService::studentResults(const QString& number)
{
    HistoryPages::Filter filter;
    filter.number = trimSpaces(number);
    if (filter.number.isEmpty())
        return answer<RowsReply>(StoreStatus::Refused, QStringLiteral("学号不能为空！"));
    return filteredRead<RowsReply>(filter, [](GradeStore& store, const HistoryPages::Filter& used, RowsReply& reply) {
        reply.rows = store.studentResults(used.number);
    });
}

// ---------------------------------------------------------------- maintenance

std::optional<StoreReply> StoreService::needSystemSession(const StoreCaller& caller, const QString& session)
{
    const std::optional<Session> found = sessionFor(caller, session);
    if (!found)
        return answer<StoreReply>(StoreStatus::NoSession, kNoSession);
    if (found->mode != LoginMode::System)
        return answer<StoreReply>(StoreStatus::Refused, kSystemOnly);
    return std::nullopt;
}

PasswordReply StoreService::password(const StoreCaller& caller, const QString& session, int column)
{
    try {
        if (const auto refused = needSystemSession(caller, session)) {
            PasswordReply reply;
            static_cast<StoreReply&>(reply) = *refused;
            return reply;
        }
        const std::optional<SystemRow> row = grades().systemRow();
        if (!row)
            return answer<PasswordReply>(StoreStatus::Refused,
                                         QStringLiteral("数据库的system表中没有记录，无法修改密码！"));
        PasswordReply reply = answer<PasswordReply>(StoreStatus::Ok);
        reply.password = column == int(PasswordColumn::SecondLogin) ? row->xsmm : row->usermm;
        return reply;
    } catch (const DbError& error) {
        grades_.reset();
        return databaseError<PasswordReply>(error);
    }
}

StoreReply StoreService::setPassword(const StoreCaller& caller, const QString& session, int column,
                                     const QString& password)
{
    if (column != int(PasswordColumn::SecondLogin) && column != int(PasswordColumn::User))
        return answer<StoreReply>(StoreStatus::Refused, QStringLiteral("没有这个密码。"));
    const QString trimmed = trimSpaces(password);
    if (trimmed.isEmpty() || bytelen(trimmed) > 10)
        return answer<StoreReply>(StoreStatus::Refused,
                                  column == int(PasswordColumn::SecondLogin)
                                      ? QStringLiteral("二次登录密码不能为空或超出10位!")
                                      : QStringLiteral("用户登录密码不能为空或超出10位!"));
    try {
        if (const auto refused = needSystemSession(caller, session))
            return *refused;
        if (!grades().setPassword(PasswordColumn(column), trimmed))
            return answer<StoreReply>(StoreStatus::Refused,
                                      QStringLiteral("数据库的system表中没有记录，无法修改密码！"));
        return answer<StoreReply>(StoreStatus::Ok);
    } catch (const DbError& error) {
        grades_.reset();
        return databaseError<StoreReply>(error);
    }
}

StoreReply StoreService::clearHistory(const StoreCaller& caller, const QString& session)
{
    try {
        if (const auto refused = needSystemSession(caller, session))
            return *refused;
        grades().clearHistory(); // both tables in one transaction
        changed();
        // The logs go after their results. One left by a failure here belongs to no row: a later
        // result on its rowid replaces it, the next purge removes it, and the history is cleared.
        try {
            db().exec(QStringLiteral("DELETE FROM store.result_log"));
        } catch (const DbError&) {}
        return answer<StoreReply>(StoreStatus::Ok);
    } catch (const DbError& error) {
        grades_.reset();
        return databaseError<StoreReply>(error);
    }
}

StoreReply StoreService::replaceText(const StoreCaller& caller, const QString& session, const QString& name,
                                     const QByteArray& text)
{
    const QString target = places_.ownedText(name);
    if (target.isEmpty())
        return answer<StoreReply>(StoreStatus::Refused, QStringLiteral("只能更换录入文件和帮助文件。"));
    try {
        if (const auto refused = needSystemSession(caller, session))
            return *refused;
    } catch (const DbError& error) {
        grades_.reset();
        return databaseError<StoreReply>(error);
    }
    using ExerciseFileReplacement::TargetUse;
    const TargetUse use = name.startsWith(u'y') ? TargetUse::EnglishExercise
        : name.startsWith(u'z')                 ? TargetUse::ChineseExercise
                                                : TargetUse::HelpText;
    if (const auto problem = ExerciseFileReplacement::textProblem(text, use))
        return answer<StoreReply>(StoreStatus::Refused, *problem);
    const ExerciseFileReplacement::Outcome outcome = ExerciseFileReplacement::writeText(target, text);
    if (!outcome.replaced)
        return answer<StoreReply>(StoreStatus::Refused, outcome.message);
    return answer<StoreReply>(StoreStatus::Ok);
}

// ---------------------------------------------------------------- the share's copy

std::optional<QString> StoreService::publishCopy()
{
    const QString copy = places_.publishedCopy();
    if (copy.isEmpty())
        return std::nullopt;
    const QString fresh = QFileInfo(copy).absolutePath() + QStringLiteral("/.stugrade.mdb.new");
    QFile::remove(fresh);
    try {
        QDir().mkpath(QFileInfo(copy).absolutePath());
        {
            Database target = GradeStore::createWithoutCredentials(fresh);
            target.attach(places_.gradeDatabase(), QStringLiteral("live"), GradeStore::databasePassword);
            Transaction transaction(target);
            target.exec(QStringLiteral("INSERT INTO stdgrade SELECT xh, xm, lrxm, lrcj, lrsd, lrzql, lrdate, lrtime,"
                                       " lrpc FROM live.stdgrade ORDER BY rowid"));
            target.exec(QStringLiteral("INSERT INTO recxh SELECT xh, lrpc, lrdate FROM live.recxh ORDER BY rowid"));
            transaction.commit();
        }
        // Whoever reads the share may read the copy; it carries no credentials.
        QFile::setPermissions(
            fresh, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
        if (::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(copy).constData()) != 0)
            return QStringLiteral("%1：无法替换（%2）").arg(copy, QString::fromLocal8Bit(std::strerror(errno)));
    } catch (const DbError& error) {
        QFile::remove(fresh);
        return error.describe();
    }
    return std::nullopt;
}
