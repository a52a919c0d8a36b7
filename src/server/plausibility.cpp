#include "server/plausibility.h"

#include <cmath>
#include <optional>

namespace Plausibility {

Timing measure(const KeystrokeLog& log)
{
    Timing timing;
    std::optional<quint32> first;
    std::optional<quint32> moment; // the last moment of input
    double sum = 0, squares = 0;
    for (const KeystrokeEvent& event : log) {
        if (event.kind == KeystrokeEvent::Kind::Tick)
            continue;
        if (event.kind == KeystrokeEvent::Kind::Character) {
            ++timing.characters;
            if (!first)
                first = event.milliseconds;
        }
        if (moment && event.milliseconds != *moment) {
            const qint64 gap = qint64(event.milliseconds) - qint64(*moment);
            if (gap > 0 && gap < kPauseMilliseconds) {
                ++timing.gaps;
                sum += double(gap);
                squares += double(gap) * double(gap);
            }
        }
        moment = event.milliseconds;
    }
    if (first && !log.isEmpty()) {
        timing.spanMilliseconds = qint64(log.last().milliseconds) - qint64(*first);
        timing.perMinute =
            timing.characters * 60'000.0 / double(std::max(timing.spanMilliseconds, kShortestSpanMilliseconds));
    }
    if (timing.gaps >= 2) {
        const double mean = sum / timing.gaps;
        const double variance = std::max(0.0, squares / timing.gaps - mean * mean);
        timing.variation = std::sqrt(variance) / mean;
    }
    return timing;
}

QStringList marks(const KeystrokeLog& log, ExerciseKind kind)
{
    const Timing timing = measure(log);
    QStringList found;
    const double limit = kind == ExerciseKind::English ? kEnglishPerMinute : kChinesePerMinute;
    if (timing.perMinute > limit)
        found << QStringLiteral("录入快得不像人手：全程每分钟 %1 个字符（%2 秒内 %3 个），超过每分钟 %4 个")
                     .arg(std::floor(timing.perMinute), 0, 'f', 0)
                     .arg(timing.spanMilliseconds / 1000.0, 0, 'f', 1)
                     .arg(timing.characters)
                     .arg(limit, 0, 'f', 0);
    if (timing.gaps >= kFewestGaps && timing.variation < kLowestVariation)
        found << QStringLiteral("击键间隔均匀得不像人手：%1 个间隔的变异系数为 %2，低于 %3")
                     .arg(timing.gaps)
                     .arg(timing.variation, 0, 'f', 3)
                     .arg(kLowestVariation, 0, 'f', 2);
    return found;
}

} // namespace Plausibility
