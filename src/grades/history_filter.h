#pragma once
// The checks of what narrows the history view's rows (HistoryPages::Filter): a student number,
// a name, a batch, a date range and the exercise kind. An empty box lets every result through.
// The number and the batch match whole and without regard to the case of ASCII letters, as
// every look-up of the program compares them (teachers type "b1" for "B1"); the name matches
// whole in the same way: names are short and typed in full, and a part of one ("张") would
// bring in other students too. Both dates are included. The window checks what was typed, and the store checks the filter again when it
// arrives, so a call made straight to the bus cannot ask for what the window refuses.

#include "store/store_types.h"

#include <QDate>
#include <QString>
#include <optional>

namespace HistoryPages {

namespace Filters {

// Why a filter cannot be used, in Chinese for a message box, or nothing.
std::optional<QString> problem(const Filter& filter);

// A filter from the window's boxes: each text trimmed of spaces; a date typed as 2026-12-7,
// 2026/12/7 or 2026.12.7. Either the filter or why it is refused.
struct Parsed {
    Filter filter;
    std::optional<QString> problem;
};
Parsed fromBoxes(const QString& number, const QString& name, const QString& batch, const QString& from,
                 const QString& to, std::optional<ExerciseKind> kind);

// A typed date, or an invalid one when the text is no date of the calendar.
QDate parseDate(const QString& text);

} // namespace Filters

} // namespace HistoryPages
