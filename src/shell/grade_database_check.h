#pragma once
// The start-up work on the grade database: it is opened (its key derivation makes this the
// slowest step of the start) and results 15 days old or older are purged. The program starts
// it at once, in a process of its own (typelab-admin purge, beside the program), and takes its
// result after the first paint, before the first menu command is handled: the window is
// painting meanwhile, and the database engine and its cryptography stay out of the program's
// memory until a login needs them.

#include <QDate>
#include <QString>
#include <functional>
#include <optional>

// What went wrong (the file and the problem), if the grade database cannot be used.
using GradeDatabaseCheck = std::function<std::optional<QString>()>;

std::optional<QString> openAndPurge(const QString& appFolder, const QDate& today);
// Starts the work; the returned check waits for it (call it once). Without the admin tool
// beside the program, or should it fail to run, the check does the work itself.
GradeDatabaseCheck startOpenAndPurge(const QString& appFolder, const QDate& today);
