#include "service/log_checks.h"

namespace LogChecks {

std::optional<QString> timingProblem(const KeystrokeLog& log, qint64 openMilliseconds)
{
    if (log.isEmpty())
        return QStringLiteral("录入记录是空的");
    const qint64 span = log.last().milliseconds;
    if (span > openMilliseconds + kOpenAllowanceMilliseconds)
        return QStringLiteral("录入记录的时长（%1 秒）超过了练习实际打开的时间（%2 秒）")
            .arg(span / 1000.0, 0, 'f', 1)
            .arg(openMilliseconds / 1000.0, 0, 'f', 1);
    std::optional<qint64> previous; // the first character, then each tick
    for (const KeystrokeEvent& event : log) {
        if (event.kind == KeystrokeEvent::Kind::Character && !previous)
            previous = event.milliseconds;
        if (event.kind != KeystrokeEvent::Kind::Tick)
            continue;
        if (!previous || qint64(event.milliseconds) < *previous + kShortestTickMilliseconds)
            return QStringLiteral("录入记录中倒计时走得比每秒一次快");
        previous = event.milliseconds;
    }
    return std::nullopt;
}

} // namespace LogChecks
