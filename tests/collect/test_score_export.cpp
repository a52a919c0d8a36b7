// Export for the teacher's spreadsheet, read back the way a spreadsheet reads it: openpyxl for the
// workbook, Python's csv module for the CSV file. Figures are recomputed there from the marks.

#include "collect/export_dialog.h"
#include "collect/score_export.h"
#include "lab_fixture.h"
#include "platform/file_chooser.h"
#include "platform/message_box.h"

#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>

namespace {

// What read_export.py found in an output file.
QJsonObject readBack(const QString& path)
{
    QProcess python;
    // Debian's own interpreter, which has the python3-openpyxl the project installs.
    python.start(QStringLiteral("/usr/bin/python3"),
                 {qEnvironmentVariable("TYPELAB_SOURCE_DIR") + QStringLiteral("/tests/collect/read_export.py"), path});
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        qWarning() << python.readAllStandardError();
        return {};
    }
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

QStringList strings(const QJsonValue& value)
{
    QStringList result;
    for (const QJsonValue& item : value.toArray())
        result << (item.isArray() ? strings(item).join(u'|') : item.toVariant().toString());
    return result;
}

CollectionRow row(const QString& xh, const QString& name, int score, const QString& batch,
                  QTime time = QTime(9, 30, 15))
{
    return CollectionRow{xh,   name, QStringLiteral("英文"), score, 100 + score, 80 + score / 10, QDate(2026, 12, 7),
                         time, batch};
}

// Three batches, stored out of order; a name with a comma and a quote; a student twice in B1.
QList<CollectionRow> mixedRows()
{
    return {row("2026000003", "王五", 72, "B2"), row("2026000002", "李四, \"小李\"", 88, "B1"),
            row("2026000001", "张三", 55, "B1"), row("2026000002", "李四, \"小李\"", 91, "B1", QTime(10, 0)),
            row("2026000009", "赵六", -4, "B3"), row("2026000004", "钱七", 100, "B2"),
            row("2026000005", "孙八", 60, "B2")};
}

} // namespace

class TestScoreExport : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::prepareApplication(); }

    void workbookReadsBackSortedWithFiguresAndCharts()
    {
        Lab lab;
        Lab::makeCollectionFile(lab.teachersFile(), mixedRows());
        const QString output = lab.teacher() + QStringLiteral("/成绩.xlsx");
        const ScoreExport::Outcome outcome = ScoreExport::run(lab.teachersFile(), QString(), output);
        QVERIFY2(outcome.written, qPrintable(outcome.message));
        QCOMPARE(outcome.message, QStringLiteral("导出完毕，共导出 7条记录。\r\n") + output);

        const QJsonObject found = readBack(output);
        QCOMPARE(strings(found["sheets"]), (QStringList{"成绩", "统计"}));
        QCOMPARE(strings(found["header"]), CollectionStore::columnNames());
        QCOMPARE(strings(found["order"]),
                 (QStringList{"B1|2026000001", "B1|2026000002", "B1|2026000002", "B2|2026000003", "B2|2026000004",
                              "B2|2026000005", "B3|2026000009"}));
        // Numbers are numbers, the date a date and the time a time of day.
        QCOMPARE(strings(found["types"]),
                 (QStringList{"0:str", "1:str", "2:str", "3:int", "4:int", "5:int", "6:datetime", "7:time", "8:str"}));
        QCOMPARE(
            strings(found["first"]),
            (QStringList{"2026000001", "张三", "英文", "55", "155", "85", "2026-12-07T00:00:00", "09:30:15", "B1"}));
        QCOMPARE(found["frozen"].toString(), QStringLiteral("A2"));
        QCOMPARE(found["filter"].toString(), QStringLiteral("A1:I8"));
        QCOMPARE(strings(found["batches"]), (QStringList{"B1", "B2", "B3"}));
        QCOMPARE(found["figuresChecked"].toInt(), 3);
        QVERIFY2(found["mismatches"].toArray().isEmpty(),
                 QJsonDocument(found["mismatches"].toArray()).toJson().constData());
        QCOMPARE(found["charts"].toInt(), 3);
    }

    // UTF-8 with its byte-order mark, CR LF, a name with a comma and a quote quoted as RFC 4180
    // says; only the asked batch, whatever its case.
    void csvReadsBackWithOneBatch()
    {
        Lab lab;
        Lab::makeCollectionFile(lab.teachersFile(), mixedRows());
        const QString output = lab.teacher() + QStringLiteral("/b1.CSV");
        QVERIFY(ScoreExport::run(lab.teachersFile(), QStringLiteral("b1"), output).written);
        const QByteArray raw = Lab::contents(output);
        QVERIFY(raw.contains("\"李四, \"\"小李\"\"\""));

        const QJsonObject found = readBack(output);
        QVERIFY(found["bom"].toBool());
        QVERIFY(found["crlf"].toBool());
        QCOMPARE(strings(found["header"]), CollectionStore::columnNames());
        QCOMPARE(strings(found["rows"]),
                 (QStringList{"2026000001|张三|英文|55|155|85|2026-12-07|09:30:15|B1",
                              "2026000002|李四, \"小李\"|英文|88|188|88|2026-12-07|09:30:15|B1",
                              "2026000002|李四, \"小李\"|英文|91|191|89|2026-12-07|10:00:00|B1"}));
    }

    // A grade database is a source too, through the command line as well; failures exit non-zero.
    void gradeDatabaseThroughTheCommandLine()
    {
        Lab lab;
        lab.addMachine(1, {Lab::result("2026000001", "B1", 84.5), Lab::result("2026000002", QString())});
        const QString tool = qEnvironmentVariable("TYPELAB_APP_DIR") + QStringLiteral("/typelab-admin");
        const QString output = lab.teacher() + QStringLiteral("/grades.csv");
        QProcess run;
        run.start(tool,
                  {QStringLiteral("export"), lab.machineDatabase(1), output, QStringLiteral("--batch"),
                   QStringLiteral("B1")});
        QVERIFY(run.waitForFinished());
        QCOMPARE(run.exitCode(), 0);
        QVERIFY(QString::fromUtf8(run.readAllStandardOutput()).contains(output));
        const QJsonObject found = readBack(output);
        QCOMPARE(strings(found["rows"]), QStringList{"2026000001|张三|英文|84|120|95|2026-12-07|09:30:15|B1"});

        for (const QStringList& args : {QStringList{"export", lab.root() + "/none.mdb", output},
                                        QStringList{"export", lab.machineDatabase(1), lab.teacher() + "/grades.txt"},
                                        QStringList{"export", lab.machineDatabase(1), output, "--batch", "批次"}}) {
            run.start(tool, args);
            QVERIFY(run.waitForFinished());
            QVERIFY2(run.exitCode() != 0, qPrintable(args.join(u' ')));
            QVERIFY(!run.readAllStandardError().isEmpty());
        }
    }

    // A crafted source is refused before a row is read; a write that fails leaves no file,
    // neither a half one nor its temporary, and an earlier export stays as it was.
    void refusedSourceAndFailedWriteLeaveNothing()
    {
        Lab lab;
        Lab::makeCollectionFile(lab.teachersFile(), mixedRows());
        const QString crafted = lab.driveA() + QStringLiteral("/crafted.mdb");
        Lab::makeCollectionFile(crafted, mixedRows());
        Lab::tamper(crafted, Lab::craftedAs(CollectionStore::tableName, CollectionStore::columnNames())[1].statements,
                    false);
        const QString refusedOutput = lab.teacher() + QStringLiteral("/refused.xlsx");
        const ScoreExport::Outcome refused = ScoreExport::run(crafted, QString(), refusedOutput);
        QVERIFY(!refused.written);
        QVERIFY2(refused.message.contains(crafted) && refused.message.contains(QStringLiteral("数据库结构不符合要求")),
                 qPrintable(refused.message));
        QVERIFY(!QFileInfo::exists(refusedOutput));

        QList<CollectionRow> many;
        for (int i = 0; i < 3000; ++i)
            many << row(QStringLiteral("%1").arg(i, 10, 10, QChar(u'0')), QStringLiteral("学生"), i % 101,
                        QStringLiteral("B9"));
        for (const QString& name : {QStringLiteral("full.xlsx"), QStringLiteral("full.csv")}) {
            const QString output = lab.driveA() + u'/' + name;
            Lab::writeFile(output, "earlier export");
            const QStringList before = QDir(lab.driveA()).entryList(QDir::Files | QDir::Hidden);
            ScoreExport::Outcome outcome;
            {
                const FileSizeLimit full(4096); // smaller than any workbook
                outcome = ScoreExport::write(many, output);
            }
            QVERIFY(!outcome.written);
            QVERIFY2(outcome.message.startsWith(QStringLiteral("导出失败：") + output), qPrintable(outcome.message));
            QCOMPARE(Lab::contents(output), QByteArray("earlier export"));
            QCOMPARE(QDir(lab.driveA()).entryList(QDir::Files | QDir::Hidden), before);
        }
    }

    // The dialog behind " 导出成绩 ": a refused batch, then an export whose status line ends
    // with the count and the full path.
    void dialogExportsAndSaysWhere()
    {
        Lab lab;
        Lab::makeCollectionFile(lab.teachersFile(), mixedRows());
        MessageBoxes::setRecording(true);
        FileChooser::setScripted(true);
        ExportDialog dialog;
        dialog.show();
        auto* source = dialog.findChild<QComboBox*>(QStringLiteral("ComboBox1"));
        auto* batch = dialog.findChild<QLineEdit*>(QStringLiteral("Text1"));
        auto* status = dialog.findChild<QLabel*>(QStringLiteral("Label4"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("导出成绩"));
        QCOMPARE(source->currentText(), lab.teachersFile());

        QTest::keyClicks(batch, QStringLiteral("B12345678901"));
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
        const QList<MessageBoxes::Shown> shown = MessageBoxes::takeRecorded();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, QStringLiteral("批次不能为空、超出10位或有全角字符"));

        const QString output = lab.teacher() + QStringLiteral("/B2.xlsx");
        FileChooser::scriptAnswer(output);
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("Command3")), Qt::LeftButton);
        batch->setText(QStringLiteral(" B2 "));
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
        QCOMPARE(status->text(), QStringLiteral("导出完毕，共导出 3条记录。\r\n") + output);
        QCOMPARE(strings(readBack(output)["batches"]), QStringList{"B2"});
        MessageBoxes::setRecording(false);
        FileChooser::setScripted(false);
    }
};

QTEST_MAIN(TestScoreExport)
#include "test_score_export.moc"
