#include "collect/merge_collection.h"

#include <QFileInfo>

const QString MergeCollection::sourceName = QStringLiteral("a:\\学生成绩.mdb");
const QString MergeCollection::openFailure = QStringLiteral("目标数据库创建错误！");
const QString MergeCollection::driveFailure = QStringLiteral("A驱动器无盘、数据库打不开或数据读失败，请重试！");

namespace {
const QString kCrLf = QStringLiteral("\r\n");
}

bool MergeCollection::openTarget(const QString& path, const StatusLine& status)
{
    target_.reset();
    if (!QFileInfo(path).isFile()) {
        QString problem;
        if (!creatmdb(path, status, &problem)) {
            status(openFailure + kCrLf + problem);
            return false;
        }
    }
    try {
        target_.emplace(CollectionStore::openTarget(path));
    } catch (const DbError& error) {
        status(openFailure + kCrLf + error.describe());
        return false;
    }
    return true;
}

void MergeCollection::merge(const QString& sourcePath, const QString& batch, const StatusLine& status)
{
    lastCount_ = 0;
    status(QString());
    status(QStringLiteral("正在收分，请等候......"));
    if (!target_) {
        status(openFailure);
        return;
    }
    qint64 total = 0;
    try {
        QList<CollectionRow> rows;
        {
            // The diskette is released before the target is written.
            CollectionStore source = CollectionStore::openSource(sourcePath);
            rows = source.batchRows(batch);
        }
        lastCount_ = target_->append(rows);
        total = target_->rowCount();
    } catch (const DbError& error) {
        status(driveFailure + kCrLf + error.describe());
        return;
    }
    // LF before CR: the two lines are separated this way in the report.
    status(QStringLiteral("当前回收完毕，回收") + countText(lastCount_) + QStringLiteral("条记录。")
           + QStringLiteral("\n\r") + QStringLiteral("回收总记录为：") + countText(total)
           + QStringLiteral("条记录") + kCrLf + whereLine(target_->path()));
}
