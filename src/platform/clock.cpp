#include "platform/clock.h"

namespace Clock {
namespace {
std::optional<QDateTime> fixedMoment;
}

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

} // namespace Clock
