#pragma once
// Replaces a file in place without ever leaving it half written: the new bytes go to a file
// beside it, which takes the old one's place only when it is complete.

#include <QByteArray>
#include <QString>
#include <optional>

namespace AtomicWrite {

// Writes the bytes as the new content of path. On failure the old file is as it was and the
// answer is what failed, in Chinese.
std::optional<QString> replaceContent(const QString& path, const QByteArray& bytes);

// Test seam: the next writes fail after this many bytes (nullopt: writes work again).
void failAfterBytesForTests(std::optional<qint64> bytes);

} // namespace AtomicWrite
