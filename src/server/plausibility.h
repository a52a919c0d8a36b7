#pragma once
// What the timing of a keystroke log says about the hands that typed it: marks for the teacher,
// never refusals. The marks catch a log made by a program that did not take care to look human
// (a rate no person reaches, keys at a machine's even pace); a forged log typed out at a human
// pace in real time passes them, as it passes every other check the server can make.

#include "exercise/exercise_kind.h"
#include "exercise/keystroke_log.h"

#include <QString>
#include <QStringList>

namespace Plausibility {

// Above any person's rate over a whole exercise. The fastest typists measured on a standard
// keyboard kept about 150 words a minute (750 characters) for an hour and peaked near 212 words
// (1 060) in short tests; 1 200 characters a minute is 240 words, 20 characters every second. An
// input method commits a Chinese phrase at once, but picking the candidates paces it: contest
// typists reach some 300 characters a minute, and 600 is twice that.
constexpr double kEnglishPerMinute = 1200;
constexpr double kChinesePerMinute = 600;
// A rate is taken over at least this long, so that an exercise ended after a few fast keys or
// one long phrase committed at once is not judged on a burst.
constexpr qint64 kShortestSpanMilliseconds = 10'000;

// People do not strike keys evenly: the gaps between keys depend on the letters, the hands and
// the next word, and the spread of the gaps (standard deviation over the mean, the coefficient
// of variation) is some 0.4 to 1 for typists of every skill. A program that sleeps a fixed time,
// or a fixed time with a little jitter, stays far below. Gaps of two seconds or more are pauses
// (reading, thinking) and are left out, so that pauses a program inserts do not hide an even
// pace between them; keys at the same millisecond are one moment (a key's down and character,
// a phrase committed at once).
constexpr double kLowestVariation = 0.15;
constexpr qint64 kPauseMilliseconds = 2000;
// Fewer gaps than this say nothing either way.
constexpr int kFewestGaps = 100;

struct Timing {
    int characters = 0;     // character events (keys' characters and committed characters)
    qint64 spanMilliseconds = 0; // from the first character to the log's last event
    double perMinute = 0;   // characters over the span (at least kShortestSpanMilliseconds)
    int gaps = 0;           // gaps between moments of input, pauses left out
    double variation = 0;   // their standard deviation over their mean; 0 when gaps < 2
};

Timing measure(const KeystrokeLog& log);

// The marks, each with the figure that raised it, in Chinese for the teacher; empty when none.
QStringList marks(const KeystrokeLog& log, ExerciseKind kind);

} // namespace Plausibility
