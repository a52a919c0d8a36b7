#pragma once
// Puts tests/collect/fake_reader in the real reader's place for one test: the machines in
// the plan get a reader that crashes, hangs, eats memory or sends garbage.

#include "collect/source_read.h"

#include <QDir>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

class FakeReader {
public:
    explicit FakeReader(const QMap<int, QString>& plan)
    {
        QStringList items;
        for (auto it = plan.begin(); it != plan.end(); ++it)
            items << QStringLiteral("%1=%2").arg(it.key()).arg(it.value());
        qputenv("TYPELAB_FAKE_READER_PLAN", items.join(u',').toUtf8());
        qputenv("TYPELAB_FAKE_READER_PIDS", pids_.path().toUtf8());
        previous_ = SourceRead::readerProgram();
        SourceRead::setReaderProgram(QStringLiteral(TYPELAB_FAKE_READER));
    }
    ~FakeReader()
    {
        SourceRead::setReaderProgram(previous_);
        qunsetenv("TYPELAB_FAKE_READER_PLAN");
        qunsetenv("TYPELAB_FAKE_READER_PIDS");
    }
    FakeReader(const FakeReader&) = delete;
    FakeReader& operator=(const FakeReader&) = delete;

    // Every reader that hung has been killed and reaped (waits a while for the reaper).
    bool hungReadersGone() const
    {
        const QStringList pids = QDir(pids_.path()).entryList(QDir::Files);
        if (pids.isEmpty())
            return false; // the plan's hanging reader never ran
        for (const QString& pid : pids) {
            if (!QTest::qWaitFor([&] { return kill(pid.toInt(), 0) != 0; }, 5000))
                return false;
        }
        return true;
    }

private:
    QTemporaryDir pids_;
    QString previous_;
};
