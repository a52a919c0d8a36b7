#include "platform/clock.h"

#include <time.h>

namespace Clock {
namespace {
std::optional<QDateTime> fixedMoment;
std::optional<qint64> steadyNow;
} // namespace

QDate today()
{
    return fixedMoment ? fixedMoment->date() : QDate::currentDate();
}

QTime timeOfDay()
{
    return fixedMoment ? fixedMoment->time() : QTime::currentTime();
}

void setFixed(std::optional<QDateTime> moment)
{
    fixedMoment = std::move(moment);
}

std::optional<QDateTime> fixed()
{
    return fixedMoment;
}

qint64 steadyMilliseconds()
{
    if (steadyNow)
        return *steadyNow;
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

void setSteady(std::optional<qint64> milliseconds)
{
    steadyNow = milliseconds;
}

std::optional<qint64> steady()
{
    return steadyNow;
}

} // namespace Clock
