#pragma once
// The history view's pages, read through the store; with a filter, only the results it lets
// through (an empty filter reads by the calls of the whole history).

#include "grades/history_pages.h"

class StoreClient;

class StoreHistory : public HistoryPages::Source {
public:
    explicit StoreHistory(StoreClient& store, HistoryPages::Filter filter = {})
        : store_(store), filter_(std::move(filter))
    {}

    qint64 count() override;
    HistoryPages::Page at(qint64 offset, int limit) override;
    HistoryPages::Page olderThan(const HistoryPages::Key& key, int limit) override;
    HistoryPages::Page newerThan(const HistoryPages::Key& key, int limit) override;
    std::unique_ptr<HistoryPages::Source> filtered(const HistoryPages::Filter& filter) const override;
    QList<GradeRow> studentResults(const QString& number) override;

private:
    StoreClient& store_;
    const HistoryPages::Filter filter_;
};
