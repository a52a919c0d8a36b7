#include "service/result_reads.h"

#include "exercise/keystroke_log.h"
#include "grades/grade_rows.h"
#include "grades/history_filter.h"
#include "platform/byte_length.h"

namespace {

// What the store reads by: the boxes trimmed, as the window sends them.
HistoryPages::Filter trimmed(HistoryPages::Filter filter)
{
    filter.number = trimSpaces(filter.number);
    filter.name = trimSpaces(filter.name);
    filter.batch = trimSpaces(filter.batch);
    return filter;
}

// stdgrade's row with its log, where the log was written for this very row: a rowid reused
// after a purge or by another SQLite client finds the kept values different.
QString rowWithLog()
{
    return QStringLiteral("SELECT g.xh, g.xm, g.lrxm, g.lrcj, g.lrsd, g.lrzql, g.lrdate, g.lrtime, g.lrpc, g.rowid,"
                          " l.kind, l.text, l.log,"
                          " l.grade_rowid IS NOT NULL AND l.xh IS g.xh AND l.lrxm IS g.lrxm AND l.lrdate IS g.lrdate"
                          " AND l.lrtime IS g.lrtime"
                          " FROM main.stdgrade g LEFT JOIN store.result_log l ON l.grade_rowid = g.rowid");
}

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

GradeRow storedRow(const Statement& select)
{
    GradeRow row = GradeRows::read(select);
    row.rowid = select.integer(9);
    return row;
}

ResultLogEntry entryFrom(const Statement& select, bool withTiming)
{
    ResultLogEntry entry;
    entry.row = storedRow(select);
    entry.kind = ExerciseKind(select.integer(10));
    entry.text = select.blob(11);
    entry.log = withTiming ? select.blob(12) : withoutTiming(select.blob(12));
    return entry;
}

bool hasItsLog(const Statement& select)
{
    return select.integer(13) != 0;
}

} // namespace

PageReply ResultReads::history(const HistoryPages::Filter& filter, const HistoryPages::Cursor& cursor, int limit)
{
    const HistoryPages::Filter used = trimmed(filter);
    if (const auto problem = HistoryPages::Filters::problem(used))
        return storeAnswer<PageReply>(StoreStatus::Refused, *problem);
    return guarded<PageReply>(database_, [&] {
        GradeStore& grades = database_.grades();
        PageReply reply = storeAnswer<PageReply>(StoreStatus::Ok);
        if (cursor.from == HistoryPages::Cursor::From::Position)
            reply.count = grades.resultCount(used);
        reply.page = grades.historyPage(used, cursor, qBound(0, limit, kPageLimit));
        return reply;
    });
}

RowsReply ResultReads::batch(const QString& batch)
{
    return guarded<RowsReply>(database_, [&] {
        RowsReply reply = storeAnswer<RowsReply>(StoreStatus::Ok);
        reply.rows = database_.grades().batchResults(batch);
        return reply;
    });
}

RowsReply ResultReads::student(const QString& number)
{
    HistoryPages::Filter filter;
    filter.number = trimSpaces(number);
    if (filter.number.isEmpty())
        return storeAnswer<RowsReply>(StoreStatus::Refused, QStringLiteral("学号不能为空！"));
    if (const auto problem = HistoryPages::Filters::problem(filter))
        return storeAnswer<RowsReply>(StoreStatus::Refused, *problem);
    return guarded<RowsReply>(database_, [&] {
        RowsReply reply = storeAnswer<RowsReply>(StoreStatus::Ok);
        reply.rows = database_.grades().studentResults(filter.number);
        return reply;
    });
}

ResultLogReply ResultReads::resultLog(const StoreCaller& caller, const QString& session, qint64 rowid, bool withTiming)
{
    return guarded<ResultLogReply>(database_, [&] {
        const std::optional<Session> found = sessions_.find(caller, session);
        if (!found || found->mode == LoginMode::None)
            return storeAnswer<ResultLogReply>(StoreStatus::NoSession, Sessions::expired());
        if (withTiming && found->mode != LoginMode::System)
            return storeAnswer<ResultLogReply>(StoreStatus::Refused, QStringLiteral("只有系统登录后才能回放成绩。"));
        Statement select = database_.db().prepare(rowWithLog() + QStringLiteral(" WHERE g.rowid = ?1"));
        select.bind(1, rowid);
        if (!select.step())
            return storeAnswer<ResultLogReply>(StoreStatus::Refused, QStringLiteral("这条成绩已经不在成绩数据库中。"));
        ResultLogReply reply = hasItsLog(select) ? storeAnswer<ResultLogReply>(StoreStatus::Ok)
                                                 : storeAnswer<ResultLogReply>(StoreStatus::NoLog, kNoLog);
        if (reply.ok())
            reply.entry = entryFrom(select, withTiming);
        // The row is told in either case, so a window can name the result it cannot show.
        reply.entry.row = storedRow(select);
        return reply;
    });
}

StudentLogsReply ResultReads::studentLogs(const StoreCaller& caller, const QString& session,
                                          const QString& studentNumber)
{
    const QString number = studentNumber.trimmed();
    if (number.isEmpty())
        return storeAnswer<StudentLogsReply>(StoreStatus::Refused, QStringLiteral("请输入学号。"));
    return guarded<StudentLogsReply>(database_, [&] {
        const std::optional<Session> found = sessions_.find(caller, session);
        if (!found || found->mode == LoginMode::None)
            return storeAnswer<StudentLogsReply>(StoreStatus::NoSession, Sessions::expired());
        Statement select = database_.db().prepare(
            rowWithLog()
            + QStringLiteral(" WHERE g.xh = ?1 COLLATE NOCASE ORDER BY g.lrdate DESC, g.lrtime DESC, g.rowid DESC"));
        select.bind(1, number);
        StudentLogsReply reply = storeAnswer<StudentLogsReply>(StoreStatus::Ok);
        qint64 bytes = 0;
        while (select.step()) {
            if (!hasItsLog(select)) {
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
    });
}
