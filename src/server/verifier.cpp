#include "server/verifier.h"

#include <QUuid>
#include <QtEndian>

#include <bit>

namespace {

constexpr int kConnectMilliseconds = 15'000;
constexpr int kPipelineMilliseconds = 120'000;
constexpr int kLongestPauseSeconds = 30;
// A summary of the work goes to the log at most this often while results keep coming.
constexpr qint64 kReportMilliseconds = 60'000;
const QString kChannel = QStringLiteral("typelab_received");

// The values of a row of verify_queue, read in binary.
bool readRow(const Pg::Result& result, int row, QString& id, int& kind, QByteArray& text, QByteArray& log,
             ResultCheck::Sent& sent)
{
    if (result.columns() != 7)
        return false;
    for (int column = 0; column < 7; ++column) {
        if (result.isNull(row, column))
            return false;
    }
    const QByteArray uuid = result.bytes(row, 0);
    const QByteArray smallint = result.bytes(row, 1);
    if (uuid.size() != 16 || smallint.size() != 2)
        return false;
    id = QUuid::fromRfc4122(uuid).toString(QUuid::WithoutBraces);
    kind = qFromBigEndian<qint16>(smallint.constData());
    text = result.bytes(row, 2);
    log = result.bytes(row, 3);
    double* figures[] = {&sent.score, &sent.speed, &sent.accuracy};
    for (int i = 0; i < 3; ++i) {
        const QByteArray value = result.bytes(row, 4 + i);
        if (value.size() != 8)
            return false;
        *figures[i] = std::bit_cast<double>(qFromBigEndian<quint64>(value.constData()));
    }
    return true;
}

Pg::Param figureParam(const std::optional<ExerciseResult>& figures, double ExerciseResult::*member)
{
    return figures ? Pg::Param(QString::number((*figures).*member, 'g', 17)) : Pg::Param::null();
}

Pg::Param textOrNull(const QString& text)
{
    return text.isEmpty() ? Pg::Param::null() : Pg::Param(text);
}

} // namespace

Verifier::Verifier(Options options, QTextStream& log, QObject* parent)
    : QObject(parent), options_(std::move(options)), log_(log), connection_(new Pg::AsyncConnection(this)),
      retry_(new QTimer(this))
{
    if (options_.threads > 0)
        pool_.setMaxThreadCount(options_.threads);
    retry_->setSingleShot(true);
    connect(retry_, &QTimer::timeout, this, &Verifier::connectNow);
    connect(connection_, &Pg::AsyncConnection::connected, this, &Verifier::onConnected);
    connect(connection_, &Pg::AsyncConnection::pipelineFinished, this, &Verifier::onPipelineFinished);
    connect(connection_, &Pg::AsyncConnection::notification, this, &Verifier::onNotification);
    connect(connection_, &Pg::AsyncConnection::failed, this, &Verifier::onFailed);
    sinceReport_.start();
}

void Verifier::start()
{
    say(QStringLiteral("checking results with %1 threads, %2 at a time").arg(pool_.maxThreadCount()).arg(options_.batch));
    connectNow();
}

void Verifier::say(const QString& line)
{
    log_ << "typelab-server verify: " << line << "\n";
    log_.flush();
}

void Verifier::connectNow()
{
    step_ = Step::Connecting;
    connection_->open(options_.parameters, kConnectMilliseconds);
}

void Verifier::onConnected()
{
    pause_ = 1;
    if (options_.once) {
        read();
        return;
    }
    step_ = Step::Listening;
    connection_->listen(kChannel, kPipelineMilliseconds);
}

void Verifier::onPipelineFinished(const QList<Pg::Result>& results)
{
    switch (step_) {
    case Step::Listening:
        if (results.isEmpty() || !results.first().ok()) {
            giveUp(QStringLiteral("LISTEN %1 failed: %2").arg(kChannel, results.value(0).errorMessage()));
            return;
        }
        say(QStringLiteral("listening on %1 as %2").arg(kChannel, options_.parameters.value(QStringLiteral("user"))));
        // What arrived while nobody listened is in the queue.
        read();
        return;
    case Step::Reading:
        checkAndRecord(results.value(0));
        return;
    case Step::Recording:
        recorded(results);
        return;
    default:
        return;
    }
}

void Verifier::onNotification()
{
    wanted_ = true;
    if (step_ == Step::Idle)
        read();
}

void Verifier::read()
{
    wanted_ = false;
    step_ = Step::Reading;
    connection_->sendPipeline(
        {Pg::Statement{QStringLiteral("SELECT * FROM typelab.verify_queue($1)"), {QString::number(options_.batch)}, true}},
        kPipelineMilliseconds);
}

void Verifier::checkAndRecord(const Pg::Result& queue)
{
    if (!queue.ok()) {
        giveUp(QStringLiteral("the queue could not be read: %1").arg(queue.errorMessage()));
        return;
    }
    items_.clear();
    items_.resize(queue.rows());
    for (int row = 0; row < queue.rows(); ++row) {
        Item& item = items_[row];
        if (!readRow(queue, row, item.id, item.kind, item.text, item.log, item.sent)) {
            giveUp(QStringLiteral("the queue's row %1 is not what typelab.verify_queue gives").arg(row));
            return;
        }
    }
    if (items_.isEmpty()) {
        becomeIdle();
        return;
    }
    for (Item& item : items_)
        pool_.start([&item] { item.finding = ResultCheck::check(item.kind, item.text, item.log, item.sent); });
    pool_.waitForDone();

    QList<Pg::Statement> statements{{QStringLiteral("BEGIN"), {}}};
    for (const Item& item : items_) {
        const ResultCheck::Finding& finding = item.finding;
        statements.append({QStringLiteral("SELECT typelab.record_verification($1, $2, $3, $4, $5, $6, $7)"),
                           {item.id, finding.verified ? "t" : "f", figureParam(finding.figures, &ExerciseResult::score),
                            figureParam(finding.figures, &ExerciseResult::speed),
                            figureParam(finding.figures, &ExerciseResult::accuracy), textOrNull(finding.problem),
                            textOrNull(finding.marks)}});
    }
    statements.append({QStringLiteral("COMMIT"), {}});
    full_ = queue.rows() >= options_.batch;
    step_ = Step::Recording;
    connection_->sendPipeline(statements, kPipelineMilliseconds);
}

void Verifier::recorded(const QList<Pg::Result>& results)
{
    for (const Pg::Result& result : results) {
        if (!result.ok()) {
            giveUp(QStringLiteral("the findings could not be recorded: %1").arg(result.errorMessage()));
            return;
        }
    }
    for (const Item& item : std::as_const(items_)) {
        ++counts_.checked;
        if (!item.finding.marks.isEmpty())
            ++counts_.marked;
        if (!item.finding.verified) {
            ++counts_.notVerified;
            say(QStringLiteral("result %1 is not verified: %2").arg(item.id, item.finding.problem));
        }
    }
    items_.clear();
    if (full_ || wanted_)
        read();
    else
        becomeIdle();
}

void Verifier::becomeIdle()
{
    step_ = Step::Idle;
    if (counts_.checked != reported_.checked && (options_.once || sinceReport_.elapsed() >= kReportMilliseconds)) {
        say(QStringLiteral("%1 results checked since the start: %2 not verified, %3 marked")
                .arg(counts_.checked)
                .arg(counts_.notVerified)
                .arg(counts_.marked));
        reported_ = counts_;
        sinceReport_.restart();
    }
    if (options_.once)
        emit finished(0);
}

void Verifier::giveUp(const QString& what)
{
    // The connection goes: a transaction half done is rolled back by the server.
    connection_->close();
    onFailed(Pg::Error(Pg::Error::Kind::Statement, what));
}

void Verifier::onFailed(const Pg::Error& error)
{
    step_ = Step::Closed;
    items_.clear();
    const QString where = QStringLiteral("PostgreSQL as %1 through the socket in %2, port %3")
                              .arg(options_.parameters.value(QStringLiteral("user")),
                                   options_.parameters.value(QStringLiteral("host")),
                                   options_.parameters.value(QStringLiteral("port")));
    QString message = error.kind() == Pg::Error::Kind::Statement
        ? error.message()
        : QStringLiteral("no connection to %1: %2").arg(where, error.message());
    if (error.kind() == Pg::Error::Kind::Connect || error.kind() == Pg::Error::Kind::Timeout)
        message += QStringLiteral(" (is the cluster running, and has typelab-server setup run? It lets the system user "
                                  "typelab-verify in as typelab_verify)");
    if (options_.once) {
        say(message);
        emit finished(1);
        return;
    }
    say(QStringLiteral("%1; trying again in %2 s").arg(message).arg(pause_));
    retry_->start(pause_ * 1000);
    pause_ = std::min(pause_ * 2, kLongestPauseSeconds);
}
