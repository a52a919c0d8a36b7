#include "store/store_history.h"

#include "store/store_client.h"

namespace {

const PageReply& checked(const PageReply& reply)
{
    if (!reply.ok())
        throw HistoryPages::ReadFailure{storeProblem(reply)};
    return reply;
}

} // namespace

qint64 StoreHistory::count()
{
    return checked(store_.historyAt(0, 0)).count;
}

HistoryPages::Page StoreHistory::at(qint64 offset, int limit)
{
    return checked(store_.historyAt(offset, limit)).page;
}

HistoryPages::Page StoreHistory::olderThan(const HistoryPages::Key& key, int limit)
{
    return checked(store_.historyOlderThan(key, limit)).page;
}

HistoryPages::Page StoreHistory::newerThan(const HistoryPages::Key& key, int limit)
{
    return checked(store_.historyNewerThan(key, limit)).page;
}
