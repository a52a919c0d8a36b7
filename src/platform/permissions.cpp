#include "platform/permissions.h"

#include <QFile>
#include <QFileInfo>

#include <pwd.h>
#include <unistd.h>

namespace Permissions {
namespace {
std::optional<QString>& fixedAnswer()
{
    static std::optional<QString> answer;
    return answer;
}
} // namespace

std::optional<QString> firstNotWritable(const QStringList& paths)
{
    if (fixedAnswer())
        return *fixedAnswer();
    for (const QString& path : paths) {
        // access() asks with the user's real groups, as the engine's own writes will.
        const QByteArray local = QFile::encodeName(path);
        if (QFileInfo::exists(path) && access(local.constData(), W_OK) != 0)
            return path;
    }
    return std::nullopt;
}

QString userName()
{
    const passwd* entry = getpwuid(getuid());
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString::number(getuid());
}

void setNotWritableForTests(std::optional<QString> path)
{
    fixedAnswer() = path;
}

} // namespace Permissions
