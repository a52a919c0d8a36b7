#include "store/store_history.h"

#include "store/store_client.h"

PageReply StoreHistory::read(const HistoryPages::Cursor& cursor, int limit)
{
    return store_.history(filter_, cursor, limit);
}

std::unique_ptr<HistoryPages::Source> StoreHistory::filtered(const HistoryPages::Filter& filter) const
{
    return std::make_unique<StoreHistory>(store_, filter);
}

RowsReply StoreHistory::studentResults(const QString& number)
{
    return store_.studentResults(number);
}
