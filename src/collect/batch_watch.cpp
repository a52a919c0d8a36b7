#include "collect/batch_watch.h"

#include "platform/clock.h"

#include <QRandomGenerator>

namespace {

constexpr int kReadDeadlineMilliseconds = 15'000;
constexpr int kLongestPauseMilliseconds = 30'000;
int firstRetryMilliseconds = 1000;

} // namespace

const QString BatchWatch::channel = QStringLiteral("typelab_batch");

BatchWatch::BatchWatch(const ServerLogin& login, const QString& appFolder, const QString& batch, QObject* parent)
    : QObject(parent), login_(login), appFolder_(appFolder), batch_(batch)
{
    connection_ = new Pg::AsyncConnection(this);
    connect(connection_, &Pg::AsyncConnection::connected, this, &BatchWatch::connected);
    connect(connection_, &Pg::AsyncConnection::pipelineFinished, this, &BatchWatch::answered);
    connect(connection_, &Pg::AsyncConnection::notification, this, &BatchWatch::notified);
    connect(connection_, &Pg::AsyncConnection::failed, this, &BatchWatch::failed);
    lookup_ = new HostLookup(this);
    connect(lookup_, &HostLookup::found, this, &BatchWatch::hostFound);
    retryTimer_.setSingleShot(true);
    connect(&retryTimer_, &QTimer::timeout, this, &BatchWatch::retry);
}

BatchWatch::~BatchWatch()
{
    stop();
}

void BatchWatch::setFirstRetryForTests(int milliseconds)
{
    firstRetryMilliseconds = milliseconds > 0 ? milliseconds : 1000;
}

void BatchWatch::start()
{
    stop();
    const QString missing = ServerLogin::missingCa(appFolder_);
    if (!missing.isEmpty()) {
        QMetaObject::invokeMethod(
            this, [this, missing] { emit loginFailed(missing); }, Qt::QueuedConnection);
        return;
    }
    dial();
}

void BatchWatch::dial()
{
    phase_ = Phase::Connecting;
    lookup_->start(login_.host());
}

void BatchWatch::hostFound(const QStringList& addresses, const QString& problem)
{
    if (phase_ != Phase::Connecting)
        return;
    if (addresses.isEmpty())
        failed(Pg::Error(Pg::Error::Kind::Connect, problem));
    else
        connection_->open(login_.parameters(appFolder_, addresses), ServerLogin::kConnectDeadlineMilliseconds);
}

void BatchWatch::stop()
{
    lookup_->forget();
    retryTimer_.stop();
    connection_->close();
    phase_ = Phase::Stopped;
}

qint64 BatchWatch::serverNow() const
{
    return serverAtRead_ + (Clock::steadyMilliseconds() - steadyAtRead_);
}

void BatchWatch::connected()
{
    // LISTEN goes first in the pipeline: whatever changes after the read's snapshot is told.
    read(true);
}

void BatchWatch::read(bool withListen)
{
    QList<Pg::Statement> statements;
    if (withListen)
        statements << Pg::Statement{QStringLiteral("LISTEN ") + channel, {}};
    statements << Pg::Statement{LiveAttempt::batchStatement, {batch_}}
               << Pg::Statement{LiveAttempt::serverTimeStatement, {}};
    readAgain_ = false;
    phase_ = Phase::Reading;
    connection_->sendPipeline(statements, kReadDeadlineMilliseconds);
}

void BatchWatch::answered(const QList<Pg::Result>& results)
{
    if (phase_ != Phase::Reading)
        return;
    for (const Pg::Result& result : results) {
        if (!result.ok()) {
            const QString why = QStringLiteral("服务器拒绝读取批次：") + result.errorMessage();
            if (!everLive_) {
                stop();
                emit loginFailed(why
                                 + QStringLiteral("\r\n请确认服务器已升级到带监考视图的版本，且这是教师的用户名。"));
            } else {
                lose(why);
            }
            return;
        }
    }
    std::optional<qint64> serverNow;
    QList<LiveAttempt> rows;
    try {
        rows = LiveAttempt::fromRows(results.value(results.size() - 2), &serverNow);
        // A batch without rows: the server's time comes from the last statement.
        if (!serverNow)
            serverNow = qint64(results.last().text(0, 0).toDouble());
    } catch (const Pg::Error& error) {
        lose(QStringLiteral("服务器的回答无法读取：") + error.message());
        return;
    }
    serverAtRead_ = *serverNow;
    steadyAtRead_ = Clock::steadyMilliseconds();
    everLive_ = true;
    failures_ = 0;
    phase_ = Phase::Live;
    if (results.size() == 3) // the first read of a connection
        emit linkChanged(true, QStringLiteral("已连接服务器 %1，随时更新").arg(login_.shownAddress()));
    emit rowsRead(rows);
    if (readAgain_)
        read(false);
}

void BatchWatch::notified(const QString& from, const QString& payload)
{
    if (from != channel || payload != batch_.toLower())
        return;
    if (phase_ == Phase::Reading)
        readAgain_ = true;
    else if (phase_ == Phase::Live)
        read(false);
}

void BatchWatch::failed(const Pg::Error& error)
{
    if (phase_ == Phase::Stopped)
        return;
    if (!everLive_) {
        stop();
        emit loginFailed(login_.connectFailure(error));
        return;
    }
    lose(login_.connectFailure(error));
}

void BatchWatch::lose(const QString& why)
{
    connection_->close();
    phase_ = Phase::Waiting;
    // Full jitter over a pause that doubles: many teachers' windows do not return at once.
    const qint64 ceiling =
        qMin<qint64>(kLongestPauseMilliseconds, qint64(firstRetryMilliseconds) << qMin(failures_, 5));
    const int pause = int(ceiling / 2 + QRandomGenerator::global()->bounded(ceiling / 2 + 1));
    ++failures_;
    retryTimer_.start(pause);
    emit linkChanged(false,
                     why + QStringLiteral("\r\n与服务器的连接中断，%1 秒后重新连接……").arg((pause + 999) / 1000));
}

void BatchWatch::retry()
{
    emit linkChanged(false, QStringLiteral("正在重新连接服务器 %1……").arg(login_.shownAddress()));
    dial();
}
