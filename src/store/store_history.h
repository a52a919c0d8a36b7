#pragma once
// Where the history view and the progress chart read results from: in the program, the store
// service. Every read comes back as the store's reply, whose status and Chinese message say
// what went wrong when it did.

#include "store/store_types.h"

#include <memory>

class StoreClient;

namespace HistoryPages {

class Source {
public:
    virtual ~Source() = default;
    // The page the cursor points at, newest first; read at a position, the reply also counts
    // the results this source lets through.
    virtual PageReply read(const Cursor& cursor, int limit) = 0;
    // A source of the results `filter` lets through, read from the same place, in the same
    // order and by the same keys.
    virtual std::unique_ptr<Source> filtered(const Filter& filter) const = 0;
    // One student's results, oldest first (the progress chart); the number matches as a
    // filter's does.
    virtual RowsReply studentResults(const QString& number) = 0;
};

} // namespace HistoryPages

// The history's pages through the store; with a filter, only the results it lets through.
class StoreHistory : public HistoryPages::Source {
public:
    explicit StoreHistory(StoreClient& store, HistoryPages::Filter filter = {})
        : store_(store), filter_(std::move(filter))
    {}

    PageReply read(const HistoryPages::Cursor& cursor, int limit) override;
    std::unique_ptr<HistoryPages::Source> filtered(const HistoryPages::Filter& filter) const override;
    RowsReply studentResults(const QString& number) override;

private:
    StoreClient& store_;
    const HistoryPages::Filter filter_;
};
