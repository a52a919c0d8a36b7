#include "school/entry_sender.h"

#include "school/server_statements.h"

EntrySender::EntrySender(Pg::ConnectionParameters server, Deadlines deadlines, QObject* parent)
    : QObject(parent), server_(std::move(server)), deadlines_(deadlines)
{
    qRegisterMetaType<EntrySender::Outcome>();
    connect(&connection_, &Pg::AsyncConnection::connected, this, &EntrySender::sendNext);
    connect(&connection_, &Pg::AsyncConnection::pipelineFinished, this, &EntrySender::finished);
    connect(&connection_, &Pg::AsyncConnection::failed, this, &EntrySender::fail);
}

void EntrySender::send(const QList<OutboxEntry>& entries)
{
    outcome_ = Outcome();
    batches_.clear();
    QList<OutboxEntry> readable;
    for (const OutboxEntry& entry : entries) {
        if (ServerStatements::forEntry(entry))
            readable.append(entry);
        else
            outcome_.refused.append({entry.id, QStringLiteral("本机无法读取这条待发送的记录")});
    }
    if (!readable.isEmpty())
        batches_.append(readable);
    if (connection_.state() == Pg::AsyncConnection::State::Idle)
        sendNext();
    else if (connection_.state() == Pg::AsyncConnection::State::Closed && !batches_.isEmpty())
        connection_.open(server_, deadlines_.connect);
    else if (batches_.isEmpty())
        QMetaObject::invokeMethod(this, [this] { emit done(outcome_); }, Qt::QueuedConnection);
}

void EntrySender::close()
{
    connection_.close();
    rollBackFirst_ = false;
}

void EntrySender::sendNext()
{
    if (batches_.isEmpty()) {
        emit done(outcome_);
        return;
    }
    sending_ = batches_.takeFirst();
    QList<Pg::Statement> statements;
    // A batch the server refused left its transaction open and failed: it ends first.
    if (std::exchange(rollBackFirst_, false))
        statements.append({QStringLiteral("ROLLBACK"), {}, false});
    lead_ = int(statements.size()) + 1;
    statements.append({QStringLiteral("BEGIN"), {}, false});
    for (const OutboxEntry& entry : sending_)
        statements.append(*ServerStatements::forEntry(entry));
    statements.append({QStringLiteral("COMMIT"), {}, false});
    connection_.sendPipeline(statements, deadlines_.batch);
}

void EntrySender::finished(const QList<Pg::Result>& results)
{
    const bool whole = results.size() == sending_.size() + lead_ + 1;
    if (whole && results.last().ok()) {
        // The COMMIT answered: the server has every entry of the batch it acknowledged.
        for (int i = 0; i < sending_.size(); ++i) {
            const Pg::Result& answer = results.at(i + lead_);
            const QString said = answer.rows() == 1 ? answer.text(0, 0) : QString();
            if (ServerStatements::acknowledges(sending_.at(i).kind, said))
                outcome_.stored.append(sending_.at(i).id);
            else if (said == QLatin1String("conflict"))
                outcome_.refused.append({sending_.at(i).id, QStringLiteral("服务器上同一编号已有另一份不同的成绩")});
            else
                outcome_.refused.append({sending_.at(i).id, QStringLiteral("服务器认为这条记录的内容无效（%1）").arg(said)});
        }
        sendNext();
        return;
    }
    // A statement of the batch was refused, so none of it was kept.
    const auto bad = std::find_if(results.cbegin() + qMin(qsizetype(lead_), results.size()), results.cend(),
                                  [](const Pg::Result& result) { return !result.ok(); });
    const QString why = bad == results.cend() ? QStringLiteral("应答不完整") : bad->errorMessage();
    const bool statementRefused = whole && bad != results.cend() && bad != results.cend() - 1;
    rollBackFirst_ = true;
    if (statementRefused && sending_.size() > 1) {
        for (const OutboxEntry& entry : std::as_const(sending_))
            batches_.append({entry}); // each alone: the one refused is found
        sendNext();
        return;
    }
    if (statementRefused) {
        outcome_.refused.append({sending_.first().id, QStringLiteral("服务器拒绝了这条记录：%1").arg(why)});
        sendNext();
        return;
    }
    connection_.close();
    emit failed(QStringLiteral("服务器没有接受这批记录：%1").arg(why), false);
}

void EntrySender::fail(const Pg::Error& error)
{
    close();
    batches_.clear();
    emit failed(explain(error), error.sqlState() == QLatin1String("53300")
                                    || error.message().contains(QLatin1String("too many clients")));
}

QString EntrySender::explain(const Pg::Error& error)
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
