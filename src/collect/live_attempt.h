#pragma once
// One row of a sitting as the school server's view typelab.attempts gives it: a student on a
// machine, when the attempt began, what the machine last said and when, and, once finished, the
// figures and the server's check. Times are the server's, in milliseconds since the epoch, so
// the teacher's own clock never enters a comparison.

#include "platform/postgres.h"

#include <QList>
#include <QString>
#include <optional>

struct LiveAttempt {
    QString batch;
    QString xh;
    QString xm;
    QString machine;
    std::optional<qint64> beganAt; // server time, ms since the epoch
    std::optional<qint64> heardAt; // the machine's last word (a claim, a progress note, a result)
    std::optional<int> typed;      // characters typed so far
    std::optional<int> secondsLeft;
    bool finished = false;
    std::optional<double> lrsd;
    std::optional<double> lrzql;
    std::optional<double> lrcj;
    std::optional<bool> verified; // the server's check: true, false, or not yet
    bool duplicate = false;       // 重复参加
    QString marks;                // plausibility marks, each with its figure

    // A machine that has said nothing for this long while not finished is silent.
    static constexpr qint64 kSilentAfterMilliseconds = 90'000;

    enum class State { Waiting, Typing, Finished, Silent };
    // The state at the server's time now: finished, silent, typing (progress seen) or waiting
    // (logged in, nothing typed yet).
    State state(qint64 serverNow) const;
    bool marked() const { return duplicate || !marks.isEmpty(); }

    // Rows sort by student number (ASCII case ignored), then machine.
    bool sortsBefore(const LiveAttempt& other) const;
    bool sameAttempt(const LiveAttempt& other) const;
    bool operator==(const LiveAttempt&) const = default;

    // The statement that reads one batch ($1), sorted as sortsBefore, and one that reads the
    // server's time alone (for a batch without rows).
    static const QString batchStatement;
    static const QString serverTimeStatement;
    // The rows of batchStatement; the server's time of the read comes with them (nullopt for
    // no rows). Throws Pg::Error(Usage) for a value it cannot read.
    static QList<LiveAttempt> fromRows(const Pg::Result& rows, std::optional<qint64>* serverNow);
};
