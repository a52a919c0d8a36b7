#include "collect/batch_summary.h"

#include <QHash>
#include <algorithm>

QString BatchSummary::bandCaption(int band)
{
    return band == kBands - 1 ? QStringLiteral("90-100") : QStringLiteral("%1-%2").arg(band * 10).arg(band * 10 + 9);
}

QList<BatchSummary> BatchSummary::ofRows(const QList<CollectionRow>& rows)
{
    QList<QString> order;
    QHash<QString, QList<const CollectionRow*>> byBatch;
    for (const CollectionRow& row : rows) {
        auto& members = byBatch[row.lrpc];
        if (members.isEmpty())
            order.append(row.lrpc);
        members.append(&row);
    }
    QList<BatchSummary> summaries;
    for (const QString& batch : order) {
        const QList<const CollectionRow*>& members = byBatch.value(batch);
        BatchSummary summary;
        summary.batch = batch;
        summary.count = int(members.size());
        QList<int> scores;
        double scoreSum = 0, speedSum = 0, accuracySum = 0;
        for (const CollectionRow* row : members) {
            scores.append(row->lrcj);
            scoreSum += row->lrcj;
            speedSum += row->lrsd;
            accuracySum += row->lrzql;
            if (row->lrcj >= kPassMark)
                ++summary.passed;
            ++summary.bands[std::clamp(row->lrcj / 10, 0, kBands - 1)];
        }
        std::sort(scores.begin(), scores.end());
        const qsizetype middle = scores.size() / 2;
        summary.medianScore = scores.size() % 2 ? scores[middle] : (scores[middle - 1] + scores[middle]) / 2.0;
        summary.highestScore = scores.last();
        summary.lowestScore = scores.first();
        summary.meanScore = scoreSum / summary.count;
        summary.meanSpeed = speedSum / summary.count;
        summary.meanAccuracy = accuracySum / summary.count;
        summaries.append(summary);
    }
    return summaries;
}
