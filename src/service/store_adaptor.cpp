#include "service/store_adaptor.h"

#include "platform/clock.h"

#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>

#include <limits>
#include <unistd.h>

namespace {
// How long the share's copy waits for more changes before it is written.
constexpr int kCopyDelayMilliseconds = 500;
} // namespace

StoreAdaptor::StoreAdaptor(StoreService& service, QObject* parent) : QObject(parent), service_(service)
{
    copyDue_.setSingleShot(true);
    copyDue_.setInterval(kCopyDelayMilliseconds);
    connect(&copyDue_, &QTimer::timeout, this, [this] {
        if (const auto problem = service_.publishCopy())
            qWarning("typelab-store: the share's copy was not written: %s", qPrintable(*problem));
    });
    service_.setChangeHandler([this] { copyDue_.start(); });
}

StoreCaller StoreAdaptor::caller() const
{
    StoreCaller who;
    // Only a bus connection has the bus's interface. (Its isValid() is false all the same:
    // the bus daemon's name has no owner to look up.)
    const QDBusConnectionInterface* bus = connection().interface();
    if (bus) {
        who.busName = message().service();
        const QDBusReply<uint> uid = bus->serviceUid(who.busName);
        // A caller gone before it could be asked is nobody's account, never root's.
        who.uid = uid.isValid() ? uid.value() : std::numeric_limits<quint32>::max();
    } else {
        // A private connection: its one program runs as this account.
        who.uid = ::getuid();
    }
    return who;
}

void StoreAdaptor::watch(const QString& busName)
{
    if (busName.isEmpty())
        return;
    if (!watcher_) {
        watcher_ = new QDBusServiceWatcher(this);
        watcher_->setConnection(connection());
        watcher_->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
        connect(watcher_, &QDBusServiceWatcher::serviceUnregistered, this, [this](const QString& name) {
            service_.programEnded(name);
            watcher_->removeWatchedService(name);
        });
    }
    if (!watcher_->watchedServices().contains(busName))
        watcher_->addWatchedService(busName);
}

void StoreAdaptor::watchSessionOwners(const QDBusConnection& bus)
{
    const QDBusConnectionInterface* names = bus.interface();
    if (!names)
        return;
    watcher_ = new QDBusServiceWatcher(this);
    watcher_->setConnection(bus);
    watcher_->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(watcher_, &QDBusServiceWatcher::serviceUnregistered, this, [this](const QString& name) {
        service_.programEnded(name);
        watcher_->removeWatchedService(name);
    });
    for (const QString& owner : service_.sessionOwners()) {
        if (names->isServiceRegistered(owner).value())
            watcher_->addWatchedService(owner);
        else
            service_.programEnded(owner);
    }
}

QString StoreAdaptor::AppFolder()
{
    return service_.places().appFolder;
}

StoreReply StoreAdaptor::Purge()
{
    return service_.purge();
}

LoginReply StoreAdaptor::PracticeLogin(const QString& number, const QString& name)
{
    const StoreCaller who = caller();
    LoginReply reply = service_.practiceLogin(who, number, name);
    if (reply.ok())
        watch(who.busName);
    return reply;
}

LoginReply StoreAdaptor::TestLogin(const QString& number, const QString& name, const QString& batch,
                                   const QString& password, bool withPassword)
{
    const StoreCaller who = caller();
    LoginReply reply = service_.testLogin(who, number, name, batch, password, withPassword);
    if (reply.ok())
        watch(who.busName);
    return reply;
}

LoginReply StoreAdaptor::SystemLogin(const QString& userName, const QString& password, const QString& previousSession)
{
    const StoreCaller who = caller();
    LoginReply reply = service_.systemLogin(who, userName, password, previousSession);
    if (reply.ok())
        watch(who.busName);
    return reply;
}

void StoreAdaptor::EndSession(const QString& session)
{
    service_.endSession(caller(), session);
}

OpenReply StoreAdaptor::OpenExercise(const QString& session, int kind)
{
    return service_.openExercise(caller(), session, kind);
}

FinishReply StoreAdaptor::FinishExercise(const QString& session, qlonglong exercise, const QByteArray& log)
{
    return service_.finishExercise(caller(), session, exercise, log);
}

PageReply StoreAdaptor::HistoryAt(qlonglong offset, int limit)
{
    return service_.historyAt(offset, limit);
}

PageReply StoreAdaptor::HistoryOlderThan(const HistoryPages::Key& key, int limit)
{
    return service_.historyOlderThan(key, limit);
}

PageReply StoreAdaptor::HistoryNewerThan(const HistoryPages::Key& key, int limit)
{
    return service_.historyNewerThan(key, limit);
}

RowsReply StoreAdaptor::BatchResults(const QString& batch)
{
    return service_.batchResults(batch);
}

PageReply StoreAdaptor::HistoryFilteredAt(const HistoryPages::Filter& filter, qlonglong offset, int limit)
{
    return service_.historyFilteredAt(filter, offset, limit);
}

PageReply StoreAdaptor::HistoryFilteredOlderThan(const HistoryPages::Filter& filter, const HistoryPages::Key& key,
                                                 int limit)
{
    return service_.historyFilteredOlderThan(filter, key, limit);
}

PageReply StoreAdaptor::HistoryFilteredNewerThan(const HistoryPages::Filter& filter, const HistoryPages::Key& key,
                                                 int limit)
{
    return service_.historyFilteredNewerThan(filter, key, limit);
}

RowsReply StoreAdaptor::StudentResults(const QString& number)
{
    return service_.studentResults(number);
}

PasswordReply StoreAdaptor::Password(const QString& session, int column)
{
    return service_.password(caller(), session, column);
}

StoreReply StoreAdaptor::SetPassword(const QString& session, int column, const QString& password)
{
    return service_.setPassword(caller(), session, column, password);
}

StoreReply StoreAdaptor::ClearHistory(const QString& session)
{
    return service_.clearHistory(caller(), session);
}

StoreReply StoreAdaptor::ReplaceText(const QString& session, const QString& name, const QByteArray& text)
{
    return service_.replaceText(caller(), session, name, text);
}

ResultLogReply StoreAdaptor::ResultLog(const QString& session, qlonglong rowid, bool withTiming)
{
    return service_.resultLog(caller(), session, rowid, withTiming);
}

StudentLogsReply StoreAdaptor::StudentLogs(const QString& session, const QString& studentNumber)
{
    return service_.studentLogs(caller(), session, studentNumber);
}

void StoreTestSeams::Use(const QString& fixedMoment, double draw, qlonglong steady, bool steadySet)
{
    const QDateTime moment = QDateTime::fromString(fixedMoment, Qt::ISODate);
    Clock::setFixed(moment.isValid() ? std::optional<QDateTime>(moment) : std::nullopt);
    Clock::setSteady(steadySet ? std::optional<qint64>(steady) : std::nullopt);
    if (draw >= 0)
        ExerciseLoader::setRandomSourceForTests([value = float(draw)] { return value; });
    else
        ExerciseLoader::setRandomSourceForTests({});
}
