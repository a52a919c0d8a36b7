#include "shell/grade_database_check.h"

#include "grades/grade_store.h"

#include <future>
#include <memory>

std::optional<DbError> openAndPurge(const QString& appFolder, const QDate& today)
{
    try {
        GradeStore store = GradeStore::open(appFolder);
        store.purgeOld(today);
    } catch (const DbError& error) {
        return error;
    }
    return std::nullopt;
}

GradeDatabaseCheck startOpenAndPurge(const QString& appFolder, const QDate& today)
{
    auto running = std::make_shared<std::future<std::optional<DbError>>>(
        std::async(std::launch::async, openAndPurge, appFolder, today));
    return [running] { return running->get(); };
}
