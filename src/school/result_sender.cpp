#include "school/result_sender.h"

namespace {

const char kSubmit[] = "SELECT typelab.submit($1::uuid, $2, $3, $4, $5::float8, $6::float8, $7::float8, $8::date,"
                       " $9::time, $10, $11::int2, $12::bytea, $13::bytea)";

QString number(double value)
{
    return QString::number(value, 'g', 17);
}

Pg::Statement submitOf(const ServerResult& result)
{
    const GradeRow& row = result.row;
    return {QString::fromLatin1(kSubmit),
            {result.id, row.xh, row.xm, row.lrxm, number(row.lrcj), number(row.lrsd), number(row.lrzql),
             row.lrdate.toString(Qt::ISODate), row.lrtime.toString(QStringLiteral("HH:mm:ss")),
             row.lrpc.isEmpty() ? Pg::Param::null() : Pg::Param(row.lrpc), QString::number(int(result.kind)),
             Pg::Param::binary(result.text), Pg::Param::binary(result.log)},
            false};
}

} // namespace

ResultSender::ResultSender(Pg::ConnectionParameters server, Deadlines deadlines, QObject* parent)
    : QObject(parent), server_(std::move(server)), deadlines_(deadlines)
{
    qRegisterMetaType<ResultSender::Outcome>();
    connect(&connection_, &Pg::AsyncConnection::connected, this, &ResultSender::sendPending);
    connect(&connection_, &Pg::AsyncConnection::pipelineFinished, this, &ResultSender::finished);
    connect(&connection_, &Pg::AsyncConnection::failed, this, &ResultSender::fail);
}

void ResultSender::send(const QList<ServerResult>& results)
{
    pending_ = results;
    if (connection_.state() == Pg::AsyncConnection::State::Idle)
        sendPending();
    else if (connection_.state() == Pg::AsyncConnection::State::Closed)
        connection_.open(server_, deadlines_.connect);
}

void ResultSender::close()
{
    connection_.close();
}

void ResultSender::sendPending()
{
    QList<Pg::Statement> statements{{QStringLiteral("BEGIN"), {}, false}};
    for (const ServerResult& result : pending_)
        statements.append(submitOf(result));
    statements.append({QStringLiteral("COMMIT"), {}, false});
    connection_.sendPipeline(statements, deadlines_.batch);
}

void ResultSender::finished(const QList<Pg::Result>& results)
{
    // Only a COMMIT that answered makes anything sent.
    if (results.size() != pending_.size() + 2 || !results.last().ok()) {
        const auto bad = std::find_if(results.cbegin(), results.cend(), [](const Pg::Result& result) { return !result.ok(); });
        const QString why = bad == results.cend() ? QStringLiteral("应答不完整") : bad->errorMessage();
        connection_.close();
        emit failed(QStringLiteral("服务器没有接受这批成绩：%1").arg(why), false);
        return;
    }
    Outcome outcome;
    for (int i = 0; i < pending_.size(); ++i) {
        const Pg::Result& answer = results.at(i + 1);
        const QString said = answer.rows() == 1 ? answer.text(0, 0) : QString();
        if (said == QLatin1String("stored") || said == QLatin1String("again"))
            outcome.stored.append(pending_.at(i).id);
        else if (said == QLatin1String("conflict"))
            outcome.refused.append({pending_.at(i).id, QStringLiteral("服务器上同一编号已有另一份不同的成绩")});
        else
            outcome.refused.append({pending_.at(i).id, QStringLiteral("服务器认为这份成绩的内容无效（%1）").arg(said)});
    }
    pending_.clear();
    emit done(outcome);
}

void ResultSender::fail(const Pg::Error& error)
{
    connection_.close();
    emit failed(explain(error), error.sqlState() == QLatin1String("53300")
                                    || error.message().contains(QLatin1String("too many clients")));
}

QString ResultSender::explain(const Pg::Error& error)
{
    const QString said = error.message();
    const auto saying = [&](const char* text) { return said.contains(QLatin1String(text), Qt::CaseInsensitive); };
    QString what;
    if (error.kind() == Pg::Error::Kind::LibraryMissing)
        what = QStringLiteral("PostgreSQL 客户端库无法载入");
    else if (error.kind() == Pg::Error::Kind::Timeout)
        what = QStringLiteral("服务器没有按时应答");
    else if (saying("certificate revoked"))
        what = QStringLiteral("本机的证书已被学校服务器吊销");
    else if (saying("certificate expired"))
        what = QStringLiteral("证书已过期");
    else if (saying("does not match host name") || saying("certificate verify failed"))
        what = QStringLiteral("服务器的证书与本机的学校证书不符");
    else if (error.sqlState() == QLatin1String("53300") || saying("too many clients"))
        what = QStringLiteral("服务器的连接已满");
    else if (saying("Connection refused") || saying("could not connect") || saying("could not translate host name"))
        what = QStringLiteral("无法连接服务器");
    else if (error.kind() == Pg::Error::Kind::Lost)
        what = QStringLiteral("与服务器的连接中断");
    else
        what = QStringLiteral("服务器拒绝了连接");
    return QStringLiteral("%1（%2）").arg(what, said);
}
