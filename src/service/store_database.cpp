#include "service/store_database.h"

#include <QFile>

#include <sys/stat.h>

namespace {

bool identify(const QString& path, quint64& device, quint64& inode)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    device = info.st_dev;
    inode = info.st_ino;
    return true;
}

} // namespace

GradeStore& StoreDatabase::grades()
{
    if (grades_) {
        quint64 device = 0, inode = 0;
        if (!identify(places_.gradeDatabase(), device, inode) || device != gradeDevice_ || inode != gradeInode_)
            grades_.reset();
    }
    if (!grades_) {
        identify(places_.gradeDatabase(), gradeDevice_, gradeInode_);
        // The state folder holds data/stugrade.mdb, as an Application folder does.
        GradeStore store = opendb(places_.stateFolder);
        store.db_.attach(places_.storeDatabase(), QStringLiteral("store"));
        for (const QString& sql : storeTables_)
            store.db_.exec(sql);
        store.addLookupIndexes();
        grades_.emplace(std::move(store));
    }
    return *grades_;
}
