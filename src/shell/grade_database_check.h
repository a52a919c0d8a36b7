#pragma once
// The start-up work on the grade database: it is opened (the key derivation makes this the
// slowest step of the start) and results 15 days old or older are purged. The program starts
// it on a thread of its own at once and takes its result after the first paint, before the
// first menu command is handled.

#include "platform/database.h"

#include <QDate>
#include <QString>
#include <functional>
#include <optional>

// The failure, if the grade database cannot be used.
using GradeDatabaseCheck = std::function<std::optional<DbError>()>;

std::optional<DbError> openAndPurge(const QString& appFolder, const QDate& today);
// Starts openAndPurge on a thread; the returned check waits for it (once).
GradeDatabaseCheck startOpenAndPurge(const QString& appFolder, const QDate& today);
