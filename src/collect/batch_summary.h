#pragma once
// The figures of one batch that a teacher wants beside the marks: how many took it, the mean,
// median, highest and lowest score, the mean speed and accuracy, how many reached 60, and how
// the scores spread over the bands 0-9, 10-19, ..., 90-100.

#include "collect/collection_store.h"

#include <QList>
#include <QString>
#include <array>

struct BatchSummary {
    static constexpr int kBands = 10;
    static constexpr int kPassMark = 60;

    QString batch;
    int count = 0;
    double meanScore = 0;
    double medianScore = 0;
    int highestScore = 0;
    int lowestScore = 0;
    double meanSpeed = 0;
    double meanAccuracy = 0;
    int passed = 0;                  // scored 60 or more
    std::array<int, kBands> bands{}; // 0-9 ... 80-89, 90-100; below 0 counts in the first

    // The caption of a band: "0-9", ..., "90-100".
    static QString bandCaption(int band);
    // One summary per batch, in the order the batches first appear in the rows.
    static QList<BatchSummary> ofRows(const QList<CollectionRow>& rows);
};
