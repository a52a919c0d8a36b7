#include "store/store_client.h"

#include "exercise/exercise_text.h"
#include "platform/clock.h"

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

template <typename Reply> Reply unreachable(const QString& problem)
{
    Reply reply;
    reply.status = StoreStatus::Unreachable;
    reply.message = problem;
    return reply;
}

int peerCount = 0;

} // namespace

QString storeProblem(const StoreReply& reply)
{
    if (reply.status == StoreStatus::Unreachable)
        return QStringLiteral("成绩服务没有响应：%1").arg(reply.message);
    return reply.message;
}

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
    if (connected_ || busCheck_ || child_)
        return;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (bus.isConnected()) {
        // Whether an installed service answers for this folder; the bus starts it if need be.
        busCheck_ = bus.asyncCall(QDBusMessage::createMethodCall(QString::fromLatin1(StoreProtocol::kServiceName),
                                                                 QString::fromLatin1(StoreProtocol::kObjectPath),
                                                                 QString::fromLatin1(StoreProtocol::kInterface),
                                                                 QStringLiteral("AppFolder")),
                                  kBusCheckMilliseconds);
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
    if (connected_)
        return true;
    if (!busCheck_ && !child_)
        start();
    if (busCheck_) {
        QDBusPendingReply<QString> answer = *busCheck_;
        answer.waitForFinished();
        busCheck_.reset();
        if (answer.isValid() && canonical(answer.value()) == canonical(appFolder_)) {
            connection_ = QDBusConnection::systemBus();
            connected_ = true;
            installed_ = true;
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
    connection_ = QDBusConnection::connectToPeer(address, peerName_);
    if (!connection_.isConnected()) {
        problem_ = QStringLiteral("无法连接成绩服务程序：%1").arg(connection_.lastError().message());
        dropConnection();
        return false;
    }
    connected_ = true;
    installed_ = false;
    forwardedSeams_.clear();
    return true;
}

void StoreClient::dropConnection()
{
    if (!peerName_.isEmpty()) {
        QDBusConnection::disconnectFromPeer(peerName_);
        peerName_.clear();
    }
    connection_ = QDBusConnection(QString());
    connected_ = false;
    installed_ = false;
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
    QDBusMessage use =
        QDBusMessage::createMethodCall(QString(), QStringLiteral("/org/typelab/StoreTestSeams"),
                                       QStringLiteral("org.typelab.StoreTestSeams1"), QStringLiteral("Use"));
    use << moment << double(draw ? *draw : -1.0f) << qlonglong(steady ? *steady : 0) << bool(steady);
    connection_.call(use, QDBus::Block, kCallTimeoutMilliseconds);
    forwardedSeams_ = seams;
}

QDBusMessage StoreClient::message(const char* method, const QVariantList& arguments) const
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(installed_ ? QString::fromLatin1(StoreProtocol::kServiceName) : QString(),
                                       QString::fromLatin1(StoreProtocol::kObjectPath),
                                       QString::fromLatin1(StoreProtocol::kInterface), QString::fromLatin1(method));
    call.setArguments(arguments);
    return call;
}

template <typename Reply> Reply StoreClient::call(const char* method, const QVariantList& arguments)
{
    QString problem;
    // A store that went away is looked for again once: the bus starts the installed one
    // anew, and a child that ended is started again.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!ensureConnected())
            return unreachable<Reply>(problem_);
        forwardTestSeams();
        const QDBusMessage answer =
            connection_.call(message(method, arguments), QDBus::Block, kCallTimeoutMilliseconds);
        if (answer.type() == QDBusMessage::ReplyMessage && answer.arguments().size() == 1)
            return qdbus_cast<Reply>(answer.arguments().constFirst());
        problem = answer.errorMessage().isEmpty() ? answer.errorName() : answer.errorMessage();
        dropConnection();
    }
    problem_ = problem;
    return unreachable<Reply>(problem);
}

StoreReply StoreClient::purge()
{
    return call<StoreReply>("Purge", {});
}

LoginReply StoreClient::practiceLogin(const QString& number, const QString& name)
{
    return call<LoginReply>("PracticeLogin", {number, name});
}

LoginReply StoreClient::testLogin(const QString& number, const QString& name, const QString& batch,
                                  const QString& password, bool withPassword)
{
    return call<LoginReply>("TestLogin", {number, name, batch, password, withPassword});
}

LoginReply StoreClient::systemLogin(const QString& userName, const QString& password, const QString& previousSession)
{
    return call<LoginReply>("SystemLogin", {userName, password, previousSession});
}

void StoreClient::endSession(const QString& session)
{
    if (session.isEmpty() || !ensureConnected())
        return;
    connection_.call(message("EndSession", {session}), QDBus::NoBlock);
}

OpenReply StoreClient::openExercise(const QString& session, int kind)
{
    return call<OpenReply>("OpenExercise", {session, kind});
}

PageReply StoreClient::historyAt(qint64 offset, int limit)
{
    return call<PageReply>("HistoryAt", {qlonglong(offset), limit});
}

PageReply StoreClient::historyOlderThan(const HistoryPages::Key& key, int limit)
{
    return call<PageReply>("HistoryOlderThan", {QVariant::fromValue(key), limit});
}

PageReply StoreClient::historyNewerThan(const HistoryPages::Key& key, int limit)
{
    return call<PageReply>("HistoryNewerThan", {QVariant::fromValue(key), limit});
}

RowsReply StoreClient::batchResults(const QString& batch)
{
    return call<RowsReply>("BatchResults", {batch});
}

PageReply StoreClient::historyFilteredAt(const HistoryPages::Filter& filter, qint64 offset, int limit)
{
    return call<PageReply>("HistoryFilteredAt", {QVariant::fromValue(filter), qlonglong(offset), limit});
}

PageReply StoreClient::historyFilteredOlderThan(const HistoryPages::Filter& filter, const HistoryPages::Key& key,
                                                int limit)
{
    return call<PageReply>("HistoryFilteredOlderThan", {QVariant::fromValue(filter), QVariant::fromValue(key), limit});
}

PageReply StoreClient::historyFilteredNewerThan(const HistoryPages::Filter& filter, const HistoryPages::Key& key,
                                                int limit)
{
    return call<PageReply>("HistoryFilteredNewerThan", {QVariant::fromValue(filter), QVariant::fromValue(key), limit});
}

RowsReply StoreClient::studentResults(const QString& number)
{
    return call<RowsReply>("StudentResults", {number});
}

PasswordReply StoreClient::password(const QString& session, int column)
{
    return call<PasswordReply>("Password", {session, column});
}

StoreReply StoreClient::setPassword(const QString& session, int column, const QString& password)
{
    return call<StoreReply>("SetPassword", {session, column, password});
}

StoreReply StoreClient::clearHistory(const QString& session)
{
    return call<StoreReply>("ClearHistory", {session});
}

StoreReply StoreClient::replaceText(const QString& session, const QString& name, const QByteArray& text)
{
    return call<StoreReply>("ReplaceText", {session, name, text});
}

ResultLogReply StoreClient::resultLog(const QString& session, qint64 rowid, bool withTiming)
{
    return call<ResultLogReply>("ResultLog", {session, qlonglong(rowid), withTiming});
}

StudentLogsReply StoreClient::studentLogs(const QString& session, const QString& studentNumber)
{
    return call<StudentLogsReply>("StudentLogs", {session, studentNumber});
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
            deliver(unreachable<FinishReply>(problem));
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
    const QDBusPendingCall sent =
        connection_.asyncCall(message("FinishExercise", {pending->session, qlonglong(pending->exercise), pending->log}),
                              kCallTimeoutMilliseconds);
    auto* watcher = new QDBusPendingCallWatcher(sent, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, deliver, tryAgainLater](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                const QDBusMessage answer = finished->reply();
                if (answer.type() == QDBusMessage::ReplyMessage && answer.arguments().size() == 1) {
                    deliver(qdbus_cast<FinishReply>(answer.arguments().constFirst()));
                    return;
                }
                // The store went away with the log: it is sent again once a store answers. A
                // result already stored comes back with the same figures.
                const QString problem = answer.errorMessage().isEmpty() ? answer.errorName() : answer.errorMessage();
                dropConnection();
                tryAgainLater(problem);
            });
}
