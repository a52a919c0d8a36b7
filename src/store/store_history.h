#pragma once
// The history view's pages, read through the store.

#include "grades/history_pages.h"

class StoreClient;

class StoreHistory : public HistoryPages::Source {
public:
    explicit StoreHistory(StoreClient& store) : store_(store) {}

    qint64 count() override;
    HistoryPages::Page at(qint64 offset, int limit) override;
    HistoryPages::Page olderThan(const HistoryPages::Key& key, int limit) override;
    HistoryPages::Page newerThan(const HistoryPages::Key& key, int limit) override;

private:
    StoreClient& store_;
};
