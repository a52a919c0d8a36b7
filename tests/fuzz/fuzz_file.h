#pragma once
// The file a database fuzz target hands to the engine: one per process, in memory-backed
// storage where there is some, rewritten for every input.

#include <QDir>
#include <QFile>
#include <QString>
#include <unistd.h>

namespace FuzzFile {

inline QString write(const uint8_t* data, size_t size)
{
    static const QString path = [] {
        const QString folder =
            QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
        return QStringLiteral("%1/typelab-fuzz-%2.db").arg(folder).arg(getpid());
    }();
    QFile::remove(path + QStringLiteral("-journal"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    return path;
}

} // namespace FuzzFile
