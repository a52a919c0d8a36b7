#pragma once
// A result as a lab machine sends it to typelab.submit: its figures and what it was typed
// against and how. For the tests of the school server's attempts and verifier.

#include "exercise/exercise_kind.h"
#include "exercise/keystroke_log.h"
#include "exercise/scoring.h"
#include "platform/postgres.h"

#include <QUuid>
#include <optional>

struct SentResult {
    QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    QString xh = QStringLiteral("2026000001");
    QString xm = QStringLiteral("张三");
    std::optional<QString> batch; // none for practice
    ExerciseKind kind = ExerciseKind::English;
    double score = 0, speed = 0, accuracy = 0;
    QByteArray text;
    QByteArray log;

    // Honest: the figures are those the log replays to.
    static SentResult of(ExerciseKind kind, const QByteArray& text, const KeystrokeLog& log,
                         const ExerciseResult& result)
    {
        SentResult sent;
        sent.kind = kind;
        sent.text = text;
        sent.log = KeystrokeLogs::encode(log);
        sent.score = result.score;
        sent.speed = result.speed;
        sent.accuracy = result.accuracy;
        return sent;
    }

    // What typelab.submit answers.
    QString submit(Pg::Connection& machine) const
    {
        return machine
            .exec(QStringLiteral("SELECT typelab.submit($1, $2, $3, $4, $5, $6, $7, current_date, localtime(0)::time, "
                                 "$8, $9, $10, $11)"),
                  {id, xh, xm, ExerciseKinds::name(kind), QString::number(score, 'g', 17),
                   QString::number(speed, 'g', 17), QString::number(accuracy, 'g', 17),
                   batch ? Pg::Param(*batch) : Pg::Param::null(), QString::number(int(kind)), Pg::Param::binary(text),
                   Pg::Param::binary(log)})
            .text(0, 0);
    }
};
