#include "school/claim_asker.h"

#include "school/server_statements.h"

ClaimAsker::ClaimAsker(Pg::ConnectionParameters server, int deadlineMilliseconds, QObject* parent)
    : QObject(parent), server_(std::move(server)), deadline_(deadlineMilliseconds)
{
    connect(&connection_, &Pg::AsyncConnection::connected, this, &ClaimAsker::askWaiting);
    connect(&connection_, &Pg::AsyncConnection::pipelineFinished, this, &ClaimAsker::finished);
    connect(&connection_, &Pg::AsyncConnection::failed, this, &ClaimAsker::failed);
}

void ClaimAsker::ask(const QList<ClaimRequest>& requests)
{
    waiting_ += requests;
    if (connection_.state() == Pg::AsyncConnection::State::Closed)
        connection_.open(server_, deadline_);
    else if (connection_.state() == Pg::AsyncConnection::State::Idle)
        askWaiting();
}

void ClaimAsker::askWaiting()
{
    if (waiting_.isEmpty()) {
        connection_.close();
        return;
    }
    asking_ = std::exchange(waiting_, {});
    QList<Pg::Statement> statements;
    for (const ClaimRequest& request : std::as_const(asking_))
        statements << ServerStatements::claim(request) << ServerStatements::claimedAt(request);
    connection_.sendPipeline(statements, deadline_);
}

void ClaimAsker::finished(const QList<Pg::Result>& results)
{
    for (int i = 0; i < asking_.size(); ++i) {
        const Pg::Result& answer = results.value(2 * i);
        const Pg::Result& when = results.value(2 * i + 1);
        const bool known = answer.ok() && answer.rows() == 1;
        emit answered(asking_.at(i).id, known ? answer.text(0, 0) : QStringLiteral("away"),
                      when.ok() && when.rows() == 1 && !when.isNull(0, 0) ? when.text(0, 0) : QString());
    }
    asking_.clear();
    askWaiting(); // more arrived meanwhile, or nothing: then the connection goes
}

void ClaimAsker::failed()
{
    for (const ClaimRequest& request : std::as_const(asking_) + std::exchange(waiting_, {}))
        emit answered(request.id, QStringLiteral("away"), QString());
    asking_.clear();
    connection_.close();
}
