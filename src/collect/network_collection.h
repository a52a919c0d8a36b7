#pragma once
// Network collection: one batch from the grade databases of the numbered laboratory machines
// into the teacher's file in the current working folder. Every machine is read by a source
// reader of its own (a child process), several at once, while the window stays alive; the
// teacher's file is written here alone, in machine order, so that its rows and every status
// text are what reading one machine after another gives. The first missing machine ends the
// walk; a machine that does not answer is only unreadable.

#include "collect/score_collection.h"
#include "collect/source_read.h"

#include <QMap>
#include <QObject>
#include <optional>

class NetworkCollection : public QObject {
    Q_OBJECT
public:
    explicit NetworkCollection(CollectionView& view, QObject* parent = nullptr);
    ~NetworkCollection() override;

    // Readers at work at once: the key derivation keeps a processor busy, a share keeps a
    // reader waiting, so a few more than the processors, and at least four.
    static int parallelReaders();
    // Tests compare a run with one reader at a time against the parallel one; 0 restores.
    static void setParallelReadersForTests(int readers);

    // Takes the trimmed path prefix and a batch that passed batchAccepted. finished() follows,
    // at once when the teacher's file cannot be had.
    void start(const QString& prefix, const QString& batch);
    // Ends a run early: readers are given up; every machine's rows already appended stay,
    // and no machine is ever half appended. finished() does not follow.
    void stop();
    bool running() const { return running_; }

    const ScoreCollection::NetworkSummary& summary() const { return summary_; }

signals:
    void finished();

private:
    void launchReaders();
    void machineRead(int machine, const SourceResult& result);
    void commitInOrder();
    void end(const QString& lastLine);
    void abandonReadersFrom(int machine);
    QString machinePath(int machine) const;

    CollectionView& view_;
    QString prefix_;
    QString batch_;
    QString targetPath_;
    std::optional<CollectionStore> target_;
    bool running_ = false;
    int nextToRead_ = 1;
    int nextToStore_ = 1;
    int firstMissing_ = ScoreCollection::lastMachineNumber + 1;
    QMap<int, SourceRead*> reading_;
    QMap<int, SourceResult> waiting_; // read, but machines before them are not stored yet
    QStringList failures_;
    ScoreCollection::NetworkSummary summary_;
};
