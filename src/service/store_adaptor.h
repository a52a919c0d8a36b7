#pragma once
// The store service on the bus: every slot is a method of org.typelab.Store1, answered by the
// StoreService for the account that called. On the system bus it also ends the sessions of a
// program that has gone, and keeps the share's copy following the results.

#include "service/store_service.h"

#include <QDBusContext>
#include <QObject>
#include <QTimer>

class QDBusServiceWatcher;

class StoreAdaptor : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.typelab.Store1")
public:
    explicit StoreAdaptor(StoreService& service, QObject* parent = nullptr);

    // On the system bus: watch the programs that own sessions from before a restart.
    void watchSessionOwners(const QDBusConnection& bus);

public slots:
    QString AppFolder();
    StoreReply Purge();
    LoginReply PracticeLogin(const QString& number, const QString& name);
    LoginReply TestLogin(const QString& number, const QString& name, const QString& batch, const QString& password,
                         bool withPassword);
    LoginReply SystemLogin(const QString& userName, const QString& password, const QString& previousSession);
    void EndSession(const QString& session);
    OpenReply OpenExercise(const QString& session, int kind);
    FinishReply FinishExercise(const QString& session, qlonglong exercise, const QByteArray& log);
    PageReply HistoryAt(qlonglong offset, int limit);
    PageReply HistoryOlderThan(const HistoryPages::Key& key, int limit);
    PageReply HistoryNewerThan(const HistoryPages::Key& key, int limit);
    RowsReply BatchResults(const QString& batch);
    PageReply HistoryFilteredAt(const HistoryPages::Filter& filter, qlonglong offset, int limit);
    PageReply HistoryFilteredOlderThan(const HistoryPages::Filter& filter, const HistoryPages::Key& key, int limit);
    PageReply HistoryFilteredNewerThan(const HistoryPages::Filter& filter, const HistoryPages::Key& key, int limit);
    RowsReply StudentResults(const QString& number);
    PasswordReply Password(const QString& session, int column);
    StoreReply SetPassword(const QString& session, int column, const QString& password);
    StoreReply ClearHistory(const QString& session);
    StoreReply ReplaceText(const QString& session, const QString& name, const QByteArray& text);
    ResultLogReply ResultLog(const QString& session, qlonglong rowid, bool withTiming);
    StudentLogsReply StudentLogs(const QString& session, const QString& studentNumber);

private:
    StoreCaller caller() const;
    void watch(const QString& busName);

    StoreService& service_;
    QDBusServiceWatcher* watcher_ = nullptr;
    QTimer copyDue_; // the share's copy follows a burst of changes once
};

// Test seams of a store started as a program's child: the program's fixed clock, steady clock
// and exercise draw reach the store too. Only ever offered on the private connection, whose
// program owns every file the store opens anyway.
class StoreTestSeams : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.typelab.StoreTestSeams1")
public:
    using QObject::QObject;

public slots:
    // Empty moment, negative draw, steadySet false: the real clock and draw again.
    void Use(const QString& fixedMoment, double draw, qlonglong steady, bool steadySet);
};
