#pragma once
// The live window's table: one row per student and machine of the batch, kept sorted by student
// number. A new read is merged row by row (changed rows repaint, new ones are inserted, gone ones
// removed), so the teacher's scroll position and selection stay where they were. A timer of the
// window's own re-evaluates silence against the server's time; it never asks the server.

#include "collect/live_attempt.h"

#include <QAbstractTableModel>
#include <functional>

class LiveAttemptsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Number, Name, Machine, Began, State, Typed, TimeLeft, Speed, Accuracy, Score, Check, Marks, Columns };

    // serverNow gives the server's time now (BatchWatch::serverNow).
    explicit LiveAttemptsModel(std::function<qint64()> serverNow, QObject* parent = nullptr);

    void merge(const QList<LiveAttempt>& rows);
    // Re-evaluates each row's state at the server's time now; repaints the rows that changed.
    void reevaluate();

    const QList<LiveAttempt>& attempts() const { return rows_; }
    // How many rows are in each state now, and how many are marked.
    // The states count the rows (a student's attempt on a machine); students counts each
    // student once, however many machines they took the batch on.
    struct Counts {
        int students = 0, waiting = 0, typing = 0, finished = 0, silent = 0, marked = 0;
    };
    Counts counts() const;

    // The texts a cell shows, for the window and its tests.
    static QString stateText(LiveAttempt::State state);
    static QString checkText(const LiveAttempt& attempt);
    static QString marksText(const LiveAttempt& attempt);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QString text(const LiveAttempt& attempt, int column) const;
    std::function<qint64()> serverNow_;
    QList<LiveAttempt> rows_;
    QList<LiveAttempt::State> states_; // as last shown
};
