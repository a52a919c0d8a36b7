#pragma once
// typelab-store's work, without the bus: the only code that opens the grade database. It keeps
// the sessions (a login opens one; a test login claims its batch here), draws and opens each
// exercise, and computes every result itself by replaying the exercise's keystroke log through
// the typing engine and the scoring against the text it handed out. It applies the dialogs'
// input checks again, so that a call made straight to the bus cannot store what the dialogs
// refuse, and limits wrong passwords per account. Sessions and open exercises live in tables
// of its own beside the grade database, so a restart loses neither.

#include "login/login_mode.h"
#include "service/password_attempts.h"
#include "service/store_places.h"
#include "store/store_protocol.h"

#include <functional>
#include <optional>

// Who makes a call: the account, and the program's name on the bus (empty on a private
// connection, whose one program is the service's own parent).
struct StoreCaller {
    quint32 uid = 0;
    QString busName;
};

class StoreService {
public:
    // An hour without a call ends a session.
    static constexpr qint64 kSessionIdleMilliseconds = 3'600'000;

    explicit StoreService(StorePlaces places, int lockSeconds = 30);
    ~StoreService();

    const StorePlaces& places() const { return places_; }

    // The start-up purge: results and test logins 15 or more days old, with their logs,
    // sessions idle for an hour and exercises a day old.
    StoreReply purge();

    LoginReply practiceLogin(const StoreCaller& caller, const QString& number, const QString& name);
    // withPassword: the second-login row was shown and `password` is what it holds.
    LoginReply testLogin(const StoreCaller& caller, const QString& number, const QString& name, const QString& batch,
                         const QString& password, bool withPassword);
    // The system session's results belong to the student the caller's previous session had.
    LoginReply systemLogin(const StoreCaller& caller, const QString& userName, const QString& password,
                           const QString& previousSession);
    void endSession(const StoreCaller& caller, const QString& session);
    // The program with this name on the bus has ended.
    void programEnded(const QString& busName);
    // Bus names that own sessions, for watching them after a restart.
    QStringList sessionOwners();

    OpenReply openExercise(const StoreCaller& caller, const QString& session, int kind);
    FinishReply finishExercise(const StoreCaller& caller, const QString& session, qint64 exercise,
                               const QByteArray& log);

    PageReply historyAt(qint64 offset, int limit);
    PageReply historyOlderThan(const HistoryPages::Key& key, int limit);
    PageReply historyNewerThan(const HistoryPages::Key& key, int limit);
    RowsReply batchResults(const QString& batch);
    // The history narrowed by a filter, which is checked here again; a filter the window would
    // refuse is Refused with the window's message.
    PageReply historyFilteredAt(const HistoryPages::Filter& filter, qint64 offset, int limit);
    PageReply historyFilteredOlderThan(const HistoryPages::Filter& filter, const HistoryPages::Key& key, int limit);
    PageReply historyFilteredNewerThan(const HistoryPages::Filter& filter, const HistoryPages::Key& key, int limit);
    // One student's results, oldest first; the number is checked as a filter's is.
    RowsReply studentResults(const QString& number);

    // Maintenance: a system session only.
    PasswordReply password(const StoreCaller& caller, const QString& session, int column);
    StoreReply setPassword(const StoreCaller& caller, const QString& session, int column, const QString& password);
    StoreReply clearHistory(const StoreCaller& caller, const QString& session);
    StoreReply replaceText(const StoreCaller& caller, const QString& session, const QString& name,
                           const QByteArray& text);

    // The keystroke logs of stored results (store_service_logs.cpp). Any login may read them
    // for the mistakes: which characters went wrong is no more than the history already shows
    // of everyone's results, so those logs come without the events' times and the countdown's
    // ticks. The pace of a student's typing is the supervisor's to judge: the whole log, for
    // the replay, needs a system login.
    ResultLogReply resultLog(const StoreCaller& caller, const QString& session, qint64 rowid, bool withTiming);
    StudentLogsReply studentLogs(const StoreCaller& caller, const QString& session, const QString& studentNumber);
    // One answer of studentLogs carries at most this many bytes of logs, well inside the 32 MiB
    // a message on the system bus may have; older ones are left out (a thousand ten-minute
    // exercises fit).
    static constexpr qint64 kStudentLogBytes = 24 * 1024 * 1024;

    // Called after every change to the results or test logins (the share's copy follows).
    void setChangeHandler(std::function<void()> handler) { changed_ = std::move(handler); }
    // Writes the share's copy afresh (nothing when the places keep none); the problem, if any.
    std::optional<QString> publishCopy();

private:
    struct Session {
        QString token;
        LoginMode mode = LoginMode::None;
        QString number;
        QString name;
        QString batch;
    };

    GradeStore& grades();
    Database& db();
    std::optional<Session> sessionFor(const StoreCaller& caller, const QString& token);
    QString newSession(const StoreCaller& caller, LoginMode mode, const QString& number, const QString& name,
                       const QString& batch);
    LoginReply loggedIn(const StoreCaller& caller, LoginMode mode, const QString& number, const QString& name,
                        const QString& batch);
    std::optional<LoginReply> lockedOut(const StoreCaller& caller);
    LoginReply wrongPassword(const StoreCaller& caller);
    std::optional<StoreReply> needSystemSession(const StoreCaller& caller, const QString& session);
    template <typename Reply, typename Read> Reply filteredRead(const HistoryPages::Filter& filter, Read read);
    FinishReply refuseLog(const StoreCaller& caller, qint64 exercise, const QString& reason);
    void changed();

    StorePlaces places_;
    std::optional<GradeStore> grades_;
    // The file the open connection reads: a database moved or replaced meanwhile is opened
    // afresh (or found missing) at the next unit of work, never written behind its back.
    quint64 gradeDevice_ = 0;
    quint64 gradeInode_ = 0;
    PasswordAttempts attempts_;
    std::function<void()> changed_;
};
