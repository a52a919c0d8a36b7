#pragma once
// Server collection: one batch's results from the school server (the view typelab.results)
// into the teacher's file in the current working folder, appended as a network collection
// appends a machine's rows. The connection works on the event loop, so the window keeps
// painting; a result the server found not to replay to its figures is left out and named, one
// not yet checked or taken twice by a student is collected and counted.

#include "collect/collection_store.h"
#include "collect/host_lookup.h"
#include "collect/score_collection.h"
#include "collect/server_login.h"

#include <QObject>
#include <QStringList>

class ServerCollection : public QObject {
    Q_OBJECT
public:
    explicit ServerCollection(CollectionView& view, QObject* parent = nullptr);
    ~ServerCollection() override;

    // One batch's rows as the server gave them, sorted into what is written and what is not.
    struct Batch {
        QList<CollectionRow> kept; // written to the file: verified, or not checked yet
        int unchecked = 0;         // kept, but the server has not checked them yet
        int duplicates = 0;        // kept, marked 重复参加 by the server
        QStringList notVerified;   // student numbers of the results left out
    };
    // Sorts the rows of the statement below. Throws Pg::Error(Usage) for a row it cannot read.
    static Batch sortRows(const Pg::Result& rows);
    // The statement, with the batch as $1; it reads the check's columns where the server has
    // them and nulls where it has not.
    static const QString batchStatement;

    // Takes what the teacher typed (refusal() empty) and a batch that passed batchAccepted.
    // finished() follows, also when nothing could be done; the lines say what happened.
    void start(const ServerLogin& login, const QString& appFolder, const QString& batch);
    // Ends a run early; nothing of it is written. finished() does not follow.
    void stop();
    bool running() const { return running_; }
    // Rows really appended by the last run.
    qint64 rowsStored() const { return rowsStored_; }

    // The last line of a run that appended: the count, the unchecked and duplicate results, the
    // results left out and why, and where the file is.
    static QString totalLine(qint64 appended, const Batch& batch, const QString& target);

signals:
    void finished();

private:
    void hostFound(const QStringList& addresses, const QString& problem);
    void connected();
    void rowsRead(const QList<Pg::Result>& results);
    void failed(const Pg::Error& error);
    void store(const Batch& batch);
    void end(const QString& lastLine);

    CollectionView& view_;
    Pg::AsyncConnection* connection_ = nullptr;
    HostLookup* lookup_ = nullptr;
    QString appFolder_;
    ServerLogin login_;
    QString batch_;
    bool running_ = false;
    qint64 rowsStored_ = 0;
};
