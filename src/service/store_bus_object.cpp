#include "service/store_bus_object.h"

#include "exercise/exercise_text.h"
#include "platform/clock.h"
#include "store1_adaptor.h"
#include "test_seams1_adaptor.h"

#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>

#include <limits>
#include <unistd.h>

namespace {
// How long the share's copy waits for more changes before it is written.
constexpr int kCopyDelayMilliseconds = 500;
} // namespace

StoreBusObject::StoreBusObject(StoreService& service, QObject* parent) : QObject(parent), service_(service)
{
    new Store1Adaptor(this);
    copyDue_.setSingleShot(true);
    copyDue_.setInterval(kCopyDelayMilliseconds);
    connect(&copyDue_, &QTimer::timeout, this, [this] {
        if (const auto problem = service_.publishCopy())
            qWarning("typelab-store: the share's copy was not written: %s", qPrintable(*problem));
    });
    service_.database.setChangeHandler([this] { copyDue_.start(); });
}

StoreCaller StoreBusObject::caller() const
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

void StoreBusObject::programEnded(const QString& busName)
{
    guarded<StoreReply>(service_.database, [&] {
        service_.sessions.endAllOf(busName);
        return storeAnswer<StoreReply>(StoreStatus::Ok);
    });
    watcher_->removeWatchedService(busName);
}

void StoreBusObject::ensureWatcher(const QDBusConnection& bus)
{
    if (watcher_)
        return;
    watcher_ = new QDBusServiceWatcher(this);
    watcher_->setConnection(bus);
    watcher_->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(watcher_, &QDBusServiceWatcher::serviceUnregistered, this, &StoreBusObject::programEnded);
}

void StoreBusObject::watch(const QDBusConnection& bus, const QString& busName)
{
    if (busName.isEmpty())
        return;
    ensureWatcher(bus);
    if (!watcher_->watchedServices().contains(busName))
        watcher_->addWatchedService(busName);
}

template <typename Reply> Reply StoreBusObject::watched(const QDBusConnection& bus, const StoreCaller& who, Reply reply)
{
    if (reply.ok())
        watch(bus, who.busName);
    return reply;
}

void StoreBusObject::watchSessionOwners(const QDBusConnection& bus)
{
    const QDBusConnectionInterface* names = bus.interface();
    if (!names)
        return;
    ensureWatcher(bus);
    QStringList owners;
    guarded<StoreReply>(service_.database, [&] {
        owners = service_.sessions.owners();
        return storeAnswer<StoreReply>(StoreStatus::Ok);
    });
    for (const QString& owner : owners) {
        if (names->isServiceRegistered(owner).value())
            watcher_->addWatchedService(owner);
        else
            programEnded(owner);
    }
}

QString StoreBusObject::AppFolder()
{
    return service_.places().appFolder;
}

StoreReply StoreBusObject::Purge()
{
    // A program starts: on a machine that has joined a school server the forwarder gets ready,
    // so that a test login's claim is answered at once.
    if (service_.outbox.joined())
        service_.outbox.added();
    return service_.purge();
}

LoginReply StoreBusObject::PracticeLogin(const QString& number, const QString& name)
{
    const StoreCaller who = caller();
    return watched(connection(), who, service_.logins.practice(who, number, name));
}

LoginReply StoreBusObject::TestLogin(const QString& number, const QString& name, const QString& batch,
                                     const QString& password, bool withPassword)
{
    const StoreCaller who = caller();
    const auto question = service_.logins.serverQuestion(number, name, batch);
    if (!question)
        return watched(connection(), who, service_.logins.test(who, number, name, batch, password, withPassword));
    // The school server is asked first; the answer follows when it has spoken, or after two
    // seconds without it, and meanwhile the store goes on serving others.
    setDelayedReply(true);
    const QDBusMessage call = message();
    const QDBusConnection bus = connection();
    service_.claims.ask(question->batch, question->xh, question->xm,
                        [=, this](const ClaimAnswer& server) {
                            const LoginReply reply =
                                watched(bus, who,
                                        service_.logins.test(who, number, name, batch, password, withPassword, server));
                            QDBusConnection(bus).send(call.createReply(QVariant::fromValue(reply)));
                        });
    return {};
}

LoginReply StoreBusObject::SystemLogin(const QString& userName, const QString& password,
                                       const QString& previousSession)
{
    const StoreCaller who = caller();
    return watched(connection(), who, service_.logins.system(who, userName, password, previousSession));
}

void StoreBusObject::EndSession(const QString& session)
{
    const StoreCaller who = caller();
    // A session a failure here leaves behind ends after an hour without a call all the same.
    guarded<StoreReply>(service_.database, [&] {
        service_.sessions.end(who, session);
        return storeAnswer<StoreReply>(StoreStatus::Ok);
    });
}

OpenReply StoreBusObject::OpenExercise(const QString& session, int kind)
{
    return service_.exercises.open(caller(), session, ExerciseKind(kind));
}

FinishReply StoreBusObject::FinishExercise(const QString& session, qlonglong exercise, const QByteArray& log)
{
    return service_.exercises.finish(caller(), session, exercise, log);
}

void StoreBusObject::ExerciseProgress(const QString& session, qlonglong exercise, int typed, int secondsLeft)
{
    service_.exercises.progress(caller(), session, exercise, typed, secondsLeft);
}

PageReply StoreBusObject::History(const HistoryPages::Filter& filter, const HistoryPages::Cursor& cursor, int limit)
{
    return service_.results.history(filter, cursor, limit);
}

RowsReply StoreBusObject::BatchResults(const QString& batch)
{
    return service_.results.batch(batch);
}

RowsReply StoreBusObject::StudentResults(const QString& number)
{
    return service_.results.student(number);
}

PasswordReply StoreBusObject::Password(const QString& session, int column)
{
    return service_.maintenance.password(caller(), session, PasswordColumn(column));
}

StoreReply StoreBusObject::SetPassword(const QString& session, int column, const QString& password)
{
    return service_.maintenance.setPassword(caller(), session, PasswordColumn(column), password);
}

StoreReply StoreBusObject::ClearHistory(const QString& session)
{
    return service_.maintenance.clearHistory(caller(), session);
}

StoreReply StoreBusObject::ReplaceText(const QString& session, const QString& name, const QByteArray& text)
{
    return service_.maintenance.replaceText(caller(), session, name, text);
}

ResultLogReply StoreBusObject::ResultLog(const QString& session, qlonglong rowid, bool withTiming)
{
    return service_.results.resultLog(caller(), session, rowid, withTiming);
}

StudentLogsReply StoreBusObject::StudentLogs(const QString& session, const QString& studentNumber)
{
    return service_.results.studentLogs(caller(), session, studentNumber);
}

StoreTestSeams::StoreTestSeams(QObject* parent) : QObject(parent)
{
    new TestSeams1Adaptor(this);
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
