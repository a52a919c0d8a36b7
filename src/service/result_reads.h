#pragma once
// What the store tells of the stored results: the history a page at a time (narrowed by a
// filter, which is checked here again), one batch's results for a collection, one student's for
// the progress chart, and the keystroke logs of results. Any login may read the logs for the
// mistakes: which characters went wrong is no more than the history already shows of everyone's
// results, so those logs come without the events' times and the countdown's ticks. The pace of
// a student's typing is the supervisor's to judge: the whole log, for the replay, needs a system
// login.

#include "service/sessions.h"

class ResultReads {
public:
    // One answer of studentLogs carries at most this many bytes of logs, well inside the 32 MiB
    // a message on the system bus may have; older ones are left out (a thousand ten-minute
    // exercises fit).
    static constexpr qint64 kStudentLogBytes = 24 * 1024 * 1024;
    // The most rows one page of the history holds.
    static constexpr int kPageLimit = 1000;

    ResultReads(StoreDatabase& database, Sessions& sessions) : database_(database), sessions_(sessions) {}

    // A filter the history view would refuse is Refused with the view's message.
    PageReply history(const HistoryPages::Filter& filter, const HistoryPages::Cursor& cursor, int limit);
    RowsReply batch(const QString& batch);
    // The number is checked as a filter's is.
    RowsReply student(const QString& number);
    ResultLogReply resultLog(const StoreCaller& caller, const QString& session, qint64 rowid, bool withTiming);
    StudentLogsReply studentLogs(const StoreCaller& caller, const QString& session, const QString& studentNumber);

private:
    StoreDatabase& database_;
    Sessions& sessions_;
};
