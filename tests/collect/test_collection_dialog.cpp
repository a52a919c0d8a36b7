// The collection dialog driven as the teacher drives it, over a small laboratory in a
// temporary folder: the batch checks, single-machine collection onto drive A:, network
// collection over numbered machines, and what happens when files are missing, strange or full.

#include "collect/collection_dialog.h"
#include "store/store_client.h"
#include "collect/collection_store.h"
#include "collect/source_read.h"
#include "fake_reader.h"
#include "lab_fixture.h"
#include "platform/message_box.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

const QString kTitle = QStringLiteral("收分对话框");
const QString kRefusal = QStringLiteral("批次不能为空、超出10位或有全角字符");

// The store of the Application folder the dialogs of a test collect from.
std::unique_ptr<StoreClient> testStore;

// The dialog and its controls, found by name.
struct Rig {
    std::unique_ptr<CollectionDialog> dialog = std::make_unique<CollectionDialog>(*testStore);
    template <typename T> T* find(const char* name) const { return dialog->findChild<T*>(QString::fromLatin1(name)); }
    QRadioButton* single = find<QRadioButton>("Option1_0");
    QRadioButton* network = find<QRadioButton>("Option1_1");
    QLabel* label1 = find<QLabel>("Label1");
    QLineEdit* text1 = find<QLineEdit>("Text1");
    QLineEdit* text2 = find<QLineEdit>("Text2");
    QPushButton* command1 = find<QPushButton>("Command1");
    QLabel* label2 = find<QLabel>("Label2");
    QLabel* label4 = find<QLabel>("Label4");

    Rig()
    {
        dialog->show();
        QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    }
    // Types into a box: ASCII as key clicks, anything else as the text of a key event.
    static void type(QLineEdit* box, const QString& text)
    {
        for (QChar ch : text) {
            if (ch.unicode() < 128)
                QTest::keyClicks(box, QString(ch));
            else
                QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString(ch), Qt::NoModifier);
        }
    }
    void batch(const QString& text)
    {
        text2->clear();
        type(text2, text);
    }
    void networkPrefix(const QString& prefix)
    {
        QTest::mouseClick(network, Qt::LeftButton);
        type(text1, prefix);
    }
    void confirm()
    {
        QTest::mouseClick(command1, Qt::LeftButton);
        waitForRun();
    }
    // A network run goes on in the background; the button comes back when it has ended.
    void waitForRun() const { QTRY_VERIFY_WITH_TIMEOUT(command1->isEnabled(), 30000); }
    // Single-machine collection of a batch by the button.
    void collect(const QString& text)
    {
        batch(text);
        confirm();
    }
    // Network collection of a batch from the machines behind the prefix, by the button.
    void collectNetwork(const QString& prefix, const QString& text = QStringLiteral("B1"))
    {
        networkPrefix(prefix);
        collect(text);
    }
    // The path box as the teacher sees it: caption|text|read-only|the focused box.
    QString pathBox() const
    {
        return QStringList{label1->text(), text1->text(), text1->isReadOnly() ? "read-only" : "editable",
                           QApplication::focusWidget()->objectName()}
            .join(u'|');
    }
};

QList<CollectionRow> collectedFrom(const QList<GradeRow>& grades)
{
    QList<CollectionRow> rows;
    for (const GradeRow& grade : grades)
        rows << CollectionRow::fromGrade(grade);
    return rows;
}

QList<GradeRow> batchOf(const QString& stem, const QString& batch, int count)
{
    QList<GradeRow> rows;
    for (int i = 0; i < count; ++i)
        rows << Lab::result(QStringLiteral("%1%2").arg(stem).arg(i, 4, 10, QChar(u'0')), batch, 60 + i);
    return rows;
}

} // namespace

class TestCollectionDialog : public QObject {
    Q_OBJECT

    std::unique_ptr<TestSupport::AppFolder> app_;

private slots:
    void initTestCase() { TestSupport::prepareApplication(); }
    void init()
    {
        TestSupport::resetState();
        app_ = std::make_unique<TestSupport::AppFolder>();
        testStore = std::make_unique<StoreClient>(app_->path());
    }

    void modeChoiceSwitchesThePathBox()
    {
        Rig rig;
        QCOMPARE(rig.dialog->objectName(), QStringLiteral("frmdjsf"));
        QCOMPARE(rig.dialog->windowTitle(), QStringLiteral("收分"));
        QVERIFY(rig.single->isChecked());
        QCOMPARE(rig.single->text(), QStringLiteral("单机收分"));
        QCOMPARE(rig.network->text(), QStringLiteral("网络收分"));
        QCOMPARE(rig.find<QLabel>("Label3")->text(), QStringLiteral("批 次 号："));
        QCOMPARE(rig.command1->text(), QStringLiteral("确定"));
        QVERIFY(rig.label2->text().isEmpty());
        QVERIFY(rig.label4->text().isEmpty());
        QStringList frames;
        for (const char* name : {"Frame1", "Frame2", "Frame3"})
            frames << rig.find<QGroupBox>(name)->title();
        QCOMPARE(frames,
                 (QStringList{QStringLiteral("收分类别"), QStringLiteral("路径设置"), QStringLiteral("收分信息")}));
        const QString single = QStringLiteral("目标路径：|A:\\|read-only|Text2");
        QCOMPARE(rig.pathBox(), single);

        QTest::mouseClick(rig.network, Qt::LeftButton);
        QCOMPARE(rig.pathBox(), QStringLiteral("源 路 径：||editable|Text1"));
        Rig::type(rig.text1, QStringLiteral("Z:\\PC"));
        // Enter in the path box starts nothing.
        QTest::keyClick(rig.text1, Qt::Key_Return);
        QVERIFY(rig.label2->text().isEmpty());
        QVERIFY(MessageBoxes::takeRecorded().isEmpty());

        QTest::mouseClick(rig.single, Qt::LeftButton);
        QCOMPARE(rig.pathBox(), single);
    }

    void batchIsChecked_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("spaces only") << QStringLiteral("    ") << false;
        QTest::newRow("11 ASCII") << QStringLiteral("12345678901") << false;
        QTest::newRow("10 ASCII") << QStringLiteral("1234567890") << true;
        QTest::newRow("10 ASCII within spaces") << QStringLiteral("  1234567890 ") << true;
        QTest::newRow("one Chinese character") << QStringLiteral("B中") << false;
        QTest::newRow("full-width comma") << QStringLiteral("B，") << false;
        QTest::newRow("apostrophe") << QStringLiteral("O'B") << true;
    }
    void batchIsChecked()
    {
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        Lab lab;
        Rig rig;
        rig.batch(typed);
        QTest::keyClick(rig.text2, Qt::Key_Return);
        const auto shown = MessageBoxes::takeRecorded();
        if (accepted) {
            QVERIFY(shown.isEmpty());
            // This machine holds nothing of the batch: no file is made on the diskette.
            QCOMPARE(rig.label2->text(), QStringLiteral("收分结束。"));
            QCOMPARE(rig.label4->text(), QStringLiteral("本机没有该批次录入信息！"));
        } else {
            QCOMPARE(shown.size(), 1);
            QCOMPARE(shown[0].title, kTitle);
            QCOMPARE(shown[0].text, kRefusal);
            QVERIFY(rig.label2->text().isEmpty());
            QVERIFY(rig.label4->text().isEmpty());
        }
        QVERIFY(!QFileInfo::exists(lab.diskette()));
    }

    void singleMachineCollectsTwiceIntoOneFile()
    {
        Lab lab;
        QList<GradeRow> local = batchOf(QStringLiteral("202600"), QStringLiteral("B1"), 3);
        local[1].lrpc = QStringLiteral("b1");
        local[2].lrcj = 84.5;
        {
            GradeStore store = app_->store();
            store.addResult(local[0]);
            store.addResult(Lab::result(QStringLiteral("2026009999"), QStringLiteral("B2")));
            store.addResult(local[1]);
            store.addResult(Lab::result(QStringLiteral("2026008888"), QString()));
            store.addResult(local[2]);
        }
        Rig rig;
        rig.batch(QStringLiteral(" B1 "));
        QTest::keyClick(rig.text2, Qt::Key_Return);
        QCOMPARE(rig.label2->text(), QStringLiteral("收分结束。"));
        const QString where = QStringLiteral("\r\n文件：") + lab.diskette();
        QCOMPARE(rig.label4->text(), QStringLiteral("当前回收 3条记录。\r\n共有3条记录") + where);

        // The same batch again adds nothing; a new result of it is added alone.
        rig.confirm();
        QCOMPARE(rig.label4->text(), QStringLiteral("当前回收 0条记录。\r\n共有3条记录") + where);
        GradeRow again = local[0];
        again.lrtime = again.lrtime.addSecs(600); // the same student's second test: another time
        app_->store().addResult(again);
        rig.confirm();
        QCOMPARE(rig.label4->text(), QStringLiteral("当前回收 1条记录。\r\n共有4条记录") + where);
        const QList<CollectionRow> stored = CollectionStore::openSource(lab.diskette()).allRows();
        QCOMPARE(stored, collectedFrom(local + QList<GradeRow>{again}));
        QCOMPARE(stored[2].lrcj, 84);
    }

    void singleMachineTargetProblemsAreNamed_data()
    {
        QTest::addColumn<QString>("problem");
        QTest::addColumn<bool>("creation"); // the line starts with the creation failure
        QTest::newRow("no diskette folder") << QStringLiteral("missing folder") << true;
        QTest::newRow("folder in the file's place") << QStringLiteral("folder") << true;
        QTest::newRow("not a database") << QStringLiteral("garbage") << false;
        QTest::newRow("grade database in its place") << QStringLiteral("grade") << false;
    }
    void singleMachineTargetProblemsAreNamed()
    {
        QFETCH(QString, problem);
        QFETCH(bool, creation);
        Lab lab;
        app_->store().addResult(Lab::result(QStringLiteral("2026000001"), QStringLiteral("B1")));
        QString named = lab.diskette();
        if (problem == QLatin1String("missing folder")) {
            named = lab.root() + QStringLiteral("/no-diskette/学生成绩.mdb");
            qputenv("TYPELAB_DRIVE_A", QFileInfo(named).path().toUtf8());
        } else if (problem == QLatin1String("folder")) {
            QDir().mkpath(lab.diskette());
        } else if (problem == QLatin1String("garbage")) {
            Lab::writeFile(lab.diskette(), QByteArray(3000, 'x'));
        } else {
            Lab::makeGradeDatabase(lab.diskette(), {});
        }
        const QByteArray before = Lab::contents(lab.diskette());

        Rig rig;
        rig.collect(QStringLiteral("B1"));
        const QString line = rig.label2->text();
        QVERIFY2(line.contains(named), qPrintable(line));
        QCOMPARE(line.startsWith(QStringLiteral("创建文件失败！请重试\r\n")), creation);
        QVERIFY(rig.label4->text().isEmpty());
        QCOMPARE(Lab::contents(lab.diskette()), before);
        QVERIFY(!QFileInfo::exists(lab.root() + QStringLiteral("/no-diskette")));
    }

    void singleMachineWithoutGradeDatabase()
    {
        Lab lab;
        testStore = std::make_unique<StoreClient>(lab.root() + QStringLiteral("/nowhere"));
        Rig rig;
        rig.collect(QStringLiteral("B1"));
        QVERIFY2(rig.label2->text().contains(QStringLiteral("nowhere/data/stugrade.mdb：文件不存在")),
                 qPrintable(rig.label2->text()));
        QVERIFY(!QFileInfo::exists(lab.diskette()));
    }

    void networkReadsMachinesUpToTheFirstGap_data()
    {
        QTest::addColumn<QString>("form");
        QTest::newRow("slashes") << QStringLiteral("slashes");
        QTest::newRow("backslashes") << QStringLiteral("backslashes");
        QTest::newRow("drive letter") << QStringLiteral("drive");
    }
    void networkReadsMachinesUpToTheFirstGap()
    {
        QFETCH(QString, form);
        Lab lab;
        const QList<GradeRow> first = batchOf(QStringLiteral("110"), QStringLiteral("B1"), 2);
        const QList<GradeRow> second = batchOf(QStringLiteral("220"), QStringLiteral("B1"), 3);
        const QList<GradeRow> fourth = batchOf(QStringLiteral("440"), QStringLiteral("b1"), 1);
        lab.addMachine(1, first + batchOf(QStringLiteral("111"), QStringLiteral("B2"), 1));
        lab.addMachine(2, second);
        lab.addMachine(3, batchOf(QStringLiteral("330"), QStringLiteral("B2"), 4));
        lab.addMachine(4, fourth);
        lab.addMachine(6, batchOf(QStringLiteral("660"), QStringLiteral("B1"), 5)); // behind the gap

        QString prefix = lab.prefix();
        if (form == QLatin1String("backslashes")) {
            prefix.replace(u'/', u'\\');
        } else if (form == QLatin1String("drive")) {
            qputenv("TYPELAB_DRIVE_Z", lab.root().toUtf8());
            prefix = QStringLiteral("Z:\\PC");
        }
        app_->store().addResult(Lab::result(QStringLiteral("2026000001"), QStringLiteral("B1")));
        Rig rig;
        rig.collect(QStringLiteral("B1")); // a single-machine run first: its result line stays through the network run
        const QString singleResult = QStringLiteral("当前回收 1条记录。\r\n共有1条记录\r\n文件：") + lab.diskette();
        QCOMPARE(rig.label4->text(), singleResult);

        rig.collectNetwork(prefix);
        const QString where = QStringLiteral("\r\n文件：") + lab.teachersFile();
        QCOMPARE(rig.label2->text(), QStringLiteral("共回收 6条记录。") + where);
        QCOMPARE(rig.label4->text(), singleResult);
        QCOMPARE(CollectionStore::openSource(lab.teachersFile()).allRows(), collectedFrom(first + second + fourth));

        // Collected again: every row is there already.
        QTest::keyClick(rig.text2, Qt::Key_Return);
        rig.waitForRun();
        QCOMPARE(rig.label2->text(), QStringLiteral("共回收 0条记录。") + where);
        QCOMPARE(Lab::collectionRows(lab.teachersFile()), 6);
        qunsetenv("TYPELAB_DRIVE_Z");
    }

    // Machine 1 is looked for first: an empty prefix finds it in the working folder, and
    // without it nothing is collected, though the teacher's file was already made.
    void networkStartsAtMachineOne_data()
    {
        QTest::addColumn<bool>("emptyPrefix");
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("rows");
        QTest::newRow("empty prefix, working folder") << true << QStringLiteral("共回收 2条记录。") << 2;
        QTest::newRow("no machine 1") << false << QStringLiteral("路径有误或无相应文件夹！") << 0;
    }
    void networkStartsAtMachineOne()
    {
        QFETCH(bool, emptyPrefix);
        Lab lab;
        lab.addMachine(2, batchOf(QStringLiteral("200"), QStringLiteral("B7"), 2)); // not reached
        if (emptyPrefix)
            Lab::makeGradeDatabase(lab.teacher() + QStringLiteral("/1/data/stugrade.mdb"),
                                   batchOf(QStringLiteral("100"), QStringLiteral("B7"), 2));
        Rig rig;
        rig.collectNetwork(emptyPrefix ? QString() : lab.prefix(), QStringLiteral("B7"));
        QFETCH(QString, line);
        QCOMPARE(rig.label2->text().split(QStringLiteral("\r\n")).first(), line);
        QTEST(int(Lab::collectionRows(lab.teachersFile())), "rows");
    }

    void networkSkipsUnreadableMachines()
    {
        Lab lab;
        const QList<GradeRow> first = batchOf(QStringLiteral("110"), QStringLiteral("B1"), 2);
        const QList<GradeRow> fifth = batchOf(QStringLiteral("550"), QStringLiteral("B1"), 1);
        lab.addMachine(1, first);
        lab.addMachine(2, batchOf(QStringLiteral("220"), QStringLiteral("B1"), 3));
        Lab::tamper(lab.machineDatabase(2),
                    {QStringLiteral("CREATE TRIGGER t AFTER INSERT ON recxh BEGIN DELETE FROM stdgrade; END")}, true);
        lab.addMachine(3, batchOf(QStringLiteral("330"), QStringLiteral("B1"), 1));
        Lab::tamper(lab.machineDatabase(3), {QStringLiteral("CREATE VIRTUAL TABLE ft USING fts3(a)")}, true);
        Lab::writeFile(lab.machineDatabase(4), QByteArray(5000, '\x5a'));
        lab.addMachine(5, fifth);
        // Machine 6 is in the middle of writing: its database is locked the whole time.
        lab.addMachine(6, batchOf(QStringLiteral("660"), QStringLiteral("B1"), 2));
        GradeStore busy = GradeStore::openFile(lab.machineDatabase(6));
        GradeStoreInspector::database(busy).exec(QStringLiteral("BEGIN EXCLUSIVE"));

        Rig rig;
        rig.collectNetwork(lab.prefix());
        QStringList lines = rig.label2->text().split(QStringLiteral("\r\n"));
        QCOMPARE(lines.first(), QStringLiteral("共回收 3条记录。"));
        QCOMPARE(lines.last(), QStringLiteral("文件：") + lab.teachersFile());
        lines.removeLast();
        QCOMPARE(lines.last(),
                 QStringLiteral("未能读取：%1、%2、%3、%4")
                     .arg(lab.prefix() + u'2', lab.prefix() + u'3', lab.prefix() + u'4', lab.prefix() + u'6'));
        QVERIFY(lines.at(1).startsWith(lab.machineDatabase(2)));
        QVERIFY(lines.at(1).contains(QStringLiteral("触发器 t")));
        QVERIFY(lines.at(2).contains(QStringLiteral("数据表 ft")));
        QVERIFY(lines.at(3).startsWith(lab.machineDatabase(4)));
        QCOMPARE(lines.at(4), QStringLiteral("……"));
        QCOMPARE(CollectionStore::openSource(lab.teachersFile()).allRows(), collectedFrom(first + fifth));
        GradeStoreInspector::database(busy).exec(QStringLiteral("ROLLBACK"));
    }

    void networkRefusesStrangeTarget()
    {
        Lab lab;
        Lab::makeCollectionFile(lab.teachersFile(), {Lab::collected(QStringLiteral("1"), QStringLiteral("B0"))});
        Lab::tamper(lab.teachersFile(),
                    {QStringLiteral("CREATE TABLE log (n)"),
                     QStringLiteral("CREATE TRIGGER t AFTER INSERT ON xscj BEGIN INSERT INTO log VALUES (1); END")},
                    false);
        lab.addMachine(1, batchOf(QStringLiteral("110"), QStringLiteral("B1"), 2));
        Rig rig;
        rig.collectNetwork(lab.prefix());
        QVERIFY2(rig.label2->text().startsWith(lab.teachersFile()), qPrintable(rig.label2->text()));
        Database db = Database::open(lab.teachersFile(), Database::Mode::ReadWrite);
        Statement count = db.prepare(QStringLiteral("SELECT (SELECT count(*) FROM xscj), (SELECT count(*) FROM log)"));
        QVERIFY(count.step());
        QCOMPARE(count.integer(0), 1);
        QCOMPARE(count.integer(1), 0);
    }

    void networkStopsWhenTargetFillsUp()
    {
        Lab lab;
        const QList<GradeRow> first = batchOf(QStringLiteral("110"), QStringLiteral("B1"), 2);
        lab.addMachine(1, first);
        lab.addMachine(2, batchOf(QStringLiteral("220"), QStringLiteral("B1"), 600));
        lab.addMachine(3, batchOf(QStringLiteral("330"), QStringLiteral("B1"), 1));
        CollectionStore::create(lab.teachersFile());
        Rig rig;
        rig.networkPrefix(lab.prefix());
        rig.batch(QStringLiteral("B1"));
        {
            const FileSizeLimit full(16 * 1024); // the teacher's disk fills up during machine 2
            rig.confirm();
        }
        const QString line = rig.label2->text();
        QVERIFY2(line.startsWith(lab.teachersFile() + QStringLiteral("：")), qPrintable(line));
        QVERIFY2(line.endsWith(QStringLiteral("共回收 2条记录。第2号机起的记录没有回收。")), qPrintable(line));
        QCOMPARE(CollectionStore::openSource(lab.teachersFile()).allRows(), collectedFrom(first));
    }

    // The window lives while machines are read: the status line moves on, a second start is
    // refused, and closing stops the run with whole machines stored.
    void windowStaysAliveDuringRun()
    {
        Lab lab;
        for (int machine = 1; machine <= 3; ++machine)
            lab.addMachine(machine, batchOf(QStringLiteral("%1").arg(machine * 100), QStringLiteral("B1"), 4));
        Rig rig;
        rig.networkPrefix(lab.prefix());
        rig.batch(QStringLiteral("B1"));
        QTest::mouseClick(rig.command1, Qt::LeftButton);
        QVERIFY(!rig.command1->isEnabled());
        QVERIFY(!rig.text2->isEnabled());
        QCOMPARE(rig.label2->text(), QStringLiteral("正在收分，请等候......"));
        QTest::keyClick(rig.text2, Qt::Key_Return);
        QTest::mouseClick(rig.command1, Qt::LeftButton);
        rig.waitForRun();
        // A second run would have ended on "共回收 0条记录。".
        QCOMPARE(rig.label2->text(), QStringLiteral("共回收 12条记录。\r\n文件：") + lab.teachersFile());
        QCOMPARE(Lab::collectionRows(lab.teachersFile()), 12);
        QVERIFY(rig.find<QProgressBar>("ProgressBar1")->isHidden());
        QTest::keyClick(rig.text2, Qt::Key_Return);
        rig.waitForRun();
        QVERIFY(rig.label2->text().startsWith(QStringLiteral("共回收 0条记录。")));
    }

    void closingStopsTheRun()
    {
        Lab lab;
        for (int machine = 1; machine <= 4; ++machine)
            lab.addMachine(machine, batchOf(QStringLiteral("%1").arg(machine * 100), QStringLiteral("B1"), 4));
        const FakeReader reader({{3, QStringLiteral("hang")}});
        Rig rig;
        rig.networkPrefix(lab.prefix());
        rig.batch(QStringLiteral("B1"));
        QTest::mouseClick(rig.command1, Qt::LeftButton);
        QTRY_COMPARE(Lab::collectionRows(lab.teachersFile()), 8); // machines 1 and 2; 3 never answers
        QTRY_COMPARE(rig.label2->text(), QStringLiteral("当前回收 4条记录。"));
        auto* bar = rig.find<QProgressBar>("ProgressBar1");
        QVERIFY(bar->isVisible());
        QCOMPARE(bar->value(), 2);
        rig.dialog->close();
        QVERIFY(!rig.dialog->isVisible());
        QVERIFY(rig.command1->isEnabled());
        QCOMPARE(Lab::collectionRows(lab.teachersFile()), 8);
        QVERIFY(reader.hungReadersGone());
    }

    // Readers that crash, outgrow their memory, overrun their time or send garbage cost only
    // their own machine, which is named; every other machine is collected.
    void misbehavingReadersCostOnlyTheirMachine()
    {
        Lab lab;
        for (int machine = 1; machine <= 7; ++machine)
            lab.addMachine(machine, batchOf(QStringLiteral("%1").arg(machine * 100), QStringLiteral("B1"), 2));
        const FakeReader reader({{2, QStringLiteral("crash")},
                                 {3, QStringLiteral("memory")},
                                 {4, QStringLiteral("hang")},
                                 {5, QStringLiteral("garbage")},
                                 {6, QStringLiteral("forged")}});
        SourceRead::setTimeLimit(1500);
        Rig rig;
        rig.collectNetwork(lab.prefix());
        SourceRead::setTimeLimit(10'000);
        QStringList lines = rig.label2->text().split(QStringLiteral("\r\n"));
        QCOMPARE(lines.first(), QStringLiteral("共回收 4条记录。"));
        lines.removeLast();
        QCOMPARE(lines.last(),
                 QStringLiteral("未能读取：%1、%2、%3、%4、%5")
                     .arg(lab.prefix() + u'2', lab.prefix() + u'3', lab.prefix() + u'4', lab.prefix() + u'5',
                          lab.prefix() + u'6'));
        QVERIFY2(lines.at(1).startsWith(lab.machineDatabase(2) + QStringLiteral("：读取程序异常退出")),
                 qPrintable(lines.at(1)));
        // Without a memory cap (address-sanitized builds) the hungry reader ends by the clock or
        // by the sanitizer's own allocator, whichever comes first.
        const QString hungry = SourceRead::memoryLimit() > 0 ? QStringLiteral("：读取程序") : QStringLiteral("：");
        QVERIFY2(lines.at(2).startsWith(lab.machineDatabase(3) + hungry), qPrintable(lines.at(2)));
        QCOMPARE(lines.at(3), lab.machineDatabase(4) + QStringLiteral("：1.5秒内没有读完（共享没有响应？），已放弃"));
        QCOMPARE(Lab::collectionRows(lab.teachersFile()), 4);
        QVERIFY(reader.hungReadersGone());
    }

    // Machines read several at once, finishing in any order, give the teacher's file and the
    // report that reading one machine after another gives.
    void parallelRunMatchesOneAtATime()
    {
        Lab lab;
        for (int machine = 1; machine <= 9; ++machine)
            lab.addMachine(machine,
                           batchOf(QStringLiteral("%1").arg(machine * 100), QStringLiteral("B1"), 10 - machine));
        Lab::writeFile(lab.machineDatabase(5), QByteArray(5000, '\x5a')); // unreadable
        QStringList reports;
        QList<QList<CollectionRow>> files;
        for (int readers : {1, 0}) {
            NetworkCollection::setParallelReadersForTests(readers);
            QFile::remove(lab.teachersFile());
            Rig rig;
            rig.collectNetwork(lab.prefix());
            reports << rig.label2->text();
            files << CollectionStore::openSource(lab.teachersFile()).allRows();
        }
        NetworkCollection::setParallelReadersForTests(0);
        QVERIFY(NetworkCollection::parallelReaders() >= 4);
        QCOMPARE(reports[1], reports[0]);
        QCOMPARE(files[1], files[0]);
        QCOMPARE(files[0].size(), 9 + 8 + 7 + 6 + 4 + 3 + 2 + 1);
    }

    // The export waits for its reader on its own thread, under the same limits.
    void readingNowHasTheSameLimits()
    {
        Lab lab;
        lab.addMachine(1, batchOf(QStringLiteral("110"), QStringLiteral("B1"), 2));
        const FakeReader reader({{2, QStringLiteral("hang")}, {3, QStringLiteral("crash")}});
        SourceRead::setTimeLimit(1000);
        const SourceResult fine = SourceRead::readNow(SourceRead::Format::ExportSource, lab.machineDatabase(1), {});
        const SourceResult hung = SourceRead::readNow(SourceRead::Format::ExportSource, lab.machineDatabase(2), {});
        const SourceResult crashed = SourceRead::readNow(SourceRead::Format::ExportSource, lab.machineDatabase(3), {});
        SourceRead::setTimeLimit(10'000);
        QCOMPARE(fine.rows, collectedFrom(batchOf(QStringLiteral("110"), QStringLiteral("B1"), 2)));
        QCOMPARE(hung.problem, lab.machineDatabase(2) + QStringLiteral("：1秒内没有读完（共享没有响应？），已放弃"));
        QVERIFY2(crashed.problem.contains(QStringLiteral("读取程序异常退出")), qPrintable(crashed.problem));
        QVERIFY(reader.hungReadersGone());
    }
};

QTEST_MAIN(TestCollectionDialog)
#include "test_collection_dialog.moc"
