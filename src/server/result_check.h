#pragma once
// The server's check of one result: its keystroke log replayed against the text it was typed
// against, through the typing engine and the scoring the lab machines run, and the figures that
// come out compared exactly with those the machine sent. What the log's timing says is added as
// marks, verified or not.

#include "exercise/scoring.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace ResultCheck {

// The figures as the machine sent them.
struct Sent {
    double score = 0;    // lrcj
    double speed = 0;    // lrsd
    double accuracy = 0; // lrzql
};

struct Finding {
    bool verified = false;
    std::optional<ExerciseResult> figures; // the server's, when the log replayed
    QString problem;                       // why not verified, in Chinese; empty when verified
    QString marks;                         // the plausibility marks joined, empty when none
};

// kind as the result holds it (1 English, 2 Chinese), the exercise file's text after its header
// and the encoded log.
Finding check(int kind, const QByteArray& text, const QByteArray& log, const Sent& sent);

} // namespace ResultCheck
