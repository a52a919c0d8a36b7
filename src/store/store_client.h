#pragma once
// The program's way to the store service: every unit of work on the grade database is a call,
// made through the proxy generated from the store's interface file, so the compiler checks each
// call against the service. The installed service answers when it serves this Application
// folder (the system bus starts it on the first call); otherwise the program starts
// typelab-store from the folder as its child and talks to it on a private connection. A store
// that goes away (an upgrade, a crash) is found again and the call made once more; a finished
// exercise is sent again until the store answers, so its result is never lost to a restart.
// Whatever happens, a call comes back as its reply: the status and a Chinese message.

#include "exercise/keystroke_log.h"
#include "store/store_types.h"

#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

class QProcess;
class Store1Proxy;

class StoreClient : public QObject {
    Q_OBJECT
public:
    explicit StoreClient(QString appFolder, QObject* parent = nullptr);
    ~StoreClient() override;

    // Starts finding the store without waiting for it; the first call waits.
    void start();
    const QString& appFolder() const { return appFolder_; }
    // True when the installed service answers, false for a child of this program.
    bool usesInstalledService();

    StoreReply purge();
    LoginReply practiceLogin(const QString& number, const QString& name);
    LoginReply testLogin(const QString& number, const QString& name, const QString& batch, const QString& password,
                         bool withPassword);
    LoginReply systemLogin(const QString& userName, const QString& password, const QString& previousSession);
    void endSession(const QString& session);
    OpenReply openExercise(const QString& session, ExerciseKind kind);
    // Tells how far an open exercise has come, without waiting for an answer (the school
    // server's live view follows it; the store drops it on a machine that has not joined one).
    void exerciseProgress(const QString& session, qint64 exercise, int typed, int secondsLeft);
    // Sends the log without waiting; `done` follows on this thread unless `context` has gone.
    void finishExercise(const QString& session, qint64 exercise, const KeystrokeLog& log, QObject* context,
                        std::function<void(const FinishReply&)> done);
    // A page of the history, newest first, narrowed by a filter (empty: the whole history); a
    // page read at a position also counts what the filter lets through. The store checks the
    // filter again and refuses one the window would.
    PageReply history(const HistoryPages::Filter& filter, const HistoryPages::Cursor& cursor, int limit);
    RowsReply batchResults(const QString& batch);
    // One student's results, oldest first.
    RowsReply studentResults(const QString& number);
    PasswordReply password(const QString& session, PasswordColumn column);
    StoreReply setPassword(const QString& session, PasswordColumn column, const QString& password);
    StoreReply clearHistory(const QString& session);
    StoreReply replaceText(const QString& session, const QString& name, const QByteArray& text);
    // The keystroke log of one stored result by its rowid: for the mistakes (any login) without
    // times and ticks, for the replay (withTiming, a system login only) whole.
    ResultLogReply resultLog(const QString& session, qint64 rowid, bool withTiming);
    // The logs of all results of one student, for the mistakes (any login), without times.
    StudentLogsReply studentLogs(const QString& session, const QString& studentNumber);

    // Finished exercises sent and not yet answered (tests wait for none).
    int finishesUnderWay() const { return finishesUnderWay_; }
    // Where typelab-store is when it is not beside the program (tests run the build's).
    static void setServiceProgram(const QString& path);
    // The private child's process, for tests that stop it in the middle of an exercise.
    qint64 childProcessId() const;

private:
    struct Pending;
    template <typename Reply, typename Send> Reply call(Send send);
    bool ensureConnected();
    bool startChild();
    bool connectToChild();
    void connected(const QDBusConnection& connection, bool installed);
    void dropConnection();
    void forwardTestSeams();
    void sendFinish(const std::shared_ptr<Pending>& pending);

    const QString appFolder_;
    QString problem_; // why no store answers
    std::optional<QDBusPendingCall> busCheck_;
    std::unique_ptr<Store1Proxy> store_; // while connected
    bool installed_ = false;
    QProcess* child_ = nullptr;
    QString peerName_;
    QString forwardedSeams_;
    int finishesUnderWay_ = 0;
};
