#include "shell/grade_database_check.h"

#include "grades/grade_store.h"
#include "platform/child_process.h"

#include <QFileInfo>
#include <memory>

std::optional<QString> openAndPurge(const QString& appFolder, const QDate& today)
{
    try {
        GradeStore store = GradeStore::open(appFolder);
        store.purgeOld(today);
    } catch (const DbError& error) {
        return error.describe();
    }
    return std::nullopt;
}

GradeDatabaseCheck startOpenAndPurge(const QString& appFolder, const QDate& today)
{
    const QString tool = appFolder + QStringLiteral("/typelab-admin");
    if (!QFileInfo(tool).isExecutable())
        return [appFolder, today] { return openAndPurge(appFolder, today); };
    ChildProcess::Limits limits;
    limits.wallMilliseconds = 30'000; // a locked database waits for its busy timeout, twice at most
    limits.errorsToOutput = true;
    const auto launched = std::make_shared<ChildProcess::Launched>(ChildProcess::launch(
        tool, {QStringLiteral("purge"), appFolder, QStringLiteral("--today"), today.toString(Qt::ISODate)}, limits));
    return [launched, appFolder, today]() -> std::optional<QString> {
        const ChildProcess::Outcome outcome = ChildProcess::wait(*launched);
        if (outcome.succeeded())
            return std::nullopt;
        // The tool said what is wrong with the database; anything else (it could not start,
        // it crashed, it overran) is not the database's fault: the program looks itself.
        if (outcome.started && outcome.exitedNormally && outcome.exitCode == 1 && !outcome.output.isEmpty())
            return QString::fromUtf8(outcome.output).trimmed();
        return openAndPurge(appFolder, today);
    };
}
