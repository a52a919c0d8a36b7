#include "collect/server_collection.h"

#include "collect/collection_store.h"

#include <QDir>
#include <QFileInfo>

#include <optional>

namespace {

const QString kCrLf = QStringLiteral("\r\n");
// Reading 2 000 rows takes a fraction of a second; a server that takes this long is stuck.
constexpr int kReadDeadlineMilliseconds = 30'000;
// How many left-out student numbers the line names one by one.
constexpr int kNamedLeftOut = 10;

double figure(const Pg::Result& rows, int row, int column)
{
    bool ok = false;
    const double value = rows.text(row, column).toDouble(&ok);
    if (!ok)
        throw Pg::Error(Pg::Error::Kind::Usage, QStringLiteral("row %1: column %2 is no number").arg(row).arg(column));
    return value;
}

// A boolean column in text: "t", "f", or null.
std::optional<bool> flag(const Pg::Result& rows, int row, int column)
{
    if (rows.isNull(row, column))
        return std::nullopt;
    return rows.text(row, column) == QLatin1String("t");
}

} // namespace

// to_jsonb reads verified and duplicate by name, so the statement is the same whether or not
// the server's schema has the check yet (a missing key gives null).
const QString ServerCollection::batchStatement =
    QStringLiteral("SELECT xh, xm, lrxm, lrcj, lrsd, lrzql, lrdate, lrtime, lrpc,"
                   " (j ->> 'verified')::boolean, (j ->> 'duplicate')::boolean"
                   " FROM typelab.results r CROSS JOIN LATERAL (SELECT to_jsonb(r) AS j) AS whole"
                   " WHERE lower(r.lrpc) = lower($1) ORDER BY r.received_at, r.id");

ServerCollection::ServerCollection(CollectionView& view, QObject* parent) : QObject(parent), view_(view)
{
    connection_ = new Pg::AsyncConnection(this);
    connect(connection_, &Pg::AsyncConnection::connected, this, &ServerCollection::connected);
    connect(connection_, &Pg::AsyncConnection::pipelineFinished, this, &ServerCollection::rowsRead);
    connect(connection_, &Pg::AsyncConnection::failed, this, &ServerCollection::failed);
    lookup_ = new HostLookup(this);
    connect(lookup_, &HostLookup::found, this, &ServerCollection::hostFound);
}

ServerCollection::~ServerCollection()
{
    stop();
}

ServerCollection::Batch ServerCollection::sortRows(const Pg::Result& rows)
{
    Batch batch;
    for (int row = 0; row < rows.rows(); ++row) {
        GradeRow grade;
        grade.xh = rows.text(row, 0);
        grade.xm = rows.text(row, 1);
        grade.lrxm = rows.text(row, 2);
        grade.lrcj = figure(rows, row, 3);
        grade.lrsd = figure(rows, row, 4);
        grade.lrzql = figure(rows, row, 5);
        grade.lrdate = QDate::fromString(rows.text(row, 6), Qt::ISODate);
        // The server keeps whole seconds; a fraction would only come from elsewhere.
        grade.lrtime = QTime::fromString(rows.text(row, 7).left(8), QStringLiteral("HH:mm:ss"));
        grade.lrpc = rows.text(row, 8);
        const std::optional<bool> verified = flag(rows, row, 9);
        if (verified == false) {
            batch.notVerified << grade.xh;
            continue;
        }
        if (!verified)
            ++batch.unchecked;
        if (flag(rows, row, 10) == true)
            ++batch.duplicates;
        batch.kept << CollectionRow::fromGrade(grade);
    }
    return batch;
}

void ServerCollection::start(const ServerLogin& login, const QString& appFolder, const QString& batch)
{
    stop();
    login_ = login;
    appFolder_ = appFolder;
    batch_ = batch;
    rowsStored_ = 0;
    running_ = true;
    const QString missing = ServerLogin::missingCa(appFolder);
    if (!missing.isEmpty()) {
        end(missing);
        return;
    }
    view_.setProgressLine(QStringLiteral("正在连接学校服务器 %1，请等候……").arg(login_.shownAddress()));
    lookup_->start(login_.host());
}

void ServerCollection::hostFound(const QStringList& addresses, const QString& problem)
{
    if (!running_)
        return;
    if (addresses.isEmpty()) {
        end(login_.connectFailure(Pg::Error(Pg::Error::Kind::Connect, problem)));
        return;
    }
    connection_->open(login_.parameters(appFolder_, addresses), ServerLogin::kConnectDeadlineMilliseconds);
}

void ServerCollection::connected()
{
    if (!running_)
        return;
    view_.setProgressLine(ScoreCollection::waitingNetworkText);
    connection_->sendPipeline({Pg::Statement{batchStatement, {batch_}}}, kReadDeadlineMilliseconds);
}

void ServerCollection::rowsRead(const QList<Pg::Result>& results)
{
    if (!running_)
        return;
    connection_->close();
    const Pg::Result& rows = results.value(0);
    if (!rows.ok()) {
        end(QStringLiteral("服务器拒绝读取成绩：") + rows.errorMessage() + kCrLf
            + QStringLiteral("请确认服务器已完成安装，且“%1”是教师的用户名。").arg(login_.user.trimmed()));
        return;
    }
    Batch batch;
    try {
        batch = sortRows(rows);
    } catch (const Pg::Error& error) {
        end(QStringLiteral("服务器的回答无法读取：") + error.message());
        return;
    }
    store(batch);
}

void ServerCollection::store(const Batch& batch)
{
    if (batch.kept.isEmpty() && batch.notVerified.isEmpty()) {
        end(QStringLiteral("服务器上没有该批次的成绩！"));
        return;
    }
    const QString target = QDir::current().absoluteFilePath(ScoreCollection::networkTargetName);
    if (batch.kept.isEmpty()) {
        // Nothing may be counted: no file is made or touched.
        end(totalLine(0, batch, QString()));
        return;
    }
    if (!QFileInfo(target).isFile()
        && !creatmdb(target, [this](const QString& text) { view_.setProgressLine(text); })) {
        stop();
        emit finished();
        return;
    }
    try {
        CollectionStore file = CollectionStore::openTarget(target);
        rowsStored_ = file.append(batch.kept);
    } catch (const DbError& error) {
        // append() is one transaction: a failure leaves none of this run's rows behind.
        end(error.describe() + kCrLf + QStringLiteral("本次没有回收任何记录。"));
        return;
    }
    end(totalLine(rowsStored_, batch, target));
}

QString ServerCollection::totalLine(qint64 appended, const Batch& batch, const QString& target)
{
    QString text = QStringLiteral("共回收") + countText(appended) + QStringLiteral("条记录。");
    QStringList counted;
    if (batch.unchecked > 0)
        counted << QStringLiteral("%1条服务器尚未核对").arg(batch.unchecked);
    if (batch.duplicates > 0)
        counted << QStringLiteral("%1条重复参加").arg(batch.duplicates);
    if (!counted.isEmpty())
        text += kCrLf + QStringLiteral("收到的成绩中") + counted.join(QStringLiteral("，")) + QStringLiteral("。");
    if (!batch.notVerified.isEmpty()) {
        QStringList named = batch.notVerified.mid(0, kNamedLeftOut);
        if (batch.notVerified.size() > kNamedLeftOut)
            named << QStringLiteral("……");
        text += kCrLf
            + QStringLiteral("未计入%1条：服务器按击键记录核对，成绩不符（学号 %2）。")
                  .arg(batch.notVerified.size())
                  .arg(named.join(QStringLiteral("、")));
    }
    if (!target.isEmpty())
        text += kCrLf + whereLine(target);
    return text;
}

void ServerCollection::failed(const Pg::Error& error)
{
    if (!running_)
        return;
    end(login_.connectFailure(error));
}

void ServerCollection::end(const QString& lastLine)
{
    stop();
    if (!lastLine.isEmpty())
        view_.setProgressLine(lastLine);
    emit finished();
}

void ServerCollection::stop()
{
    lookup_->forget();
    connection_->close();
    running_ = false;
}
