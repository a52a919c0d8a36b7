#include "maintenance/atomic_write.h"

#include "maintenance/file_error_text.h"

#include <QSaveFile>

namespace AtomicWrite {
namespace {
std::optional<qint64> failAfter;
}

std::optional<QString> replaceContent(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fileErrorText(file.error());
    QByteArray toWrite = bytes;
    const bool simulatedFailure = failAfter && *failAfter < bytes.size();
    if (simulatedFailure)
        toWrite.truncate(*failAfter);
    if (file.write(toWrite) != toWrite.size()) {
        file.cancelWriting();
        return fileErrorText(file.error());
    }
    if (simulatedFailure) {
        // The device gave up part-way: what was written so far is thrown away.
        file.cancelWriting();
        file.commit();
        return fileErrorText(QFileDevice::WriteError);
    }
    if (!file.commit())
        return fileErrorText(file.error());
    return std::nullopt;
}

void failAfterBytesForTests(std::optional<qint64> bytes)
{
    failAfter = bytes;
}

} // namespace AtomicWrite
