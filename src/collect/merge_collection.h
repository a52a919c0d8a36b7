#pragma once
// Merging diskettes: the rows of one batch move from a diskette's collection file into the
// teacher's collection file, which stays open from the dialog's opening to its closing.

#include "collect/collection_store.h"

#include <QString>
#include <optional>

class MergeCollection {
public:
    static const QString sourceName;   // "a:\学生成绩.mdb"
    static const QString openFailure;  // "目标数据库创建错误！"
    static const QString driveFailure; // the message for any failed merge

    // Opens the teacher's file at path, creating it first when no file is there. On failure
    // the status line says so (with the file and the problem) and the result is false.
    bool openTarget(const QString& path, const StatusLine& status);
    bool hasTarget() const { return target_.has_value(); }
    void closeTarget() { target_.reset(); }

    // Merges the rows of the batch (the trimmed text of the batch box, taken as it is) from
    // the collection file at sourcePath (a local path). Reports into the status line.
    void merge(const QString& sourcePath, const QString& batch, const StatusLine& status);

    // Rows appended by the last merge.
    qint64 lastCount() const { return lastCount_; }

private:
    std::optional<CollectionStore> target_;
    qint64 lastCount_ = 0;
};
