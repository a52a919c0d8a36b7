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
    stop();
    lastCount_ = 0;
    status_ = status;
    sourcePath_ = sourcePath;
    status_(QString());
    status_(QStringLiteral("正在收分，请等候......"));
    if (!target_) {
        status_(openFailure);
        emit finished();
        return;
    }
    running_ = true;
    connect(&reader_, &SourceRead::done, this, &MergeCollection::sourceRead, Qt::UniqueConnection);
    reader_.start(SourceRead::Format::CollectionFile, sourcePath, batch);
}

void MergeCollection::sourceRead(const SourceResult& result)
{
    if (!running_)
        return;
    running_ = false;
    if (result.kind != SourceResult::Kind::Rows) {
        const QString problem = result.kind == SourceResult::Kind::Missing
            ? DbError(DbError::Kind::MissingFile, sourcePath_).describe()
            : result.problem;
        end(driveFailure + kCrLf + problem);
        return;
    }
    qint64 total = 0;
    try {
        lastCount_ = target_->append(result.rows);
        total = target_->rowCount();
    } catch (const DbError& error) {
        end(driveFailure + kCrLf + error.describe());
        return;
    }
    // LF before CR: the two lines are separated this way in the report.
    end(QStringLiteral("当前回收完毕，回收") + countText(lastCount_) + QStringLiteral("条记录。")
        + QStringLiteral("\n\r") + QStringLiteral("回收总记录为：") + countText(total) + QStringLiteral("条记录")
        + kCrLf + whereLine(target_->path()));
}

void MergeCollection::end(const QString& text)
{
    status_(text);
    emit finished();
}

void MergeCollection::stop()
{
    reader_.abandon();
    running_ = false;
}
