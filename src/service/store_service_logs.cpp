// The store's answers about the keystroke logs of stored results: one result's for its mistakes
// or its replay, and all of one student's for the mistakes over them.

#include "service/store_service.h"

#include "exercise/keystroke_log.h"

namespace {

template <typename Reply> Reply answer(StoreStatus status, const QString& message = {})
{
    Reply reply;
    reply.status = status;
    reply.message = message;
    return reply;
}

// stdgrade's row with its log, where the log was written for this very row: a rowid reused
// after a purge or by another SQLite client finds the kept values different.
const char kRowWithLog[] = "SELECT g.xh, g.xm, g.lrxm, g.lrcj, g.lrsd, g.lrzql, g.lrdate, g.lrtime, g.lrpc, g.rowid,"
                           " l.kind, l.text, l.log,"
                           " l.grade_rowid IS NOT NULL AND l.xh IS g.xh AND l.lrxm IS g.lrxm AND l.lrdate IS g.lrdate"
                           " AND l.lrtime IS g.lrtime"
                           " FROM main.stdgrade g LEFT JOIN store.result_log l ON l.grade_rowid = g.rowid";

const QString kNoLog = QStringLiteral("这条成绩没有保存录入记录：它是由本版以前的程序或别的程序写入的。");

// For the mistakes: what was typed and pressed, in order, without when.
QByteArray withoutTiming(const QByteArray& encoded)
{
    const std::optional<KeystrokeLog> log = KeystrokeLogs::decode(encoded);
    if (!log)
        return {};
    KeystrokeLog keys;
    keys.reserve(log->size());
    for (const KeystrokeEvent& event : *log)
        if (event.kind != KeystrokeEvent::Kind::Tick)
            keys.append({0, event.kind, event.value});
    return KeystrokeLogs::encode(keys);
}

ResultLogEntry entryFrom(const Statement& select, bool withTiming)
{
    ResultLogEntry entry;
    entry.row = GradeStore::readRow(select);
    entry.row.rowid = select.integer(9);
    entry.kind = int(select.integer(10));
    entry.text = select.blob(11);
    entry.log = withTiming ? select.blob(12) : withoutTiming(select.blob(12));
    return entry;
}

} // namespace

ResultLogReply StoreService::resultLog(const StoreCaller& caller, const QString& session, qint64 rowid, bool withTiming)
{
    try {
        const std::optional<Session> found = sessionFor(caller, session);
        if (!found || found->mode == LoginMode::None)
            return answer<ResultLogReply>(StoreStatus::NoSession, QStringLiteral("登录已经失效，请重新登录。"));
        if (withTiming && found->mode != LoginMode::System)
            return answer<ResultLogReply>(StoreStatus::Refused, QStringLiteral("只有系统登录后才能回放成绩。"));
        Statement select = db().prepare(QString::fromUtf8(kRowWithLog) + QStringLiteral(" WHERE g.rowid = ?1"));
        select.bind(1, rowid);
        if (!select.step())
            return answer<ResultLogReply>(StoreStatus::Refused, QStringLiteral("这条成绩已经不在成绩数据库中。"));
        ResultLogReply reply = answer<ResultLogReply>(select.integer(13) ? StoreStatus::Ok : StoreStatus::NoLog);
        if (reply.ok())
            reply.entry = entryFrom(select, withTiming);
        else
            reply.message = kNoLog;
        // The row is told in either case, so a window can name the result it cannot show.
        reply.entry.row = GradeStore::readRow(select);
        reply.entry.row.rowid = select.integer(9);
        return reply;
    } catch (const DbError& error) {
        grades_.reset();
        return answer<ResultLogReply>(StoreStatus::DatabaseError, error.describe());
    }
}

StudentLogsReply StoreService::studentLogs(const StoreCaller& caller, const QString& session,
                                           const QString& studentNumber)
{
    const QString number = studentNumber.trimmed();
    if (number.isEmpty())
        return answer<StudentLogsReply>(StoreStatus::Refused, QStringLiteral("请输入学号。"));
    try {
        const std::optional<Session> found = sessionFor(caller, session);
        if (!found || found->mode == LoginMode::None)
            return answer<StudentLogsReply>(StoreStatus::NoSession, QStringLiteral("登录已经失效，请重新登录。"));
        Statement select = db().prepare(QString::fromUtf8(kRowWithLog)
                                        + QStringLiteral(" WHERE g.xh = ?1 COLLATE NOCASE"
                                                         " ORDER BY g.lrdate DESC, g.lrtime DESC, g.rowid DESC"));
        select.bind(1, number);
        StudentLogsReply reply = answer<StudentLogsReply>(StoreStatus::Ok);
        qint64 bytes = 0;
        while (select.step()) {
            if (!select.integer(13)) {
                ++reply.withoutLog;
                continue;
            }
            if (reply.leftOut > 0 || bytes >= kStudentLogBytes) {
                ++reply.leftOut;
                continue;
            }
            ResultLogEntry entry = entryFrom(select, false);
            bytes += entry.text.size() + entry.log.size();
            reply.entries.append(std::move(entry));
        }
        return reply;
    } catch (const DbError& error) {
        grades_.reset();
        return answer<StudentLogsReply>(StoreStatus::DatabaseError, error.describe());
    }
}
