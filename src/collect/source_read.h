#pragma once
// One file from elsewhere read by the source reader, a child process with limits on memory,
// processor time and wall-clock time. A reader that crashes, overruns or sends garbage costs
// only its file, which is then unreadable; nothing it sent is used unchecked.

#include "collect/collection_store.h"

#include <QObject>

class ChildProcess;

struct SourceResult {
    enum class Kind { Rows, Missing, Unreadable };
    Kind kind = Kind::Unreadable;
    QList<CollectionRow> rows;
    QString problem; // unreadable: the file and what went wrong, as a status line shows it
};

class SourceRead : public QObject {
    Q_OBJECT
public:
    // A machine's grade database or a diskette's collection file, one batch; or an export's
    // source, either of the two, with every row when the batch is empty.
    enum class Format { GradeDatabase, CollectionFile, ExportSource };

    explicit SourceRead(QObject* parent = nullptr);
    ~SourceRead() override;

    // The reader program beside the program itself; tests put another in its place.
    static QString readerProgram();
    static void setReaderProgram(const QString& program);
    // How long one file may take before it is given up (10 s; a share's client waits longer).
    static int timeLimit();
    static void setTimeLimit(int milliseconds);
    // The reader's memory cap, or 0 where it cannot have one.
    static qint64 memoryLimit();

    // done() follows once, from the event loop.
    void start(Format format, const QString& path, const QString& batch);
    // Gives the reader up: it is killed and reaped later, done() does not follow.
    void abandon();

    // The same read, waited for on the calling thread (a tool, or the export, which the
    // window waits for anyway).
    static SourceResult readNow(Format format, const QString& path, const QString& batch);

signals:
    void done(const SourceResult& result);

private:
    ChildProcess* child_ = nullptr;
    QString path_;
};
