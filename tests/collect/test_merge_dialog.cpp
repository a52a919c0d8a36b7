// The merge dialog driven as the teacher drives it: diskettes of collected rows merged one
// batch at a time into the teacher's file, which the dialog holds open while it is open.

#include "collect/collection_store.h"
#include "collect/merge_dialog.h"
#include "lab_fixture.h"
#include "shell/main_window.h"
#include "shell/window_openers.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

const QString kDriveFailure = QStringLiteral("A驱动器无盘、数据库打不开或数据读失败，请重试！");

QString report(qint64 count, qint64 total)
{
    return QStringLiteral("当前回收完毕，回收 %1条记录。\n\r回收总记录为： %2条记录").arg(count).arg(total);
}

struct Rig {
    std::unique_ptr<MergeDialog> dialog = std::make_unique<MergeDialog>();
    QLineEdit* text1 = dialog->findChild<QLineEdit*>(QStringLiteral("Text1"));
    QPushButton* command1 = dialog->findChild<QPushButton*>(QStringLiteral("Command1"));
    QLabel* label3 = dialog->findChild<QLabel*>(QStringLiteral("Label3"));

    Rig()
    {
        dialog->show();
        QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    }
    void merge(const QString& batch)
    {
        text1->clear();
        QTest::keyClicks(text1, batch);
        QTest::mouseClick(command1, Qt::LeftButton);
    }
};

// The diskette of one laboratory machine: batches B1 (3 rows) and B2 (2 rows).
QList<CollectionRow> disketteRows()
{
    return {Lab::collected(QStringLiteral("1001"), QStringLiteral("B1")),
            Lab::collected(QStringLiteral("2001"), QStringLiteral("B2")),
            Lab::collected(QStringLiteral("1002"), QStringLiteral("b1")),
            Lab::collected(QStringLiteral("1003"), QStringLiteral("B1")),
            Lab::collected(QStringLiteral("2002"), QStringLiteral("B2"))};
}

} // namespace

class TestMergeDialog : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void openingMakesTheTeachersFile();
    void enterInBatchBoxOnlyMovesTheFocus();
    void mergesOneBatchAndRepeats();
    void emptyBatchAndApostrophe();
    void existingTargetIsReused();
    void noDisketteLeavesTheDialogUsable();
    void strangeDisketteIsRefused_data();
    void strangeDisketteIsRefused();
    void unusableTargetDisablesTheButton_data();
    void unusableTargetDisablesTheButton();
    void menuItemOpensAFreshDialog();
};

void TestMergeDialog::initTestCase()
{
    TestSupport::prepareApplication();
}

void TestMergeDialog::init()
{
    TestSupport::resetState();
}

void TestMergeDialog::openingMakesTheTeachersFile()
{
    Lab lab;
    Rig rig;
    QCOMPARE(rig.dialog->objectName(), QStringLiteral("frmhbsf"));
    QCOMPARE(rig.dialog->windowTitle(), QStringLiteral("合并回收"));
    QCOMPARE(rig.dialog->findChild<QGroupBox*>(QStringLiteral("Frame1"))->title(), QStringLiteral("批次设置"));
    QCOMPARE(rig.dialog->findChild<QGroupBox*>(QStringLiteral("Frame2"))->title(), QStringLiteral("收分信息"));
    QCOMPARE(rig.dialog->findChild<QLabel*>(QStringLiteral("Label1"))->text(), QStringLiteral("源路径：A:\\"));
    QCOMPARE(rig.dialog->findChild<QLabel*>(QStringLiteral("Label2"))->text(), QStringLiteral("批次号："));
    QCOMPARE(rig.command1->text(), QStringLiteral("确定"));
    QVERIFY(rig.command1->isEnabled());
    QVERIFY(rig.label3->text().isEmpty());
    QCOMPARE(QApplication::focusWidget(), rig.text1);
    QCOMPARE(Lab::collectionRows(lab.teachersFile()), 0);
}

void TestMergeDialog::enterInBatchBoxOnlyMovesTheFocus()
{
    Lab lab;
    Lab::makeCollectionFile(lab.diskette(), disketteRows());
    Rig rig;
    QTest::keyClicks(rig.text1, QStringLiteral("B1"));
    QTest::keyClick(rig.text1, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), rig.command1);
    QVERIFY(rig.label3->text().isEmpty());
    QCOMPARE(Lab::collectionRows(lab.teachersFile()), 0);
    // Enter on the button runs the merge.
    QTest::keyClick(rig.command1, Qt::Key_Return);
    QCOMPARE(rig.label3->text(), report(3, 3));
}

void TestMergeDialog::mergesOneBatchAndRepeats()
{
    Lab lab;
    const QList<CollectionRow> diskette = disketteRows();
    Lab::makeCollectionFile(lab.diskette(), diskette);
    Rig rig;
    rig.merge(QStringLiteral(" B1 "));
    QCOMPARE(rig.label3->text(), report(3, 3));
    rig.merge(QStringLiteral("B1"));
    QCOMPARE(rig.label3->text(), report(3, 6));
    rig.merge(QStringLiteral("b2"));
    QCOMPARE(rig.label3->text(), report(2, 8));
    const QList<CollectionRow> batchOne = {diskette[0], diskette[2], diskette[3]};
    const QList<CollectionRow> batchTwo = {diskette[1], diskette[4]};
    QCOMPARE(CollectionStore::openSource(lab.teachersFile()).allRows(), batchOne + batchOne + batchTwo);
    // The diskette itself is only read.
    QCOMPARE(CollectionStore::openSource(lab.diskette()).allRows(), diskette);
}

void TestMergeDialog::emptyBatchAndApostrophe()
{
    Lab lab;
    QList<CollectionRow> diskette = disketteRows();
    diskette << Lab::collected(QStringLiteral("3001"), QStringLiteral("O'B"));
    Lab::makeCollectionFile(lab.diskette(), diskette);
    Rig rig;
    rig.merge(QString());
    QCOMPARE(rig.label3->text(), report(0, 0));
    rig.merge(QStringLiteral("o'b"));
    QCOMPARE(rig.label3->text(), report(1, 1));
    rig.merge(QStringLiteral("' OR ''='"));
    QCOMPARE(rig.label3->text(), report(0, 1));
}

void TestMergeDialog::existingTargetIsReused()
{
    Lab lab;
    Lab::makeCollectionFile(lab.teachersFile(), {Lab::collected(QStringLiteral("9"), QStringLiteral("B0")),
                                                 Lab::collected(QStringLiteral("8"), QStringLiteral("B0"))});
    Lab::makeCollectionFile(lab.diskette(), disketteRows());
    Rig rig;
    rig.merge(QStringLiteral("B2"));
    QCOMPARE(rig.label3->text(), report(2, 4));
}

void TestMergeDialog::noDisketteLeavesTheDialogUsable()
{
    Lab lab;
    Rig rig;
    rig.merge(QStringLiteral("B1"));
    const QStringList lines = rig.label3->text().split(QStringLiteral("\r\n"));
    QCOMPARE(lines.value(0), kDriveFailure);
    QVERIFY2(lines.value(1).startsWith(lab.diskette()), qPrintable(rig.label3->text()));
    QVERIFY(rig.command1->isEnabled());

    // The diskette goes in; the next try works.
    Lab::makeCollectionFile(lab.diskette(), disketteRows());
    rig.merge(QStringLiteral("B1"));
    QCOMPARE(rig.label3->text(), report(3, 3));
}

void TestMergeDialog::strangeDisketteIsRefused_data()
{
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<QString>("named");
    QTest::newRow("trigger") << QStringList{QStringLiteral(
        "CREATE TRIGGER t AFTER DELETE ON xscj BEGIN INSERT INTO xscj SELECT * FROM xscj; END")}
                             << QStringLiteral("触发器 t");
    QTest::newRow("fts3") << QStringList{QStringLiteral("CREATE VIRTUAL TABLE ft USING fts3(a)")}
                          << QStringLiteral("数据表 ft");
    QTest::newRow("not a collection") << QStringList{QStringLiteral("DROP TABLE xscj"),
                                                     QStringLiteral("CREATE TABLE xscj (a, b)")}
                                      << QStringLiteral("列不符");
}

void TestMergeDialog::strangeDisketteIsRefused()
{
    QFETCH(QStringList, statements);
    QFETCH(QString, named);
    Lab lab;
    Lab::makeCollectionFile(lab.teachersFile(), {Lab::collected(QStringLiteral("9"), QStringLiteral("B1"))});
    Lab::makeCollectionFile(lab.diskette(), disketteRows());
    Lab::tamper(lab.diskette(), statements, false);
    Rig rig;
    rig.merge(QStringLiteral("B1"));
    const QStringList lines = rig.label3->text().split(QStringLiteral("\r\n"));
    QCOMPARE(lines.value(0), kDriveFailure);
    QVERIFY2(lines.value(1).startsWith(lab.diskette()) && lines.value(1).contains(named), qPrintable(lines.value(1)));
    rig.dialog.reset();   // the target is closed with the dialog
    QCOMPARE(Lab::collectionRows(lab.teachersFile()), 1);
}

void TestMergeDialog::unusableTargetDisablesTheButton_data()
{
    QTest::addColumn<QString>("obstacle");
    QTest::newRow("folder in the file's place") << QStringLiteral("folder");
    QTest::newRow("grade database in its place") << QStringLiteral("grade");
    QTest::newRow("trigger in the target") << QStringLiteral("trigger");
}

void TestMergeDialog::unusableTargetDisablesTheButton()
{
    QFETCH(QString, obstacle);
    Lab lab;
    Lab::makeCollectionFile(lab.diskette(), disketteRows());
    if (obstacle == QLatin1String("folder")) {
        QDir().mkpath(lab.teachersFile());
    } else if (obstacle == QLatin1String("grade")) {
        Lab::makeGradeDatabase(lab.teachersFile(), {});
    } else {
        Lab::makeCollectionFile(lab.teachersFile(), {});
        Lab::tamper(lab.teachersFile(), {QStringLiteral("CREATE TRIGGER t AFTER INSERT ON xscj BEGIN SELECT 1; END")},
                    false);
    }
    {
        Rig rig;
        const QStringList lines = rig.label3->text().split(QStringLiteral("\r\n"));
        QCOMPARE(lines.value(0), QStringLiteral("目标数据库创建错误！"));
        QVERIFY2(lines.value(1).startsWith(lab.teachersFile()), qPrintable(rig.label3->text()));
        QVERIFY(!rig.command1->isEnabled());
        QTest::keyClick(rig.text1, Qt::Key_Return);
        QTest::keyClick(rig.command1, Qt::Key_Space);
        QCOMPARE(rig.label3->text().split(QStringLiteral("\r\n")).value(0), QStringLiteral("目标数据库创建错误！"));
    }
    // With the obstacle gone, the next opening of the dialog works.
    if (QFileInfo(lab.teachersFile()).isDir())
        QDir(lab.teachersFile()).removeRecursively();
    else
        QFile::remove(lab.teachersFile());
    Rig rig;
    QVERIFY(rig.command1->isEnabled());
    rig.merge(QStringLiteral("B2"));
    QCOMPARE(rig.label3->text(), report(2, 2));
}

void TestMergeDialog::menuItemOpensAFreshDialog()
{
    Lab lab;
    Lab::makeCollectionFile(lab.diskette(), disketteRows());
    MainWindow window;
    QString seen;
    for (int opening = 0; opening < 2; ++opening) {
        QTimer::singleShot(0, &window, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (!dialog)
                return;
            seen += dialog->objectName() + u' ';
            auto* text1 = dialog->findChild<QLineEdit*>(QStringLiteral("Text1"));
            seen += text1->text() + u' ';
            QTest::keyClicks(text1, QStringLiteral("B1"));
            QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
            seen += dialog->findChild<QLabel*>(QStringLiteral("Label3"))->text().section(u'\n', 1) + u';';
            dialog->close();
        });
        openMergeDialog(window);
    }
    QCOMPARE(seen, QStringLiteral("frmhbsf  \r回收总记录为： 3条记录;frmhbsf  \r回收总记录为： 6条记录;"));
}

QTEST_MAIN(TestMergeDialog)
#include "test_merge_dialog.moc"
