#pragma once
// Today's date and the time of day, replaceable by tests.

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <optional>

namespace Clock {

QDate today();
QTime timeOfDay();
// Tests fix the clock; nullopt gives the system clock back.
void setFixed(std::optional<QDateTime> moment);

} // namespace Clock
