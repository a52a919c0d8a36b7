#include "collect/network_collection.h"

#include "platform/paths.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>

namespace {
const QString kCrLf = QStringLiteral("\r\n");
} // namespace

NetworkCollection::NetworkCollection(CollectionView& view, QObject* parent) : QObject(parent), view_(view) {}

NetworkCollection::~NetworkCollection()
{
    stop();
}

namespace {
int readersForTests = 0;
}

int NetworkCollection::parallelReaders()
{
    return readersForTests > 0 ? readersForTests : qMax(4, 2 * QThread::idealThreadCount());
}

void NetworkCollection::setParallelReadersForTests(int readers)
{
    readersForTests = readers;
}

QString NetworkCollection::machinePath(int machine) const
{
    return Paths::toLocal(ScoreCollection::machineDatabase(prefix_, machine));
}

void NetworkCollection::start(const QString& prefix, const QString& batch)
{
    stop();
    prefix_ = prefix;
    batch_ = batch;
    summary_ = {};
    failures_.clear();
    waiting_.clear();
    nextToRead_ = nextToStore_ = 1;
    firstMissing_ = ScoreCollection::lastMachineNumber + 1;
    running_ = true;
    view_.setProgressLine(ScoreCollection::waitingText);

    targetPath_ = QDir::current().absoluteFilePath(ScoreCollection::networkTargetName);
    if (!QFileInfo(targetPath_).isFile()
        && !creatmdb(targetPath_, [this](const QString& text) { view_.setProgressLine(text); })) {
        end(QString());
        return;
    }
    view_.setProgressLine(ScoreCollection::waitingNetworkText);
    try {
        target_.emplace(CollectionStore::openTarget(targetPath_));
    } catch (const DbError& error) {
        end(error.describe());
        return;
    }
    launchReaders();
}

void NetworkCollection::launchReaders()
{
    while (running_ && reading_.size() < parallelReaders() && nextToRead_ < firstMissing_) {
        const int machine = nextToRead_++;
        auto* read = new SourceRead(this);
        reading_.insert(machine, read);
        connect(read, &SourceRead::done, this,
                [this, machine](const SourceResult& result) { machineRead(machine, result); });
        read->start(SourceRead::Format::GradeDatabase, machinePath(machine), batch_);
    }
}

void NetworkCollection::machineRead(int machine, const SourceResult& result)
{
    if (SourceRead* read = reading_.take(machine))
        read->deleteLater();
    if (result.kind == SourceResult::Kind::Missing && machine < firstMissing_) {
        firstMissing_ = machine;
        abandonReadersFrom(machine + 1);
    }
    waiting_.insert(machine, result);
    commitInOrder();
    launchReaders();
}

void NetworkCollection::commitInOrder()
{
    while (running_ && waiting_.contains(nextToStore_)) {
        const int machine = nextToStore_++;
        const SourceResult result = waiting_.take(machine);
        // The bar counts the machines known to be there and those being read.
        const int machinesFound = qMin(firstMissing_, nextToRead_) - 1;
        switch (result.kind) {
        case SourceResult::Kind::Missing:
            if (machine == 1)
                end(QStringLiteral("路径有误或无相应文件夹！"));
            else
                end(ScoreCollection::totalLine(summary_, failures_, targetPath_));
            return;
        case SourceResult::Kind::Unreadable:
            // An unreadable machine costs only its own rows; the others are still collected.
            summary_.unreadable << prefix_ + QString::number(machine);
            failures_ << result.problem;
            view_.machineDone(machine, machinesFound);
            break;
        case SourceResult::Kind::Rows: {
            qint64 appended = 0;
            try {
                appended = target_->append(result.rows);
            } catch (const DbError& error) {
                end(error.describe() + kCrLf + QStringLiteral("共回收") + countText(summary_.rowsStored)
                    + QStringLiteral("条记录。第%1号机起的记录没有回收。").arg(machine));
                return;
            }
            summary_.rowsStored += appended;
            ++summary_.machinesRead;
            view_.setProgressLine(QStringLiteral("当前回收") + countText(appended) + QStringLiteral("条记录。"));
            view_.machineDone(machine, machinesFound);
            break;
        }
        }
    }
    if (running_ && nextToStore_ > ScoreCollection::lastMachineNumber)
        end(ScoreCollection::totalLine(summary_, failures_, targetPath_));
}

void NetworkCollection::end(const QString& lastLine)
{
    stop();
    if (!lastLine.isEmpty())
        view_.setProgressLine(lastLine);
    emit finished();
}

void NetworkCollection::stop()
{
    abandonReadersFrom(1);
    waiting_.clear();
    target_.reset();
    running_ = false;
}

void NetworkCollection::abandonReadersFrom(int machine)
{
    for (auto it = reading_.lowerBound(machine); it != reading_.end();) {
        it.value()->abandon();
        it.value()->deleteLater();
        it = reading_.erase(it);
    }
}
