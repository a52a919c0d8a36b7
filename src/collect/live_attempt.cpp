#include "collect/live_attempt.h"

namespace {

// Times travel as milliseconds since the epoch, whatever the session's time zone.
std::optional<qint64> milliseconds(const Pg::Result& rows, int row, int column)
{
    if (rows.isNull(row, column))
        return std::nullopt;
    bool ok = false;
    const double value = rows.text(row, column).toDouble(&ok);
    if (!ok)
        throw Pg::Error(Pg::Error::Kind::Usage, QStringLiteral("row %1: column %2 is no time").arg(row).arg(column));
    return qint64(value);
}

std::optional<int> whole(const Pg::Result& rows, int row, int column)
{
    if (rows.isNull(row, column))
        return std::nullopt;
    bool ok = false;
    const int value = rows.text(row, column).toInt(&ok);
    if (!ok)
        throw Pg::Error(Pg::Error::Kind::Usage, QStringLiteral("row %1: column %2 is no number").arg(row).arg(column));
    return value;
}

std::optional<double> figure(const Pg::Result& rows, int row, int column)
{
    if (rows.isNull(row, column))
        return std::nullopt;
    bool ok = false;
    const double value = rows.text(row, column).toDouble(&ok);
    if (!ok)
        throw Pg::Error(Pg::Error::Kind::Usage, QStringLiteral("row %1: column %2 is no number").arg(row).arg(column));
    return value;
}

std::optional<bool> flag(const Pg::Result& rows, int row, int column)
{
    if (rows.isNull(row, column))
        return std::nullopt;
    return rows.text(row, column) == QLatin1String("t");
}

} // namespace

const QString LiveAttempt::batchStatement = QStringLiteral(
    "SELECT batch, xh, xm, machine, floor(extract(epoch FROM began_at) * 1000),"
    " floor(extract(epoch FROM heard_at) * 1000), typed, seconds_left, finished, lrsd, lrzql, lrcj, verified,"
    " duplicate, marks, floor(extract(epoch FROM server_now) * 1000)"
    " FROM typelab.attempts WHERE lower(batch) = lower($1) ORDER BY lower(xh), machine");

const QString LiveAttempt::serverTimeStatement =
    QStringLiteral("SELECT floor(extract(epoch FROM clock_timestamp()) * 1000)");

LiveAttempt::State LiveAttempt::state(qint64 serverNow) const
{
    if (finished)
        return State::Finished;
    // A claim the machine has not followed up counts from the time it began.
    const std::optional<qint64> lastWord = heardAt ? heardAt : beganAt;
    if (lastWord && serverNow - *lastWord >= kSilentAfterMilliseconds)
        return State::Silent;
    if (!typed && !secondsLeft)
        return State::Waiting;
    return State::Typing;
}

bool LiveAttempt::sortsBefore(const LiveAttempt& other) const
{
    // The server sorts by lower(xh): ASCII case folded, as here (student numbers are ASCII).
    const int byNumber = xh.toLower().compare(other.xh.toLower());
    if (byNumber != 0)
        return byNumber < 0;
    return machine < other.machine;
}

bool LiveAttempt::sameAttempt(const LiveAttempt& other) const
{
    return xh.compare(other.xh, Qt::CaseInsensitive) == 0 && machine == other.machine;
}

QList<LiveAttempt> LiveAttempt::fromRows(const Pg::Result& rows, std::optional<qint64>* serverNow)
{
    QList<LiveAttempt> attempts;
    attempts.reserve(rows.rows());
    *serverNow = std::nullopt;
    for (int row = 0; row < rows.rows(); ++row) {
        LiveAttempt attempt;
        attempt.batch = rows.text(row, 0);
        attempt.xh = rows.text(row, 1);
        attempt.xm = rows.text(row, 2);
        attempt.machine = rows.text(row, 3);
        attempt.beganAt = milliseconds(rows, row, 4);
        attempt.heardAt = milliseconds(rows, row, 5);
        attempt.typed = whole(rows, row, 6);
        attempt.secondsLeft = whole(rows, row, 7);
        attempt.finished = flag(rows, row, 8) == true;
        attempt.lrsd = figure(rows, row, 9);
        attempt.lrzql = figure(rows, row, 10);
        attempt.lrcj = figure(rows, row, 11);
        attempt.verified = flag(rows, row, 12);
        attempt.duplicate = flag(rows, row, 13) == true;
        attempt.marks = rows.isNull(row, 14) ? QString() : rows.text(row, 14);
        if (!*serverNow)
            *serverNow = milliseconds(rows, row, 15);
        attempts.append(attempt);
    }
    return attempts;
}
