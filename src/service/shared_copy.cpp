#include "service/shared_copy.h"

#include "service/store_database.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace SharedCopy {

std::optional<QString> publish(StoreDatabase& database)
{
    const StorePlaces& places = database.places();
    const QString copy = places.publishedCopy();
    if (copy.isEmpty())
        return std::nullopt;
    const QString fresh = QFileInfo(copy).absolutePath() + QStringLiteral("/.stugrade.mdb.new");
    QFile::remove(fresh);
    try {
        QDir().mkpath(QFileInfo(copy).absolutePath());
        {
            Database target = GradeStore::createWithoutCredentials(fresh);
            target.attach(places.gradeDatabase(), QStringLiteral("live"), GradeStore::databasePassword);
            Transaction transaction(target);
            target.exec(QStringLiteral("INSERT INTO stdgrade SELECT xh, xm, lrxm, lrcj, lrsd, lrzql, lrdate, lrtime,"
                                       " lrpc FROM live.stdgrade ORDER BY rowid"));
            target.exec(QStringLiteral("INSERT INTO recxh SELECT xh, lrpc, lrdate FROM live.recxh ORDER BY rowid"));
            transaction.commit();
        }
        // Whoever reads the share may read the copy; it carries no credentials.
        QFile::setPermissions(
            fresh, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
        if (::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(copy).constData()) != 0)
            return QStringLiteral("%1：无法替换（%2）").arg(copy, QString::fromLocal8Bit(std::strerror(errno)));
    } catch (const DbError& error) {
        QFile::remove(fresh);
        return error.describe();
    }
    return std::nullopt;
}

} // namespace SharedCopy
