#pragma once
// What the program and typelab-store say to each other over D-Bus: the names, the answers'
// statuses and the values that cross, marshalled by QtDBus.

#include "grades/grade_store.h"
#include "grades/history_pages.h"

#include <QDBusArgument>
#include <QMetaType>
#include <QString>

namespace StoreProtocol {

inline const char* const kServiceName = "org.typelab.Store";
inline const char* const kObjectPath = "/org/typelab/Store";
inline const char* const kInterface = "org.typelab.Store1";

// Registers the values below with QtDBus; call once in each process before a call is made.
void registerTypes();

} // namespace StoreProtocol

// How an answer went. The numbers cross the bus: never renumber them.
enum class StoreStatus : int {
    Ok = 0,
    Refused = 1,              // input the dialogs refuse, or a call this session may not make
    NoSession = 2,            // unknown, ended, expired or another account's session
    SecondPasswordNeeded = 3, // a test login again in a batch: the second-login password is asked
    WrongPassword = 4,
    TooManyAttempts = 5,   // wait `seconds` before the next password
    BadExerciseFile = 6,   // the drawn exercise file cannot be used
    AlreadyTaken = 7,      // a test session has taken this exercise
    NotStored = 8,         // a finished exercise's log failed a check
    DatabaseError = 9,     // the grade database could not do it; message names file and problem
    Unreachable = 10,      // the program's side only: no store answered
    NoLog = 11,            // the result has no keystroke log (stored before logs were kept, or elsewhere)
};

// Every answer: a status, a message in Chinese where there is something to tell, and what the
// call gives back.
struct StoreReply {
    StoreStatus status = StoreStatus::DatabaseError;
    QString message;
    bool ok() const { return status == StoreStatus::Ok; }
};

struct LoginReply : StoreReply {
    QString session;   // the new session's token
    int seconds = 0;   // TooManyAttempts: how long the account waits
    QString number;    // the taker the session's results belong to
    QString name;
    QString batch;
};

struct OpenReply : StoreReply {
    qint64 exercise = 0; // the opened exercise, named again when it finishes
    int digit = 0;       // which file of yw or zw was drawn
    QByteArray text;     // that file's text (after its header)
};

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
    qint64 count = 0; // results in the whole history
};

// A stored result's keystroke log with what it was typed against: the row as stored, the
// exercise kind (1 English, 2 Chinese), the exercise file's text and the encoded log.
struct ResultLogEntry {
    GradeRow row;
    int kind = 0;
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

QDBusArgument& operator<<(QDBusArgument& argument, const GradeRow& row);
const QDBusArgument& operator>>(const QDBusArgument& argument, GradeRow& row);
QDBusArgument& operator<<(QDBusArgument& argument, const HistoryPages::Key& key);
const QDBusArgument& operator>>(const QDBusArgument& argument, HistoryPages::Key& key);
QDBusArgument& operator<<(QDBusArgument& argument, const HistoryPages::Filter& filter);
const QDBusArgument& operator>>(const QDBusArgument& argument, HistoryPages::Filter& filter);
QDBusArgument& operator<<(QDBusArgument& argument, const StoreReply& reply);
const QDBusArgument& operator>>(const QDBusArgument& argument, StoreReply& reply);
QDBusArgument& operator<<(QDBusArgument& argument, const LoginReply& reply);
const QDBusArgument& operator>>(const QDBusArgument& argument, LoginReply& reply);
QDBusArgument& operator<<(QDBusArgument& argument, const OpenReply& reply);
const QDBusArgument& operator>>(const QDBusArgument& argument, OpenReply& reply);
QDBusArgument& operator<<(QDBusArgument& argument, const FinishReply& reply);
const QDBusArgument& operator>>(const QDBusArgument& argument, FinishReply& reply);
QDBusArgument& operator<<(QDBusArgument& argument, const PasswordReply& reply);
const QDBusArgument& operator>>(const QDBusArgument& argument, PasswordReply& reply);
QDBusArgument& operator<<(QDBusArgument& argument, const RowsReply& reply);
const QDBusArgument& operator>>(const QDBusArgument& argument, RowsReply& reply);
QDBusArgument& operator<<(QDBusArgument& argument, const PageReply& reply);
const QDBusArgument& operator>>(const QDBusArgument& argument, PageReply& reply);
QDBusArgument& operator<<(QDBusArgument& argument, const ResultLogEntry& entry);
const QDBusArgument& operator>>(const QDBusArgument& argument, ResultLogEntry& entry);
QDBusArgument& operator<<(QDBusArgument& argument, const ResultLogReply& reply);
const QDBusArgument& operator>>(const QDBusArgument& argument, ResultLogReply& reply);
QDBusArgument& operator<<(QDBusArgument& argument, const StudentLogsReply& reply);
const QDBusArgument& operator>>(const QDBusArgument& argument, StudentLogsReply& reply);

Q_DECLARE_METATYPE(GradeRow)
Q_DECLARE_METATYPE(HistoryPages::Key)
Q_DECLARE_METATYPE(HistoryPages::Filter)
Q_DECLARE_METATYPE(StoreReply)
Q_DECLARE_METATYPE(LoginReply)
Q_DECLARE_METATYPE(OpenReply)
Q_DECLARE_METATYPE(FinishReply)
Q_DECLARE_METATYPE(PasswordReply)
Q_DECLARE_METATYPE(RowsReply)
Q_DECLARE_METATYPE(PageReply)
Q_DECLARE_METATYPE(ResultLogEntry)
Q_DECLARE_METATYPE(ResultLogReply)
Q_DECLARE_METATYPE(StudentLogsReply)
