// The merge dialog driven as the teacher drives it: diskettes of collected rows merged one
// batch at a time into the teacher's file, which the dialog holds open while it is open.

#include "collect/collection_store.h"
#include "collect/merge_dialog.h"
#include "lab_fixture.h"
#include "shell/main_window.h"
#include "collect/merge_dialog.h"

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

// The report, and the line after it that names the teacher's file.
QString report(qint64 count, qint64 total, const QString& file)
{
    return QStringLiteral("当前回收完毕，回收 %1条记录。\n\r回收总记录为： %2条记录\r\n文件：%3")
        .arg(count)
        .arg(total)
        .arg(file);
}

struct Rig {
    std::unique_ptr<MergeDialog> dialog = std::make_unique<MergeDialog>();
    template <typename T> T* find(const char* name) const { return dialog->findChild<T*>(QString::fromLatin1(name)); }
    QLineEdit* text1 = find<QLineEdit>("Text1");
    QPushButton* command1 = find<QPushButton>("Command1");
    QLabel* label3 = find<QLabel>("Label3");

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
        waitForMerge();
    }
    // The diskette is read in the background; the button comes back when the merge has ended.
    void waitForMerge() const { QTRY_VERIFY_WITH_TIMEOUT(command1->isEnabled(), 30000); }
    QStringList lines() const { return label3->text().split(QStringLiteral("\r\n")); }
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
    void initTestCase() { TestSupport::prepareApplication(); }
    void init() { TestSupport::resetState(); }

    void openingMakesTheTeachersFile()
    {
        Lab lab;
        Rig rig;
        QCOMPARE(rig.dialog->objectName(), QStringLiteral("frmhbsf"));
        QCOMPARE(rig.dialog->windowTitle(), QStringLiteral("合并回收"));
        QCOMPARE(rig.find<QGroupBox>("Frame1")->title(), QStringLiteral("批次设置"));
        QCOMPARE(rig.find<QGroupBox>("Frame2")->title(), QStringLiteral("收分信息"));
        QCOMPARE(rig.find<QLabel>("Label1")->text(), QStringLiteral("源路径：A:\\"));
        QCOMPARE(rig.find<QLabel>("Label2")->text(), QStringLiteral("批次号："));
        QCOMPARE(rig.command1->text(), QStringLiteral("确定"));
        QVERIFY(rig.command1->isEnabled());
        QVERIFY(rig.label3->text().isEmpty());
        QCOMPARE(QApplication::focusWidget(), rig.text1);
        QCOMPARE(Lab::collectionRows(lab.teachersFile()), 0);
    }

    void enterInBatchBoxOnlyMovesTheFocus()
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
        rig.waitForMerge();
        QCOMPARE(rig.label3->text(), report(3, 3, lab.teachersFile()));
        QCOMPARE(QApplication::focusWidget(), rig.command1);
    }

    // Into a teacher's file that already holds two rows: each merge appends the batch's rows,
    // whatever the case or the spaces around it, each row once however often it is merged;
    // quotes are ordinary text.
    void mergesOneBatchAtATime()
    {
        Lab lab;
        const QList<CollectionRow> earlier = {Lab::collected(QStringLiteral("9"), QStringLiteral("B0")),
                                              Lab::collected(QStringLiteral("8"), QStringLiteral("B0"))};
        Lab::makeCollectionFile(lab.teachersFile(), earlier);
        const QList<CollectionRow> diskette = disketteRows()
            << Lab::collected(QStringLiteral("3001"), QStringLiteral("O'B"));
        Lab::makeCollectionFile(lab.diskette(), diskette);
        Rig rig;
        const QList<std::tuple<QString, int, int>> steps = {{QString(), 0, 2}, {" B1 ", 3, 5}, {"B1", 0, 5},
                                                            {"b2", 2, 7},      {"o'b", 1, 8},  {"' OR ''='", 0, 8}};
        for (const auto& [batch, count, total] : steps) {
            rig.merge(batch);
            QCOMPARE(rig.label3->text(), report(count, total, lab.teachersFile()));
        }
        const QList<CollectionRow> batchOne = {diskette[0], diskette[2], diskette[3]};
        const QList<CollectionRow> batchTwo = {diskette[1], diskette[4]};
        QCOMPARE(CollectionStore::openSource(lab.teachersFile()).allRows(),
                 earlier + batchOne + batchTwo + QList<CollectionRow>{diskette[5]});
        // The diskette itself is only read.
        QCOMPARE(CollectionStore::openSource(lab.diskette()).allRows(), diskette);
    }

    // A missing or strange diskette is named under the drive message; the teacher's file is
    // untouched and the dialog stays usable for the next, good diskette.
    void badDisketteLeavesTheDialogUsable_data()
    {
        QTest::addColumn<QStringList>("statements"); // none: no diskette at all
        QTest::addColumn<QString>("named");
        QTest::newRow("no diskette") << QStringList{} << QStringLiteral("文件不存在");
        QTest::newRow("trigger") << QStringList{QStringLiteral(
            "CREATE TRIGGER t AFTER DELETE ON xscj BEGIN INSERT INTO xscj SELECT * FROM xscj; END")}
                                 << QStringLiteral("触发器 t");
        QTest::newRow("fts3") << QStringList{QStringLiteral("CREATE VIRTUAL TABLE ft USING fts3(a)")}
                              << QStringLiteral("数据表 ft");
        QTest::newRow("not a collection")
            << QStringList{QStringLiteral("DROP TABLE xscj"), QStringLiteral("CREATE TABLE xscj (a, b)")}
            << QStringLiteral("列不符");
        for (const Lab::Crafted& crafted : Lab::craftedAs(CollectionStore::tableName, CollectionStore::columnNames()))
            QTest::newRow(crafted.name) << crafted.statements << QStringLiteral("数据表 xscj");
    }
    void badDisketteLeavesTheDialogUsable()
    {
        QFETCH(QStringList, statements);
        QFETCH(QString, named);
        Lab lab;
        Lab::makeCollectionFile(lab.teachersFile(), {Lab::collected(QStringLiteral("9"), QStringLiteral("B1"))});
        if (!statements.isEmpty()) {
            Lab::makeCollectionFile(lab.diskette(), disketteRows());
            Lab::tamper(lab.diskette(), statements, false);
        }
        {
            Rig rig;
            rig.merge(QStringLiteral("B1"));
            QCOMPARE(rig.lines().value(0), kDriveFailure);
            QVERIFY2(rig.lines().value(1).startsWith(lab.diskette()) && rig.lines().value(1).contains(named),
                     qPrintable(rig.label3->text()));
            QVERIFY(rig.command1->isEnabled());
        } // the target is closed with the dialog
        QCOMPARE(Lab::collectionRows(lab.teachersFile()), 1);

        QFile::remove(lab.diskette());
        Lab::makeCollectionFile(lab.diskette(), disketteRows());
        Rig rig;
        rig.merge(QStringLiteral("B1"));
        QCOMPARE(rig.label3->text(), report(3, 4, lab.teachersFile()));
    }

    void unusableTargetDisablesTheButton_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::newRow("folder in the file's place") << QStringLiteral("folder");
        QTest::newRow("grade database in its place") << QStringLiteral("grade");
        QTest::newRow("trigger in the target") << QStringLiteral("trigger");
    }
    void unusableTargetDisablesTheButton()
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
            Lab::tamper(lab.teachersFile(),
                        {QStringLiteral("CREATE TRIGGER t AFTER INSERT ON xscj BEGIN SELECT 1; END")}, false);
        }
        {
            Rig rig;
            QCOMPARE(rig.lines().value(0), QStringLiteral("目标数据库创建错误！"));
            QVERIFY2(rig.lines().value(1).startsWith(lab.teachersFile()), qPrintable(rig.label3->text()));
            QVERIFY(!rig.command1->isEnabled());
            QTest::keyClick(rig.text1, Qt::Key_Return);
            QTest::keyClick(rig.command1, Qt::Key_Space);
            QCOMPARE(rig.lines().value(0), QStringLiteral("目标数据库创建错误！"));
        }
        // With the obstacle gone, the next opening of the dialog works.
        QDir(lab.teachersFile()).removeRecursively();
        QFile::remove(lab.teachersFile());
        Rig rig;
        QVERIFY(rig.command1->isEnabled());
        rig.merge(QStringLiteral("B2"));
        QCOMPARE(rig.label3->text(), report(2, 2, lab.teachersFile()));
    }

    void menuItemOpensAFreshDialog()
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
                auto* text1 = dialog->findChild<QLineEdit*>(QStringLiteral("Text1"));
                seen += dialog->objectName() + u' ' + text1->text() + u' ';
                QTest::keyClicks(text1, QStringLiteral("B1"));
                auto* command1 = dialog->findChild<QPushButton*>(QStringLiteral("Command1"));
                QTest::mouseClick(command1, Qt::LeftButton);
                QTRY_VERIFY_WITH_TIMEOUT(command1->isEnabled(), 30000);
                const QString report = dialog->findChild<QLabel*>(QStringLiteral("Label3"))->text();
                seen += report.section(QStringLiteral("\r\n"), 0, 0).section(u'\n', 1) + u';';
                dialog->close();
            });
            openMergeDialog(&window);
        }
        // The second opening merges the same batch again: nothing new.
        QCOMPARE(seen, QStringLiteral("frmhbsf  \r回收总记录为： 3条记录;frmhbsf  \r回收总记录为： 3条记录;"));
    }
};

QTEST_MAIN(TestMergeDialog)
#include "test_merge_dialog.moc"
