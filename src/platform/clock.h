#pragma once
// Today's date, the time of day, and a steady clock, each replaceable by tests.

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <optional>

namespace Clock {

QDate today();
QTime timeOfDay();
// Tests fix the clock; nullopt gives the system clock back.
void setFixed(std::optional<QDateTime> moment);
std::optional<QDateTime> fixed();

// Milliseconds since the machine started, counting time asleep: one count for every process
// of the machine, so the program and the store measure the same exercise alike.
qint64 steadyMilliseconds();
// Tests set the steady clock and move it on themselves; nullopt gives the real one back.
void setSteady(std::optional<qint64> milliseconds);
std::optional<qint64> steady();

} // namespace Clock
