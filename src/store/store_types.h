#pragma once
// What the program and the store service hand each other: results, the history's keys, pages,
// filters and cursors, and every call's answer with its status and message. Plain values:
// nothing here opens a database or draws a window, so the windows, the client and the store
// itself all speak in them.

#include "exercise/exercise_kind.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <QTime>
#include <optional>

// One result as stdgrade holds it.
struct GradeRow {
    QString xh;       // student number
    QString xm;       // name
    QString lrxm;     // "英文" or "中文"
    double lrcj = 0;  // score
    double lrsd = 0;  // speed per minute
    double lrzql = 0; // accuracy in per cent
    QDate lrdate;
    QTime lrtime;
    QString lrpc;     // batch; empty (stored as null) for a practice result
    qint64 rowid = 0; // where a row read from the grade database is stored; 0 otherwise
};

// The two passwords of the system row. The numbers cross the bus: never renumber them.
enum class PasswordColumn { SecondLogin = 0 /* xsmm */, User = 1 /* usermm */ };

namespace HistoryPages {

// One result's place in the history's order: newest first by date, then time, then the order
// the results were stored in.
struct Key {
    QString lrdate;
    QString lrtime;
    qint64 rowid = 0;
    bool valid = false; // false when the result lacks a date or time: such a page is read by position
};

struct Page {
    QList<GradeRow> rows;
    Key first;
    Key last;
};

// What narrows the history: a student number, a name, a batch, a date range and the exercise
// kind. An empty box lets every result through; an empty filter is the whole history.
struct Filter {
    QString number;                   // xh; empty: every student
    QString name;                     // xm
    QString batch;                    // lrpc
    QString from;                     // the first date, yyyy-MM-dd; empty: no first date
    QString to;                       // the last date, included
    std::optional<ExerciseKind> kind; // nothing: every kind

    bool isEmpty() const
    {
        return number.isEmpty() && name.isEmpty() && batch.isEmpty() && from.isEmpty() && to.isEmpty() && !kind;
    }
    bool operator==(const Filter&) const = default;
};

// Where a page starts: at a position counted from the newest result (and then the answer
// counts what the filter lets through), or next to a result already read, on its older or its
// newer side. Reading next to a key visits only the index entries beside it, however deep it
// lies in a long history.
struct Cursor {
    enum class From { Position = 0, OlderThan = 1, NewerThan = 2 }; // the numbers cross the bus
    From from = From::Position;
    qint64 offset = 0; // From::Position
    Key key;           // OlderThan and NewerThan

    static Cursor at(qint64 offset) { return Cursor{From::Position, offset, {}}; }
    static Cursor olderThan(const Key& key) { return Cursor{From::OlderThan, 0, key}; }
    static Cursor newerThan(const Key& key) { return Cursor{From::NewerThan, 0, key}; }
};

} // namespace HistoryPages

// How an answer went. The numbers cross the bus: never renumber them.
enum class StoreStatus : int {
    Ok = 0,
    Refused = 1,              // input the dialogs refuse, or a call this session may not make
    NoSession = 2,            // unknown, ended, expired or another account's session
    SecondPasswordNeeded = 3, // a test login again in a batch: the second-login password is asked
    WrongPassword = 4,
    TooManyAttempts = 5, // wait `seconds` before the next password
    BadExerciseFile = 6, // the drawn exercise file cannot be used
    AlreadyTaken = 7,    // a test session has taken this exercise
    NotStored = 8,       // a finished exercise's log failed a check
    DatabaseError = 9,   // the grade database could not do it; message names file and problem
    Unreachable = 10,    // the program's side only: no store answered
    NoLog = 11,          // the result has no keystroke log (stored before logs were kept, or elsewhere)
};

// Every answer: a status, a message in Chinese where there is something to tell, and what the
// call gives back. This is the one form in which a failure reaches a window.
struct StoreReply {
    StoreStatus status = StoreStatus::DatabaseError;
    QString message;
    bool ok() const { return status == StoreStatus::Ok; }
};

struct LoginReply : StoreReply {
    QString session; // the new session's token
    int seconds = 0; // TooManyAttempts: how long the account waits
    QString number;  // the taker the session's results belong to
    QString name;
    QString batch;
};

struct OpenReply : StoreReply {
    qint64 exercise = 0; // the opened exercise, named again when it finishes
    int digit = 0;       // which file of yw or zw was drawn
    QByteArray text;     // that file's text (after its header)
};

// A result's figures, as the scoring counts them and the row keeps them.
struct FinishReply : StoreReply {
    double speed = 0;
    double accuracy = 0;
    double score = 0;
};

struct PasswordReply : StoreReply {
    QString password;
};

struct RowsReply : StoreReply {
    QList<GradeRow> rows;
};

struct PageReply : StoreReply {
    HistoryPages::Page page;
    qint64 count = 0; // a page read at a position: the results the filter lets through
};

// A stored result's keystroke log with what it was typed against: the row as stored, the
// exercise's kind, the exercise file's text and the encoded log.
struct ResultLogEntry {
    GradeRow row;
    ExerciseKind kind = ExerciseKind::English;
    QByteArray text;
    QByteArray log;
};

struct ResultLogReply : StoreReply {
    ResultLogEntry entry;
};

// The logs of one student's results, newest first.
struct StudentLogsReply : StoreReply {
    QList<ResultLogEntry> entries;
    int withoutLog = 0; // the student's results that have none
    int leftOut = 0;    // older results with a log that did not fit into one answer
};

// An entry of the store's outbox as the forwarder takes it: what it is, and the bytes the school
// server is sent (ServerResult::encode(), ServerClaim::encode() or ProgressNote::encode()).
struct OutboxEntry {
    // The numbers cross the bus: never renumber them.
    enum class Kind {
        Result = 1,    // a stored result
        Claim = 2,     // a batch claimed while the server was away
        Allowance = 3, // a second attempt the supervisor allowed
        Progress = 4,  // how far a test exercise has come
    };
    QString id;
    Kind kind = Kind::Result;
    QByteArray body;
};

// A test login waits for the school server's word on its claim of the batch: the forwarder asks
// at once and answers with ClaimAnswered.
struct ClaimRequest {
    QString id;
    QString batch;
    QString xh;
    QString xm;
};

struct OutboxReply : StoreReply {
    QList<OutboxEntry> entries; // oldest first
    QList<ClaimRequest> claims; // claims a login waits for
};

// The text of a reply's problem for a message: what the store said, or that none answered.
QString storeProblem(const StoreReply& reply);

// An answer of the given status and message, with nothing else in it yet.
template <typename Reply> Reply storeAnswer(StoreStatus status, const QString& message = {})
{
    Reply reply;
    reply.status = status;
    reply.message = message;
    return reply;
}
