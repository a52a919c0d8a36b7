#include "service/exercises.h"

#include "exercise/exercise_file_format.h"
#include "exercise/exercise_replay.h"
#include "platform/clock.h"
#include "service/log_checks.h"

#include <QUuid>

#include <cstdio>

namespace {

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

FinishReply figures(double score, double speed, double accuracy)
{
    FinishReply reply = storeAnswer<FinishReply>(StoreStatus::Ok);
    reply.score = score;
    reply.speed = speed;
    reply.accuracy = accuracy;
    return reply;
}

} // namespace

QStringList Exercises::tables()
{
    return {
        // AUTOINCREMENT: an exercise number is never given twice, so a late answer cannot reach
        // a newer exercise.
        QStringLiteral("CREATE TABLE IF NOT EXISTS store.exercise (id INTEGER PRIMARY KEY AUTOINCREMENT,"
                       " token TEXT NOT NULL, kind INTEGER NOT NULL, digit INTEGER NOT NULL, text BLOB NOT NULL,"
                       " opened INTEGER NOT NULL, opened_day TEXT NOT NULL, state INTEGER NOT NULL DEFAULT 0,"
                       " reason TEXT, lrcj REAL, lrsd REAL, lrzql REAL)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS store.exercise_by_session ON exercise (token, kind)"),
        // The log of a stored result, by the stdgrade row it belongs to; the row's own values are
        // kept to tell a reused rowid from the row the log was written with.
        QStringLiteral("CREATE TABLE IF NOT EXISTS store.result_log (grade_rowid INTEGER PRIMARY KEY, xh TEXT,"
                       " lrxm TEXT, lrdate TEXT, lrtime TEXT, kind INTEGER NOT NULL, text BLOB NOT NULL,"
                       " log BLOB NOT NULL)"),
    };
}

bool Exercises::taken(const QString& session, ExerciseKind kind)
{
    Statement taken =
        database_.db().prepare(QStringLiteral("SELECT 1 FROM store.exercise WHERE token = ?1 AND kind = ?2 LIMIT 1"));
    taken.bind(1, session).bind(2, int(kind));
    return taken.step();
}

OpenReply Exercises::open(const StoreCaller& caller, const QString& session, ExerciseKind kind)
{
    if (!ExerciseKinds::fromNumber(int(kind)))
        return storeAnswer<OpenReply>(StoreStatus::Refused, QStringLiteral("没有这个录入项目。"));
    return guarded<OpenReply>(database_, [&] {
        const std::optional<Session> found = sessions_.find(caller, session);
        if (!found || found->mode == LoginMode::None)
            return storeAnswer<OpenReply>(StoreStatus::NoSession, Sessions::expired());
        if (found->mode == LoginMode::Test && taken(session, kind))
            return storeAnswer<OpenReply>(
                StoreStatus::AlreadyTaken,
                QStringLiteral("本次测试登录已经录入过%1，不能再录。").arg(ExerciseKinds::name(kind)));
        const int digit = ExerciseLoader::drawDigit();
        const ExerciseFileFormat::FileRead file =
            ExerciseFileFormat::readFile(database_.places().exerciseFile(kind, digit));
        if (file.status != ExerciseFileFormat::FileRead::Status::Ok || !ExerciseLoader::fromText(file.text, kind))
            return storeAnswer<OpenReply>(StoreStatus::BadExerciseFile,
                                          QStringLiteral("打开文件错或源文件不是程序所规定的文件！"));
        Database& db = database_.db();
        db.prepare(QStringLiteral("INSERT INTO store.exercise (token, kind, digit, text, opened, opened_day)"
                                  " VALUES (?1, ?2, ?3, ?4, ?5, ?6)"))
            .bind(1, session)
            .bind(2, int(kind))
            .bind(3, digit)
            .bindBlob(4, file.text)
            .bind(5, Clock::steadyMilliseconds())
            .bind(6, isoDate(Clock::today()))
            .exec();
        OpenReply reply = storeAnswer<OpenReply>(StoreStatus::Ok);
        reply.exercise = db.lastInsertRowid();
        reply.digit = digit;
        reply.text = file.text;
        return reply;
    });
}

std::optional<Exercises::Opened> Exercises::opened(const QString& session, qint64 exercise)
{
    Statement select = database_.db().prepare(QStringLiteral(
        "SELECT kind, text, opened, state, reason, lrcj, lrsd, lrzql FROM store.exercise WHERE id = ?1 AND token = ?2"));
    select.bind(1, exercise).bind(2, session);
    if (!select.step())
        return std::nullopt;
    Opened found;
    found.kind = ExerciseKind(select.integer(0));
    found.text = select.blob(1);
    found.openedAt = select.integer(2);
    found.state = State(select.integer(3));
    found.reason = select.text(4);
    found.score = select.real(5);
    found.speed = select.real(6);
    found.accuracy = select.real(7);
    return found;
}

FinishReply Exercises::refuse(const StoreCaller& caller, qint64 exercise, const QString& reason)
{
    logRefusal(caller, exercise, reason);
    database_.db()
        .prepare(QStringLiteral("UPDATE store.exercise SET state = ?1, reason = ?2 WHERE id = ?3"))
        .bind(1, int(Refused))
        .bind(2, reason)
        .bind(3, exercise)
        .exec();
    return storeAnswer<FinishReply>(StoreStatus::NotStored, reason);
}

bool Exercises::store(const GradeRow& row, const Opened& opened, qint64 exercise, const QByteArray& log)
{
    Database& db = database_.db();
    const bool forwarded = outbox_.joined();
    Transaction transaction(db);
    database_.grades().addResult(row);
    const qint64 rowid = db.lastInsertRowid();
    if (forwarded)
        outbox_.addResult(ServerResult{QUuid::createUuid().toString(QUuid::WithoutBraces), row, opened.kind,
                                       opened.text, log},
                          rowid);
    db.prepare(QStringLiteral("INSERT OR REPLACE INTO store.result_log (grade_rowid, xh, lrxm, lrdate, lrtime, kind,"
                              " text, log) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)"))
        .bind(1, rowid)
        .bind(2, row.xh)
        .bind(3, row.lrxm)
        .bind(4, isoDate(row.lrdate))
        .bind(5, row.lrtime.toString(QStringLiteral("HH:mm:ss")))
        .bind(6, int(opened.kind))
        .bindBlob(7, opened.text)
        .bindBlob(8, log)
        .exec();
    db.prepare(QStringLiteral("UPDATE store.exercise SET state = ?1, lrcj = ?2, lrsd = ?3, lrzql = ?4 WHERE id = ?5"))
        .bind(1, int(Stored))
        .bind(2, row.lrcj)
        .bind(3, row.lrsd)
        .bind(4, row.lrzql)
        .bind(5, exercise)
        .exec();
    transaction.commit();
    return forwarded;
}

FinishReply Exercises::finish(const StoreCaller& caller, const QString& session, qint64 exercise,
                              const QByteArray& logBytes)
{
    return guarded<FinishReply>(database_, [&] {
        const std::optional<Session> found = sessions_.find(caller, session);
        if (!found)
            return storeAnswer<FinishReply>(StoreStatus::NoSession, Sessions::expired());
        const std::optional<Opened> opened = this->opened(session, exercise);
        if (!opened)
            return storeAnswer<FinishReply>(StoreStatus::Refused, QStringLiteral("这个练习没有打开过。"));
        // The answer was lost on its way: the same figures, or the same refusal, again.
        if (opened->state == Stored)
            return figures(opened->score, opened->speed, opened->accuracy);
        if (opened->state == Refused)
            return storeAnswer<FinishReply>(StoreStatus::NotStored, opened->reason);

        const std::optional<KeystrokeLog> log = KeystrokeLogs::decode(logBytes);
        if (!log)
            return refuse(caller, exercise, QStringLiteral("录入记录无法识别"));
        const qint64 now = Clock::steadyMilliseconds();
        if (now < opened->openedAt)
            return refuse(caller, exercise, QStringLiteral("练习打开之后计算机重新启动过"));
        if (const auto problem = LogChecks::timingProblem(*log, now - opened->openedAt))
            return refuse(caller, exercise, *problem);
        const ExerciseReplay::Outcome outcome = ExerciseReplay::replayFile(opened->text, opened->kind, *log);
        if (outcome.problem)
            return refuse(caller, exercise, *outcome.problem);

        GradeRow row;
        row.xh = found->number;
        row.xm = found->name;
        row.lrxm = ExerciseKinds::name(opened->kind);
        row.lrcj = outcome.result.score;
        row.lrsd = outcome.result.speed;
        row.lrzql = outcome.result.accuracy;
        row.lrdate = Clock::today();
        row.lrtime = Clock::timeOfDay();
        row.lrpc = found->batch;
        const bool forwarded = store(row, *opened, exercise, logBytes);
        database_.changed();
        if (forwarded)
            outbox_.added();
        return figures(row.lrcj, row.lrsd, row.lrzql);
    });
}

void Exercises::progress(const StoreCaller& caller, const QString& session, qint64 exercise, int typed,
                         int secondsLeft)
{
    if (!outbox_.joined())
        return;
    bool noted = false;
    guarded<StoreReply>(database_, [&] {
        const std::optional<Session> found = sessions_.find(caller, session);
        const std::optional<Opened> open = found ? opened(session, exercise) : std::nullopt;
        if (found && found->mode == LoginMode::Test && !found->batch.isEmpty() && open && open->state == Open) {
            outbox_.addProgress(ProgressNote{found->batch, found->number, found->name, qBound(0, typed, 65536),
                                             qBound(0, secondsLeft, 600)});
            noted = true;
        }
        return storeAnswer<StoreReply>(StoreStatus::Ok);
    });
    if (noted)
        outbox_.added();
}

void Exercises::tidy()
{
    Database& db = database_.db();
    db.exec(QStringLiteral("DELETE FROM store.result_log WHERE grade_rowid NOT IN (SELECT rowid FROM main.stdgrade)"));
    db.prepare(QStringLiteral("DELETE FROM store.exercise WHERE opened_day < ?1"))
        .bind(1, isoDate(Clock::today().addDays(-1)))
        .exec();
}

void Exercises::forgetLogs()
{
    database_.db().exec(QStringLiteral("DELETE FROM store.result_log"));
}
