#include "store/store_client.h"

#include "exercise/exercise_text.h"
#include "platform/clock.h"
#include "store/store_protocol.h"
#include "store1_proxy.h"
#include "test_seams1_proxy.h"

#include <QCoreApplication>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

namespace {

constexpr int kCallTimeoutMilliseconds = 25'000;
constexpr int kBusCheckMilliseconds = 10'000;
constexpr int kChildStartMilliseconds = 10'000;
// How long a finished exercise is sent again before the student is told.
constexpr int kFinishPatienceMilliseconds = 120'000;

QString& serviceProgramOverride()
{
    static QString path;
    return path;
}

QString canonical(const QString& folder)
{
    const QString resolved = QFileInfo(folder).canonicalFilePath();
    return resolved.isEmpty() ? QFileInfo(folder).absoluteFilePath() : resolved;
}

int peerCount = 0;

} // namespace

struct StoreClient::Pending {
    QString session;
    qint64 exercise = 0;
    QByteArray log;
    QPointer<QObject> context;
    std::function<void(const FinishReply&)> done;
    QDeadlineTimer patience;
    int delay = 250; // before the next try, doubled each time
};

StoreClient::StoreClient(QString appFolder, QObject* parent) : QObject(parent), appFolder_(std::move(appFolder))
{
    StoreProtocol::registerTypes();
}

StoreClient::~StoreClient()
{
    dropConnection();
}

void StoreClient::setServiceProgram(const QString& path)
{
    serviceProgramOverride() = path;
}

qint64 StoreClient::childProcessId() const
{
    return child_ ? child_->processId() : 0;
}

void StoreClient::start()
{
    if (store_ || busCheck_ || child_)
        return;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (bus.isConnected()) {
        // Whether an installed service answers for this folder; the bus starts it if need be.
        Store1Proxy installed(QString::fromLatin1(StoreProtocol::kServiceName),
                              QString::fromLatin1(StoreProtocol::kObjectPath), bus);
        installed.setTimeout(kBusCheckMilliseconds);
        busCheck_ = installed.AppFolder();
        return;
    }
    startChild();
}

bool StoreClient::usesInstalledService()
{
    return ensureConnected() && installed_;
}

bool StoreClient::ensureConnected()
{
    if (store_)
        return true;
    if (!busCheck_ && !child_)
        start();
    if (busCheck_) {
        QDBusPendingReply<QString> answer = *busCheck_;
        answer.waitForFinished();
        busCheck_.reset();
        if (answer.isValid() && canonical(answer.value()) == canonical(appFolder_)) {
            connected(QDBusConnection::systemBus(), true);
            return true;
        }
    }
    if (!child_ && !startChild())
        return false;
    return connectToChild();
}

bool StoreClient::startChild()
{
    const QString program =
        serviceProgramOverride().isEmpty() ? appFolder_ + QStringLiteral("/typelab-store") : serviceProgramOverride();
    if (!QFileInfo(program).isExecutable()) {
        problem_ = QStringLiteral("找不到成绩服务程序 %1").arg(program);
        return false;
    }
    child_ = new QProcess(this);
    child_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child_->start(program, {QStringLiteral("--peer"), appFolder_});
    return true;
}

bool StoreClient::connectToChild()
{
    // The first line the child writes is the address it listens on.
    const QDeadlineTimer deadline(kChildStartMilliseconds);
    while (!child_->canReadLine()) {
        const bool more =
            !deadline.hasExpired() && child_->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        if (!more && !child_->canReadLine()) {
            problem_ = QStringLiteral("成绩服务程序没有启动（%1）").arg(child_->errorString());
            dropConnection();
            return false;
        }
    }
    const QString address = QString::fromUtf8(child_->readLine()).trimmed();
    peerName_ = QStringLiteral("typelab-store-%1").arg(++peerCount);
    const QDBusConnection peer = QDBusConnection::connectToPeer(address, peerName_);
    if (!peer.isConnected()) {
        problem_ = QStringLiteral("无法连接成绩服务程序：%1").arg(peer.lastError().message());
        dropConnection();
        return false;
    }
    connected(peer, false);
    forwardedSeams_.clear();
    return true;
}

void StoreClient::connected(const QDBusConnection& connection, bool installed)
{
    // A private connection has one peer: it names no service.
    store_ = std::make_unique<Store1Proxy>(installed ? QString::fromLatin1(StoreProtocol::kServiceName) : QString(),
                                           QString::fromLatin1(StoreProtocol::kObjectPath), connection);
    store_->setTimeout(kCallTimeoutMilliseconds);
    installed_ = installed;
}

void StoreClient::dropConnection()
{
    store_.reset();
    installed_ = false;
    if (!peerName_.isEmpty()) {
        QDBusConnection::disconnectFromPeer(peerName_);
        peerName_.clear();
    }
    if (child_) {
        child_->closeWriteChannel(); // the child ends when its input does
        if (!child_->waitForFinished(2000))
            child_->kill();
        child_->waitForFinished(2000);
        delete child_;
        child_ = nullptr;
    }
}

// A test fixes the clock, the steady clock or the draw in the program; a child started for
// it must go by them too.
void StoreClient::forwardTestSeams()
{
    if (installed_)
        return;
    const std::optional<QDateTime> fixed = Clock::fixed();
    const std::optional<qint64> steady = Clock::steady();
    const std::optional<float> draw = ExerciseLoader::testDrawValue();
    const QString moment = fixed ? fixed->toString(Qt::ISODate) : QString();
    const QString seams = QStringLiteral("%1|%2|%3").arg(moment).arg(steady ? *steady : -1).arg(draw ? *draw : -1.0f);
    if (seams == forwardedSeams_ || (forwardedSeams_.isEmpty() && !fixed && !steady && !draw))
        return;
    TestSeams1Proxy use(QString(), QString::fromLatin1(StoreProtocol::kTestSeamsPath), store_->connection());
    use.setTimeout(kCallTimeoutMilliseconds);
    use.Use(moment, double(draw ? *draw : -1.0f), qlonglong(steady ? *steady : 0), bool(steady)).waitForFinished();
    forwardedSeams_ = seams;
}

template <typename Reply, typename Send> Reply StoreClient::call(Send send)
{
    QString problem;
    // A store that went away is looked for again once: the bus starts the installed one
    // anew, and a child that ended is started again.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!ensureConnected())
            return storeAnswer<Reply>(StoreStatus::Unreachable, problem_);
        forwardTestSeams();
        QDBusPendingReply<Reply> answer = send(*store_);
        answer.waitForFinished();
        if (answer.isValid())
            return answer.value();
        const QDBusError error = answer.error();
        problem = error.message().isEmpty() ? error.name() : error.message();
        dropConnection();
    }
    problem_ = problem;
    return storeAnswer<Reply>(StoreStatus::Unreachable, problem);
}

StoreReply StoreClient::purge()
{
    return call<StoreReply>([](Store1Proxy& store) { return store.Purge(); });
}

LoginReply StoreClient::practiceLogin(const QString& number, const QString& name)
{
    return call<LoginReply>([&](Store1Proxy& store) { return store.PracticeLogin(number, name); });
}

LoginReply StoreClient::testLogin(const QString& number, const QString& name, const QString& batch,
                                  const QString& password, bool withPassword)
{
    return call<LoginReply>(
        [&](Store1Proxy& store) { return store.TestLogin(number, name, batch, password, withPassword); });
}

LoginReply StoreClient::systemLogin(const QString& userName, const QString& password, const QString& previousSession)
{
    return call<LoginReply>([&](Store1Proxy& store) { return store.SystemLogin(userName, password, previousSession); });
}

void StoreClient::endSession(const QString& session)
{
    if (session.isEmpty() || !ensureConnected())
        return;
    store_->EndSession(session);
}

void StoreClient::exerciseProgress(const QString& session, qint64 exercise, int typed, int secondsLeft)
{
    if (session.isEmpty() || !ensureConnected())
        return;
    forwardTestSeams();
    store_->ExerciseProgress(session, exercise, typed, secondsLeft);
}

OpenReply StoreClient::openExercise(const QString& session, ExerciseKind kind)
{
    return call<OpenReply>([&](Store1Proxy& store) { return store.OpenExercise(session, int(kind)); });
}

PageReply StoreClient::history(const HistoryPages::Filter& filter, const HistoryPages::Cursor& cursor, int limit)
{
    return call<PageReply>([&](Store1Proxy& store) { return store.History(filter, cursor, limit); });
}

RowsReply StoreClient::batchResults(const QString& batch)
{
    return call<RowsReply>([&](Store1Proxy& store) { return store.BatchResults(batch); });
}

RowsReply StoreClient::studentResults(const QString& number)
{
    return call<RowsReply>([&](Store1Proxy& store) { return store.StudentResults(number); });
}

PasswordReply StoreClient::password(const QString& session, PasswordColumn column)
{
    return call<PasswordReply>([&](Store1Proxy& store) { return store.Password(session, int(column)); });
}

StoreReply StoreClient::setPassword(const QString& session, PasswordColumn column, const QString& password)
{
    return call<StoreReply>([&](Store1Proxy& store) { return store.SetPassword(session, int(column), password); });
}

StoreReply StoreClient::clearHistory(const QString& session)
{
    return call<StoreReply>([&](Store1Proxy& store) { return store.ClearHistory(session); });
}

StoreReply StoreClient::replaceText(const QString& session, const QString& name, const QByteArray& text)
{
    return call<StoreReply>([&](Store1Proxy& store) { return store.ReplaceText(session, name, text); });
}

ResultLogReply StoreClient::resultLog(const QString& session, qint64 rowid, bool withTiming)
{
    return call<ResultLogReply>([&](Store1Proxy& store) { return store.ResultLog(session, rowid, withTiming); });
}

StudentLogsReply StoreClient::studentLogs(const QString& session, const QString& studentNumber)
{
    return call<StudentLogsReply>([&](Store1Proxy& store) { return store.StudentLogs(session, studentNumber); });
}

// ---------------------------------------------------------------- a finished exercise

void StoreClient::finishExercise(const QString& session, qint64 exercise, const KeystrokeLog& log, QObject* context,
                                 std::function<void(const FinishReply&)> done)
{
    auto pending = std::make_shared<Pending>();
    pending->session = session;
    pending->exercise = exercise;
    pending->log = KeystrokeLogs::encode(log);
    pending->context = context;
    pending->done = std::move(done);
    pending->patience = QDeadlineTimer(kFinishPatienceMilliseconds);
    ++finishesUnderWay_;
    sendFinish(pending);
}

void StoreClient::sendFinish(const std::shared_ptr<Pending>& pending)
{
    const auto deliver = [this, pending](const FinishReply& reply) {
        --finishesUnderWay_;
        if (pending->context)
            pending->done(reply);
    };
    const auto tryAgainLater = [this, pending, deliver](const QString& problem) {
        if (pending->patience.hasExpired()) {
            deliver(storeAnswer<FinishReply>(StoreStatus::Unreachable, problem));
            return;
        }
        QTimer::singleShot(pending->delay, this, [this, pending] { sendFinish(pending); });
        pending->delay = qMin(pending->delay * 2, 8000);
    };
    if (!ensureConnected()) {
        tryAgainLater(problem_);
        return;
    }
    forwardTestSeams();
    auto* watcher =
        new QDBusPendingCallWatcher(store_->FinishExercise(pending->session, pending->exercise, pending->log), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, deliver, tryAgainLater](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                const QDBusPendingReply<FinishReply> answer = *finished;
                if (answer.isValid()) {
                    deliver(answer.value());
                    return;
                }
                // The store went away with the log: it is sent again once a store answers. A
                // result already stored comes back with the same figures.
                const QDBusError error = answer.error();
                dropConnection();
                tryAgainLater(error.message().isEmpty() ? error.name() : error.message());
            });
}
