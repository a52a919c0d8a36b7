// Network collection through the collection dialog from machines served over real SMB
// (with_smb_lab.sh: one smbd per machine, smbnetfs): every machine collected; then one
// machine's server gone and another's stalled; then a share lost in the middle of its read.
// The others are collected, the lost ones are named, and the teacher's file holds every row of
// the machines read, once. The tests run in order, each on the servers the last one left.

#include "collect/collection_dialog.h"
#include "store/store_client.h"
#include "collect/collection_store.h"
#include "collect/source_read.h"
#include "lab_fixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <csignal>
#include <functional>

namespace {

QList<GradeRow> rowsOf(int machine, int count)
{
    QList<GradeRow> rows;
    for (int i = 0; i < count; ++i)
        rows << Lab::result(QStringLiteral("%1%2").arg(machine).arg(i, 3, 10, QChar(u'0')), QStringLiteral("B1"),
                            70 + i);
    rows << Lab::result(QStringLiteral("%1999").arg(machine), QStringLiteral("B2")); // another batch
    return rows;
}

QList<CollectionRow> collected(const QList<int>& machines, int count)
{
    QList<CollectionRow> rows;
    for (int machine : machines)
        for (const GradeRow& grade : rowsOf(machine, count).mid(0, count))
            rows << CollectionRow::fromGrade(grade);
    return rows;
}

} // namespace

class TestNetworkShare : public QObject {
    Q_OBJECT

    QString lab_ = qEnvironmentVariable("TYPELAB_SMB_LAB");
    QList<pid_t> servers_;
    std::unique_ptr<TestSupport::AppFolder> app_;

    // Runs a network collection of B1 over the shared lab, doing `meanwhile` while it runs;
    // returns the status line.
    QString collect(const std::function<void()>& meanwhile = {})
    {
        StoreClient store(app_->path());
        CollectionDialog dialog(store);
        dialog.show();
        QTest::mouseClick(dialog.findChild<QRadioButton*>(QStringLiteral("Option1_1")), Qt::LeftButton);
        dialog.findChild<QLineEdit*>(QStringLiteral("Text1"))->setText(lab_ + QStringLiteral("/lab/PC"));
        dialog.findChild<QLineEdit*>(QStringLiteral("Text2"))->setText(QStringLiteral("B1"));
        auto* confirm = dialog.findChild<QPushButton*>(QStringLiteral("Command1"));
        QTest::mouseClick(confirm, Qt::LeftButton);
        if (meanwhile)
            meanwhile();
        if (!QTest::qWaitFor([&] { return confirm->isEnabled(); }, 60000))
            return QStringLiteral("the run did not end");
        return dialog.findChild<QLabel*>(QStringLiteral("Label2"))->text();
    }

private slots:
    void initTestCase()
    {
        TestSupport::prepareApplication();
        app_ = std::make_unique<TestSupport::AppFolder>();
        QVERIFY2(!lab_.isEmpty(), "run through with_smb_lab.sh");
        for (const QString& pid : qEnvironmentVariable("TYPELAB_SMB_SERVERS").split(u' ', Qt::SkipEmptyParts))
            servers_ << pid.toInt();
        QCOMPARE(servers_.size(), 6);
        // The machines' grade databases, written on the servers' side.
        for (int machine = 1; machine <= 6; ++machine)
            Lab::makeGradeDatabase(QStringLiteral("%1/m%2/c/data/stugrade.mdb").arg(lab_).arg(machine),
                                   rowsOf(machine, 4));
    }

    void everyMachineOverTheShare()
    {
        Lab lab;
        const QString line = collect();
        QCOMPARE(line, QStringLiteral("共回收 24条记录。\r\n文件：") + lab.teachersFile());
        QCOMPARE(CollectionStore::openSource(lab.teachersFile()).allRows(), collected({1, 2, 3, 4, 5, 6}, 4));
    }

    void goneAndStalledSharesCostOnlyTheirMachines()
    {
        Lab lab;
        // Machine 3's server is gone; machine 5's stops answering. Each smbd leads a process
        // group with the processes that serve its connections.
        QCOMPARE(kill(-servers_[2], SIGTERM), 0);
        QVERIFY(QTest::qWaitFor([&] { return kill(servers_[2], 0) != 0; }, 10000));
        QCOMPARE(kill(-servers_[4], SIGSTOP), 0);
        // Our clock gives a machine up before the share's client does (3 s here).
        SourceRead::setTimeLimit(1000);
        const QString line = collect();
        SourceRead::setTimeLimit(10'000);
        kill(-servers_[4], SIGCONT);
        QStringList lines = line.split(QStringLiteral("\r\n"));
        QCOMPARE(lines.first(), QStringLiteral("共回收 16条记录。"));
        QCOMPARE(lines.last(), QStringLiteral("文件：") + lab.teachersFile());
        lines.removeLast();
        const QString prefix = lab_ + QStringLiteral("/lab/PC");
        QCOMPARE(lines.last(), QStringLiteral("未能读取：%1、%2").arg(prefix + u'3', prefix + u'5'));
        QVERIFY2(lines.at(1).startsWith(prefix + QStringLiteral("3/data/stugrade.mdb：")), qPrintable(lines.at(1)));
        QCOMPARE(lines.at(2), prefix + QStringLiteral("5/data/stugrade.mdb：1秒内没有读完（共享没有响应？），已放弃"));
        QCOMPARE(CollectionStore::openSource(lab.teachersFile()).allRows(), collected({1, 2, 4, 6}, 4));
    }

    // Machine 4's server stops answering while machine 4 is read, and is killed outright once
    // the machines before it are stored (3 is gone since the last test).
    void shareLostMidRun()
    {
        Lab lab;
        QCOMPARE(kill(-servers_[3], SIGSTOP), 0);
        const QString line = collect([&] {
            QTRY_COMPARE_WITH_TIMEOUT(Lab::collectionRows(lab.teachersFile()), 8, 10000);
            kill(-servers_[3], SIGKILL);
        });
        QStringList lines = line.split(QStringLiteral("\r\n"));
        QCOMPARE(lines.first(), QStringLiteral("共回收 16条记录。"));
        lines.removeLast();
        const QString prefix = lab_ + QStringLiteral("/lab/PC");
        QCOMPARE(lines.last(), QStringLiteral("未能读取：%1、%2").arg(prefix + u'3', prefix + u'4'));
        QCOMPARE(CollectionStore::openSource(lab.teachersFile()).allRows(), collected({1, 2, 5, 6}, 4));
    }
};

QTEST_MAIN(TestNetworkShare)
#include "test_network_share.moc"
