#pragma once
// The pace of a replay: how far into a keystroke log (in the log's milliseconds) a replay has
// come at a moment of the steady clock, played at 1× or faster. Changing the speed keeps the
// place reached.

#include <QtGlobal>

class ReplayPace {
public:
    // The replay starts at the log's beginning at `now`, at 1×.
    explicit ReplayPace(qint64 now) : startedAt_(now) {}

    int speed() const { return speed_; }
    void setSpeed(int factor, qint64 now);
    // The log time reached at `now`.
    qint64 position(qint64 now) const;
    // How long from `now` until the log time reaches `logTime` (0 when it has).
    qint64 wait(qint64 logTime, qint64 now) const;

private:
    qint64 startedAt_ = 0; // the steady clock when the log time was `startedFrom_`
    qint64 startedFrom_ = 0;
    int speed_ = 1;
};
