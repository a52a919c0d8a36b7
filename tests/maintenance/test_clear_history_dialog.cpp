// The clear-history dialog: empty and full tables, the passwords kept, a batch open again for
// a test login, and a database that cannot be cleared.
#include "maintenance/clear_history_dialog.h"
#include "maintenance_test_helpers.h"
#include "platform/message_box.h"
#include "support/test_support.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace MaintenanceTest;

class ClearHistoryDialogTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::prepareApplication(); }
    void init();
    void cleanup()
    {
        login_.reset();
        folder_.reset();
    }

    void clears_data();
    void clears();
    void databaseErrorLeavesTheDialogUsable();

private:
    std::unique_ptr<TestSupport::AppFolder> folder_;
    std::unique_ptr<TestSupport::SystemSession> login_;
};

void ClearHistoryDialogTest::init()
{
    TestSupport::resetState();
    folder_ = std::make_unique<TestSupport::AppFolder>();
    login_ = std::make_unique<TestSupport::SystemSession>(folder_->path());
}

void ClearHistoryDialogTest::clears_data()
{
    QTest::addColumn<int>("rows");
    QTest::newRow("empty tables") << 0;
    QTest::newRow("one row each") << 1;
    QTest::newRow("many rows") << 300;
}

void ClearHistoryDialogTest::clears()
{
    QFETCH(int, rows);
    {
        GradeStore store = folder_->store();
        for (int i = 0; i < rows; ++i) {
            GradeRow row;
            row.xh = QStringLiteral("20240%1").arg(i, 5, 10, QChar(u'0'));
            row.xm = QStringLiteral("学生");
            row.lrxm = QStringLiteral("英文");
            row.lrcj = 80;
            row.lrdate = QDate(2026, 12, 1);
            row.lrtime = QTime(9, 30);
            row.lrpc = QStringLiteral("B1");
            store.addResult(row);
            store.addTestLogin(row.xh, row.lrpc, row.lrdate);
        }
        QCOMPARE(store.resultCount(), qint64(rows));
    }
    const SystemRow before = *folder_->store().systemRow();

    ClearHistoryDialog dialog(*login_->store, login_->session);
    dialog.show();
    QCOMPARE(dialog.objectName(), QStringLiteral("frmqclsjl"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("清除历史记录"));
    auto* status = child<QLabel>(&dialog, "Label1");
    auto* confirm = child<QPushButton>(&dialog, "Command1");
    QVERIFY(status->text().isEmpty());
    QCOMPARE(confirm->text(), QStringLiteral("确定"));
    click(&dialog, "Command1");

    QCOMPARE(status->text(), QStringLiteral("清理完必！"));
    QVERIFY(!confirm->isEnabled());
    QVERIFY(MessageBoxes::takeRecorded().isEmpty());

    GradeStore store = folder_->store();
    QCOMPARE(store.resultCount(), qint64(0));
    QVERIFY(store.resultsNewestFirst(0, 10).isEmpty());
    if (rows > 0)
        QVERIFY(!store.hasTestLogin(QStringLiteral("2024000000"), QStringLiteral("B1")));
    const SystemRow after = *store.systemRow();
    QCOMPARE(after.username, before.username);
    QCOMPARE(after.usermm, before.usermm);
    QCOMPARE(after.xsmm, before.xsmm);
}

void ClearHistoryDialogTest::databaseErrorLeavesTheDialogUsable()
{
    QFile::remove(folder_->gradeDatabase());
    folder_->writeFile(QStringLiteral("data/stugrade.mdb"), QByteArray(4096, 'x'));
    ClearHistoryDialog dialog(*login_->store, login_->session);
    dialog.show();
    click(&dialog, "Command1");
    const QString status = child<QLabel>(&dialog, "Label1")->text();
    QVERIFY(status.startsWith(QStringLiteral("清理历史记录失败")));
    QVERIFY(status.contains(QStringLiteral("stugrade.mdb")));
    const auto shown = MessageBoxes::takeRecorded();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().text, status);
    QVERIFY(child<QPushButton>(&dialog, "Command1")->isEnabled());
}

QTEST_MAIN(ClearHistoryDialogTest)
#include "test_clear_history_dialog.moc"
