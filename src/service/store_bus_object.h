#pragma once
// The store on the bus: the object at /org/typelab/Store. Its interface, org.typelab.Store1, is
// stated in data/dbus/org.typelab.Store1.xml; the adaptor generated from that file calls the
// methods below, each of which hands the call to one part of the StoreService for the account
// that made it. On the system bus it also ends the sessions of a program that has gone, and it
// keeps the share's copy following the results.

#include "service/store_service.h"
#include "store/store_protocol.h"

#include <QDBusContext>
#include <QObject>
#include <QTimer>

class QDBusServiceWatcher;

class StoreBusObject : public QObject, protected QDBusContext {
    Q_OBJECT
public:
    // Registers itself with its generated adaptor; export it with QDBusConnection::ExportAdaptors.
    explicit StoreBusObject(StoreService& service, QObject* parent = nullptr);

    // On the system bus: watch the programs that own sessions from before a restart.
    void watchSessionOwners(const QDBusConnection& bus);

    // org.typelab.Store1, as the adaptor calls it.
    QString AppFolder();
    StoreReply Purge();
    LoginReply PracticeLogin(const QString& number, const QString& name);
    LoginReply TestLogin(const QString& number, const QString& name, const QString& batch, const QString& password,
                         bool withPassword);
    LoginReply SystemLogin(const QString& userName, const QString& password, const QString& previousSession);
    void EndSession(const QString& session);
    // The kind and the password's column cross as their numbers.
    OpenReply OpenExercise(const QString& session, int kind);
    FinishReply FinishExercise(const QString& session, qlonglong exercise, const QByteArray& log);
    void ExerciseProgress(const QString& session, qlonglong exercise, int typed, int secondsLeft);
    PageReply History(const HistoryPages::Filter& filter, const HistoryPages::Cursor& cursor, int limit);
    RowsReply BatchResults(const QString& batch);
    RowsReply StudentResults(const QString& number);
    PasswordReply Password(const QString& session, int column);
    StoreReply SetPassword(const QString& session, int column, const QString& password);
    StoreReply ClearHistory(const QString& session);
    StoreReply ReplaceText(const QString& session, const QString& name, const QByteArray& text);
    ResultLogReply ResultLog(const QString& session, qlonglong rowid, bool withTiming);
    StudentLogsReply StudentLogs(const QString& session, const QString& studentNumber);

private:
    StoreCaller caller() const;
    // Sessions of a program on the bus end when it leaves the bus.
    template <typename Reply> Reply watched(const QDBusConnection& bus, const StoreCaller& who, Reply reply);
    void watch(const QDBusConnection& bus, const QString& busName);
    void ensureWatcher(const QDBusConnection& bus);
    void programEnded(const QString& busName);

    StoreService& service_;
    QDBusServiceWatcher* watcher_ = nullptr;
    QTimer copyDue_; // the share's copy follows a burst of changes once
};

// Test seams of a store started as a program's child (org.typelab.StoreTestSeams1, stated in
// data/dbus/org.typelab.StoreTestSeams1.xml): the program's fixed clock, steady clock and
// exercise draw reach the store too. Only ever offered on the private connection, whose program
// owns every file the store opens anyway.
class StoreTestSeams : public QObject {
    Q_OBJECT
public:
    explicit StoreTestSeams(QObject* parent = nullptr);

    void Use(const QString& fixedMoment, double draw, qlonglong steady, bool steadySet);
};
