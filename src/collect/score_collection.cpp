#include "collect/score_collection.h"

#include "collect/collection_store.h"
#include "store/store_client.h"
#include "platform/paths.h"
#include "platform/byte_length.h"

#include <QFileInfo>

const QString ScoreCollection::singleTargetName = QStringLiteral("学生成绩.mdb");
const QString ScoreCollection::networkTargetName = QStringLiteral("击录测试成绩.mdb");
const QString ScoreCollection::batchRefusal = QStringLiteral("批次不能为空、超出10位或有全角字符");
const QString ScoreCollection::waitingText = QStringLiteral("正在收分，请等候……");
const QString ScoreCollection::waitingNetworkText = QStringLiteral("正在收分，请等候......");

namespace {

const QString kFinished = QStringLiteral("收分结束。");
const QString kCrLf = QStringLiteral("\r\n");
// How many unreadable machines the last line explains one by one.
constexpr int kDetailedFailures = 3;

// A file is there when a directory look-up for the name finds a file (not a folder).
bool fileExists(const QString& localPath)
{
    return QFileInfo(localPath).isFile();
}

QList<CollectionRow> asCollectionRows(const QList<GradeRow>& grades)
{
    QList<CollectionRow> rows;
    rows.reserve(grades.size());
    for (const GradeRow& grade : grades)
        rows.append(CollectionRow::fromGrade(grade));
    return rows;
}

} // namespace

bool ScoreCollection::batchAccepted(const QString& batch)
{
    const ByteLength length = measureBytes(batch);
    return length.bytes > 0 && length.bytes <= 10 && !length.doubleByte;
}

QString ScoreCollection::machineDatabase(const QString& prefix, int machine)
{
    return prefix + QString::number(machine) + QStringLiteral("\\data\\stugrade.mdb");
}

void ScoreCollection::collectSingle(const QString& targetFolder, const QString& batch)
{
    view_.setProgressLine(waitingText);

    const RowsReply read = store_.batchResults(batch);
    if (!read.ok()) {
        view_.setProgressLine(storeProblem(read));
        return;
    }
    const QList<CollectionRow> rows = asCollectionRows(read.rows);
    if (rows.isEmpty()) {
        view_.setProgressLine(kFinished);
        view_.setResultLine(QStringLiteral("本机没有该批次录入信息！"));
        return;
    }

    const QString target = Paths::toLocal(targetFolder + singleTargetName);
    if (!fileExists(target) && !creatmdb(target, [this](const QString& text) { view_.setProgressLine(text); }))
        return;

    qint64 total = 0;
    qint64 appended = 0;
    try {
        CollectionStore store = CollectionStore::openTarget(target);
        appended = store.append(rows);
        total = store.rowCount();
    } catch (const DbError& error) {
        // append() is one transaction: a failure leaves none of this run's rows behind.
        view_.setProgressLine(error.describe() + kCrLf + QStringLiteral("本次没有回收任何记录。"));
        return;
    }
    view_.setProgressLine(kFinished);
    view_.setResultLine(QStringLiteral("当前回收") + countText(appended) + QStringLiteral("条记录。") + kCrLf
                        + QStringLiteral("共有") + QString::number(total) + QStringLiteral("条记录") + kCrLf
                        + whereLine(target));
}

QString ScoreCollection::totalLine(const NetworkSummary& summary, const QStringList& details, const QString& target)
{
    QString text = QStringLiteral("共回收") + countText(summary.rowsStored) + QStringLiteral("条记录。");
    if (!summary.unreadable.isEmpty()) {
        for (int i = 0; i < details.size() && i < kDetailedFailures; ++i)
            text += kCrLf + details.at(i);
        if (details.size() > kDetailedFailures)
            text += kCrLf + QStringLiteral("……");
        text += kCrLf + QStringLiteral("未能读取：") + summary.unreadable.join(QStringLiteral("、"));
    }
    return text + kCrLf + whereLine(target);
}
