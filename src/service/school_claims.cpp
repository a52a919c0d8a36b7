#include "service/school_claims.h"

#include <QTimer>
#include <QUuid>

ClaimAnswer ClaimAnswer::from(const QString& answer, const QString& claimedAt)
{
    ClaimAnswer parsed;
    if (answer == QLatin1String("granted")) {
        parsed.kind = Kind::Granted;
    } else if (answer == QLatin1String("again")) {
        parsed.kind = Kind::Again;
    } else if (answer.startsWith(QLatin1String("elsewhere:")) && answer.size() > 10) {
        parsed.kind = Kind::Elsewhere;
        parsed.machine = answer.mid(10);
        parsed.claimedAt = QDateTime::fromString(claimedAt, Qt::ISODateWithMs);
    }
    return parsed;
}

void SchoolClaims::ask(const QString& batch, const QString& xh, const QString& xm,
                       std::function<void(const ClaimAnswer&)> done)
{
    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    Question question{ClaimRequest{id, batch, xh, xm}, std::move(done)};
    question.patience = new QTimer(this);
    question.patience->setSingleShot(true);
    connect(question.patience, &QTimer::timeout, this, [this, id] { finish(id, ClaimAnswer()); });
    question.patience->start(kPatienceMilliseconds);
    questions_.insert(id, std::move(question));
    emit asked();
}

QList<ClaimRequest> SchoolClaims::take()
{
    QList<ClaimRequest> requests;
    for (Question& question : questions_) {
        if (!question.taken) {
            question.taken = true;
            requests.append(question.request);
        }
    }
    return requests;
}

void SchoolClaims::answered(const QString& id, const QString& answer, const QString& claimedAt)
{
    finish(id, ClaimAnswer::from(answer, claimedAt));
}

void SchoolClaims::finish(const QString& id, const ClaimAnswer& answer)
{
    const auto found = questions_.find(id);
    if (found == questions_.end())
        return; // answered late, after the login went on without it
    Question question = std::move(*found);
    questions_.erase(found);
    question.patience->deleteLater();
    // From the event loop, never inside the caller's own call.
    QTimer::singleShot(0, this, [done = std::move(question.done), answer] { done(answer); });
}
