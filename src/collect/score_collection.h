#pragma once
// Score collection: one batch's results, from this machine's grade database onto the
// diskette (single-machine; network collection is NetworkCollection's). No widgets: the window
// passes what the user typed and shows the texts it is given.

#include <QString>
#include <QStringList>

class StoreClient;

// What a collection run tells its window.
class CollectionView {
public:
    virtual ~CollectionView() = default;
    // The progress and error line (Label2); the window repaints it at once.
    virtual void setProgressLine(const QString& text) = 0;
    // The result line of a single-machine collection (Label4).
    virtual void setResultLine(const QString& text) = 0;
    // Network collection: machinesFound machines answer to the prefix; `machine` has been read.
    virtual void machineDone(int machine, int machinesFound)
    {
        Q_UNUSED(machine)
        Q_UNUSED(machinesFound)
    }
};

class ScoreCollection {
public:
    static const QString singleTargetName;   // "学生成绩.mdb", after the target folder
    static const QString networkTargetName;  // "击录测试成绩.mdb", in the current working folder
    static const QString batchRefusal;       // the message box text for a refused batch
    static const QString waitingText;        // the status line while a run starts
    static const QString waitingNetworkText; // ... once the teacher's file is there
    // Machine numbers are 16-bit counters; the search for machines ends there at the latest.
    static constexpr int lastMachineNumber = 32767;

    // The trimmed batch B passes when it is not empty, at most 10 bytes and single-byte only.
    static bool batchAccepted(const QString& batch);
    // Machine i's grade database as the user would write it: prefix + i + "\data\stugrade.mdb".
    static QString machineDatabase(const QString& prefix, int machine);

    // Single-machine collection reads this machine's results through the store.
    ScoreCollection(CollectionView& view, StoreClient& store) : view_(view), store_(store) {}

    // Takes the trimmed texts of the path box and the batch box; the batch has passed
    // batchAccepted. Every failure ends up as a line in the view; nothing is thrown.
    void collectSingle(const QString& targetFolder, const QString& batch);

    // What a network collection did (for the window's bar and for benchmarks).
    struct NetworkSummary {
        qint64 rowsStored = 0;
        int machinesRead = 0;
        QStringList unreadable; // machine names (prefix + number) that could not be read
    };
    // The last line of a network collection: the total, the first unreadable machines' problems
    // and their names, and where the teacher's file is.
    static QString totalLine(const NetworkSummary& summary, const QStringList& problems, const QString& target);

private:
    CollectionView& view_;
    StoreClient& store_;
};
