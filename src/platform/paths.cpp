#include "platform/paths.h"

#include <QDir>

namespace Paths {

QString inAppFolder(const QString& appFolder, const QString& relative)
{
    QString rest = relative;
    rest.replace(u'\\', u'/');
    while (rest.startsWith(u'/'))
        rest.remove(0, 1);
    return QDir(appFolder).filePath(rest);
}

QString gradeDatabase(const QString& appFolder)
{
    return inAppFolder(appFolder, QStringLiteral("data/stugrade.mdb"));
}

QString driveFolder(QChar letter)
{
    const QChar upper = letter.toUpper();
    const QByteArray name = "TYPELAB_DRIVE_" + QString(upper).toLatin1();
    const QString value = qEnvironmentVariable(name.constData());
    if (!value.isEmpty())
        return value;
    if (upper == u'A')
        return QStringLiteral("/media/floppy0");
    return QString();
}

QString toLocal(const QString& windowsPath)
{
    QString path = windowsPath;
    path.replace(u'\\', u'/');
    if (path.size() >= 2 && path.at(1) == u':' && path.at(0).isLetter() && path.at(0).unicode() < 128) {
        const QString folder = driveFolder(path.at(0));
        QString rest = path.mid(2);
        while (rest.startsWith(u'/'))
            rest.remove(0, 1);
        if (folder.isEmpty())
            return path; // an unmapped drive: left as typed, so that it is simply not found
        return rest.isEmpty() ? folder + u'/' : QDir(folder).filePath(rest);
    }
    return path;
}

} // namespace Paths
