#pragma once
// The exercises a session opens and finishes. Opening draws the exercise file and keeps its text
// with the exercise; finishing takes the keystroke log, checks it against the store's own clock,
// replays it against that text through the typing engine and the scoring, and stores the
// result's row, its log and the exercise's state in one transaction. The figures stored are
// the store's own: whatever the program counted is never taken. A test session takes each kind
// of exercise once. On a machine that has joined a school server, the result also goes into the
// outbox in that transaction.

#include "service/outbox.h"
#include "service/sessions.h"

class Exercises {
public:
    static QStringList tables();

    Exercises(StoreDatabase& database, Sessions& sessions, Outbox& outbox)
        : database_(database), sessions_(sessions), outbox_(outbox)
    {}

    OpenReply open(const StoreCaller& caller, const QString& session, ExerciseKind kind);
    // Answered again with the same figures when the result is already stored.
    FinishReply finish(const StoreCaller& caller, const QString& session, qint64 exercise, const QByteArray& log);
    // How far an open test exercise has come, for the school server's live view of the sitting
    // (nothing on a machine that has not joined one, or for practice).
    void progress(const StoreCaller& caller, const QString& session, qint64 exercise, int typed, int secondsLeft);

    // Throw DbError. Exercises opened before yesterday go, and logs whose result has gone.
    void tidy();
    // Every log goes (after the history was cleared).
    void forgetLogs();

private:
    enum State { Open = 0, Stored = 1, Refused = 2 };
    struct Opened {
        ExerciseKind kind = ExerciseKind::English;
        QByteArray text;
        qint64 openedAt = 0; // on the steady clock
        State state = Open;
        QString reason;      // Refused: why
        double score = 0;    // Stored: the figures
        double speed = 0;
        double accuracy = 0;
    };
    std::optional<Opened> opened(const QString& session, qint64 exercise);
    bool taken(const QString& session, ExerciseKind kind);
    FinishReply refuse(const StoreCaller& caller, qint64 exercise, const QString& reason);
    // True when the result also went into the outbox.
    bool store(const GradeRow& row, const Opened& opened, qint64 exercise, const QByteArray& log);

    StoreDatabase& database_;
    Sessions& sessions_;
    Outbox& outbox_;
};
