// Shows the collection, the merge or the export dialog after a run over a small laboratory, for
// a screenshot on a real X server: screenshot_dialogs collect|collect-running|merge|export
// [seconds]. collect-running stays in the middle of a network run, machine 3 never answering.
// The export leaves its workbook in the working folder as 击录测试成绩.xlsx.

#include "collect/collection_dialog.h"
#include "store/store_client.h"
#include "collect/export_dialog.h"
#include "collect/merge_dialog.h"
#include "collect/source_read.h"
#include "fake_reader.h"
#include "lab_fixture.h"
#include "platform/fonts.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    Fonts::registerSubstitutions();
    SourceRead::setReaderProgram(QStringLiteral(TYPELAB_BUILD_APP_DIR "/typelab-reader"));
    const QString which = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("collect");
    const int seconds = argc > 2 ? atoi(argv[2]) : 20;

    const QString workingFolder = QDir::currentPath(); // before the lab makes its own current
    Lab lab;
    TestSupport::AppFolder local;
    StoreClient::setServiceProgram(QStringLiteral(TYPELAB_BUILD_APP_DIR "/typelab-store"));
    StoreClient localStore(local.path());
    {
        GradeStore store = local.store();
        for (int i = 0; i < 5; ++i)
            store.addResult(Lab::result(QStringLiteral("20260000%1").arg(i, 2, 10, QChar(u'0')), QStringLiteral("B1")));
    }
    for (int machine = 1; machine <= 3; ++machine) {
        QList<GradeRow> rows;
        for (int i = 0; i < 4 * machine; ++i)
            rows << Lab::result(QStringLiteral("2026%1%2").arg(machine).arg(i, 5, 10, QChar(u'0')),
                                QStringLiteral("B1"));
        lab.addMachine(machine, rows);
    }

    std::unique_ptr<QDialog> dialog;
    if (which == QLatin1String("export")) {
        const char* const names[] = {"张三", "李四", "王五", "赵六", "钱七", "孙八", "周九", "吴十"};
        QList<CollectionRow> rows;
        for (int i = 0; i < 24; ++i)
            rows << CollectionRow{QStringLiteral("2026%1").arg(i, 6, 10, QChar(u'0')),
                                  QString::fromUtf8(names[i % 8]),
                                  i % 3 ? QStringLiteral("英文") : QStringLiteral("中文"),
                                  35 + (i * 37) % 66,
                                  60 + i * 7,
                                  70 + (i * 13) % 31,
                                  QDate(2026, 12, 7),
                                  QTime(9, i, 15),
                                  QStringLiteral("B%1").arg(1 + i % 3)};
        Lab::makeCollectionFile(lab.teachersFile(), rows);
        auto* exporter = new ExportDialog;
        dialog.reset(exporter);
        exporter->show();
        exporter->findChild<QLineEdit*>(QStringLiteral("Text2"))
            ->setText(workingFolder + QStringLiteral("/击录测试成绩.xlsx"));
        exporter->runExport();
    } else if (which == QLatin1String("merge")) {
        QList<CollectionRow> rows;
        for (int i = 0; i < 8; ++i)
            rows << Lab::collected(QStringLiteral("20261%1").arg(i, 4, 10, QChar(u'0')), QStringLiteral("B1"));
        Lab::makeCollectionFile(lab.diskette(), rows);
        auto* merge = new MergeDialog;
        dialog.reset(merge);
        merge->show();
        auto* text1 = merge->findChild<QLineEdit*>(QStringLiteral("Text1"));
        QTest::keyClicks(text1, QStringLiteral("B1"));
        for (int run = 0; run < 5; ++run)
            merge->runMerge();
    } else if (which == QLatin1String("collect-running")) {
        static const FakeReader reader({{3, QStringLiteral("hang")}});
        lab.addMachine(4, {Lab::result(QStringLiteral("2026400001"), QStringLiteral("B1"))});
        auto* collect = new CollectionDialog(localStore);
        dialog.reset(collect);
        collect->show();
        QTest::mouseClick(collect->findChild<QRadioButton*>(QStringLiteral("Option1_1")), Qt::LeftButton);
        QTest::keyClicks(collect->findChild<QLineEdit*>(QStringLiteral("Text1")), lab.prefix());
        QTest::keyClicks(collect->findChild<QLineEdit*>(QStringLiteral("Text2")), QStringLiteral("B1"));
        collect->runCollection();
    } else {
        auto* collect = new CollectionDialog(localStore);
        dialog.reset(collect);
        collect->show();
        auto* text2 = collect->findChild<QLineEdit*>(QStringLiteral("Text2"));
        QTest::keyClicks(text2, QStringLiteral("B1"));
        collect->runCollection();
        collect->runCollection();
        QTest::mouseClick(collect->findChild<QRadioButton*>(QStringLiteral("Option1_1")), Qt::LeftButton);
        QTest::keyClicks(collect->findChild<QLineEdit*>(QStringLiteral("Text1")), lab.prefix());
        collect->runCollection();
        text2->setFocus();
    }
    dialog->move(20, 20);
    printf("ready %d %d\n", dialog->frameGeometry().width(), dialog->frameGeometry().height());
    fflush(stdout);
    QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    return app.exec();
}
