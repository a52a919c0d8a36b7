#pragma once
// The program's way to the store service: every unit of work on the grade database is a call.
// The installed service answers when it serves this Application folder (the system bus starts
// it on the first call); otherwise the program starts typelab-store from the folder as its
// child and talks to it on a private connection. A store that goes away (an upgrade, a crash)
// is found again and the call made once more; a finished exercise is sent again until the
// store answers, so its result is never lost to a restart.

#include "exercise/keystroke_log.h"
#include "store/store_protocol.h"

#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

class QProcess;

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
    OpenReply openExercise(const QString& session, int kind);
    // Sends the log without waiting; `done` follows on this thread unless `context` has gone.
    void finishExercise(const QString& session, qint64 exercise, const KeystrokeLog& log, QObject* context,
                        std::function<void(const FinishReply&)> done);
    PageReply historyAt(qint64 offset, int limit);
    PageReply historyOlderThan(const HistoryPages::Key& key, int limit);
    PageReply historyNewerThan(const HistoryPages::Key& key, int limit);
    RowsReply batchResults(const QString& batch);
    // The history narrowed by a filter: the same pages and keys, and the count of what the
    // filter lets through. The store checks the filter again and refuses one the window would.
    PageReply historyFilteredAt(const HistoryPages::Filter& filter, qint64 offset, int limit);
    PageReply historyFilteredOlderThan(const HistoryPages::Filter& filter, const HistoryPages::Key& key, int limit);
    PageReply historyFilteredNewerThan(const HistoryPages::Filter& filter, const HistoryPages::Key& key, int limit);
    // One student's results, oldest first.
    RowsReply studentResults(const QString& number);
    PasswordReply password(const QString& session, int column);
    StoreReply setPassword(const QString& session, int column, const QString& password);
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
    template <typename Reply> Reply call(const char* method, const QVariantList& arguments);
    QDBusMessage message(const char* method, const QVariantList& arguments) const;
    bool ensureConnected();
    bool startChild();
    bool connectToChild();
    void dropConnection();
    void forwardTestSeams();
    void sendFinish(const std::shared_ptr<Pending>& pending);

    const QString appFolder_;
    QString problem_; // why no store answers
    std::optional<QDBusPendingCall> busCheck_;
    QDBusConnection connection_{QString()};
    bool connected_ = false;
    bool installed_ = false;
    QProcess* child_ = nullptr;
    QString peerName_;
    QString forwardedSeams_;
    int finishesUnderWay_ = 0;
};

// The text of a reply's problem for a message: what the store said, or that none answered.
QString storeProblem(const StoreReply& reply);
