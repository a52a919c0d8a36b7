#pragma once
// What the store checks of a keystroke log against its own clock before it replays it: the
// log cannot have taken longer than the exercise was open, and the countdown ticks at most
// once a second from the first character on.

#include "exercise/keystroke_log.h"

#include <QString>
#include <optional>

namespace LogChecks {

// Slack for the two clocks' readings and the time an answer takes to arrive.
constexpr qint64 kOpenAllowanceMilliseconds = 1000;
// A timer tick may come a little early; never this much.
constexpr qint64 kShortestTickMilliseconds = 900;

// Why the log cannot be the log of an exercise the store saw open for `openMilliseconds`;
// nothing when it can.
std::optional<QString> timingProblem(const KeystrokeLog& log, qint64 openMilliseconds);

} // namespace LogChecks
