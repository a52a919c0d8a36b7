#include "exercise/replay_pace.h"

#include <algorithm>

void ReplayPace::setSpeed(int factor, qint64 now)
{
    startedFrom_ = position(now);
    startedAt_ = now;
    speed_ = std::max(1, factor);
}

qint64 ReplayPace::position(qint64 now) const
{
    return startedFrom_ + std::max<qint64>(0, now - startedAt_) * speed_;
}

qint64 ReplayPace::wait(qint64 logTime, qint64 now) const
{
    const qint64 ahead = logTime - position(now);
    // Rounded up: woken at the end of the wait, the event is due.
    return ahead <= 0 ? 0 : (ahead + speed_ - 1) / speed_;
}
