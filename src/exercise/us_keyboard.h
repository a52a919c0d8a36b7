#pragma once
// The keys of a US keyboard, as the English keyboard picture draws them: where each key stands
// and which characters it types, with and without Shift. A text character is put on its key to
// colour that key by how often it was typed wrong.

#include "exercise/mistakes.h"

#include <QList>
#include <QString>

struct KeyboardKey {
    QString label;      // what the key shows: "Q", "1 !", "Enter"
    QString characters; // the characters it types: "qQ", "1!", "\r\n"
    double left = 0;    // in key widths from the row's start
    double width = 1;
    int row = 0; // 0 the digits' row ... 4 the space bar's
};

namespace UsKeyboard {

// Every key, row by row, left to right.
const QList<KeyboardKey>& keys();
// The index in keys() of the key that types the character; -1 when none does.
int keyFor(const QString& character);

// What was typed on each key's characters, summed: typed, wrong and the rate.
struct KeyRate {
    int typed = 0;
    int wrong = 0;
    double rate() const { return typed > 0 ? double(wrong) / typed : 0.0; }
};
// One rate per key of keys(), from a tally.
QList<KeyRate> rates(const MistakeTally& tally);

} // namespace UsKeyboard
