#include "store/store_history.h"

#include "store/store_client.h"

namespace {

template <typename Reply> const Reply& checked(const Reply& reply)
{
    if (!reply.ok())
        throw HistoryPages::ReadFailure{storeProblem(reply)};
    return reply;
}

} // namespace

qint64 StoreHistory::count()
{
    if (filter_.isEmpty())
        return checked(store_.historyAt(0, 0)).count;
    return checked(store_.historyFilteredAt(filter_, 0, 0)).count;
}

HistoryPages::Page StoreHistory::at(qint64 offset, int limit)
{
    if (filter_.isEmpty())
        return checked(store_.historyAt(offset, limit)).page;
    return checked(store_.historyFilteredAt(filter_, offset, limit)).page;
}

HistoryPages::Page StoreHistory::olderThan(const HistoryPages::Key& key, int limit)
{
    if (filter_.isEmpty())
        return checked(store_.historyOlderThan(key, limit)).page;
    return checked(store_.historyFilteredOlderThan(filter_, key, limit)).page;
}

HistoryPages::Page StoreHistory::newerThan(const HistoryPages::Key& key, int limit)
{
    if (filter_.isEmpty())
        return checked(store_.historyNewerThan(key, limit)).page;
    return checked(store_.historyFilteredNewerThan(filter_, key, limit)).page;
}

std::unique_ptr<HistoryPages::Source> StoreHistory::filtered(const HistoryPages::Filter& filter) const
{
    return std::make_unique<StoreHistory>(store_, filter);
}

QList<GradeRow> StoreHistory::studentResults(const QString& number)
{
    return checked(store_.studentResults(number)).rows;
}
