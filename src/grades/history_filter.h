#pragma once
// What narrows the history view's rows: a student number, a name, a batch, a date range and the
// exercise kind. An empty box lets every result through. The number and the batch match whole
// and without regard to the case of ASCII letters, as every look-up of the program compares them
// (teachers type "b1" for "B1"); the name matches whole in the same way: names are short and
// typed in full, and a part of one ("张") would bring in other students too. Both dates are
// included. The window checks what was typed, and the store checks the filter again when it
// arrives, so a call made straight to the bus cannot ask for what the window refuses.

#include <QDate>
#include <QString>
#include <optional>

namespace HistoryPages {

struct Filter {
    enum Kind { AllKinds = 0, English = 1, Chinese = 2 }; // the exercise kinds' numbers
    QString number;                                       // xh; empty: every student
    QString name;                                         // xm
    QString batch;                                        // lrpc
    QString from;                                         // the first date, yyyy-MM-dd; empty: no first date
    QString to;                                           // the last date, included
    int kind = AllKinds;

    // True when every box is empty: the whole history.
    bool isEmpty() const;
    bool operator==(const Filter&) const = default;
};

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
                 const QString& to, int kind);

// A typed date, or an invalid one when the text is no date of the calendar.
QDate parseDate(const QString& text);

// The exercise kind as stdgrade holds it ("英文", "中文"), empty for every kind.
QString lrxm(int kind);

} // namespace Filters

} // namespace HistoryPages
