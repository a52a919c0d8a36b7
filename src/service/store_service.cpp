#include "service/store_service.h"

#include "platform/clock.h"
#include "service/shared_copy.h"

StoreService::StoreService(StorePlaces places, int lockSeconds)
    : database(std::move(places), Sessions::tables() + Exercises::tables() + Outbox::tables()), attempts(lockSeconds)
{}

StoreReply StoreService::purge()
{
    return guarded<StoreReply>(database, [&] {
        const GradeStore::PurgeCounts purged = database.grades().purgeOld(Clock::today());
        // The store's own tables follow in a transaction of their own: a log left behind by a
        // failure here goes at the next purge, and a later result on the same rowid replaces it.
        Transaction transaction(database.db());
        exercises.tidy();
        sessions.tidy();
        outbox.tidy();
        transaction.commit();
        if (purged.results > 0 || purged.testLogins > 0)
            database.changed();
        return storeAnswer<StoreReply>(StoreStatus::Ok);
    });
}

std::optional<QString> StoreService::publishCopy()
{
    return SharedCopy::publish(database);
}
