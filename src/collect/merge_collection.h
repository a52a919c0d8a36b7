#pragma once
// Merging diskettes: the rows of one batch move from a diskette's collection file into the
// teacher's collection file, which stays open from the dialog's opening to its closing. The
// diskette is read by the source reader, a child process, so a strange file or a dead drive
// costs nothing but a message.

#include "collect/collection_store.h"
#include "collect/source_read.h"

#include <QObject>
#include <QString>
#include <optional>

class MergeCollection : public QObject {
    Q_OBJECT
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
    // the collection file at sourcePath (a local path). Reports into the status line, which
    // must outlive the merge; finished() follows.
    void merge(const QString& sourcePath, const QString& batch, const StatusLine& status);
    bool running() const { return running_; }
    // Gives the diskette's reader up; nothing of this merge is stored.
    void stop();

    // Rows appended by the last merge.
    qint64 lastCount() const { return lastCount_; }

signals:
    void finished();

private:
    void sourceRead(const SourceResult& result);
    void end(const QString& text);

    std::optional<CollectionStore> target_;
    qint64 lastCount_ = 0;
    SourceRead reader_;
    StatusLine status_;
    QString sourcePath_;
    bool running_ = false;
};
