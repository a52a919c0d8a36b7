// The maintenance menu opens each window modally, made afresh at every opening; the file
// chooser's filter lists are read the way the tools write them.
#include "grades/grade_store.h"
#include "maintenance_test_helpers.h"
#include "platform/file_chooser.h"
#include "shell/main_window.h"
#include "support/test_support.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

using namespace MaintenanceTest;

class MaintenanceMenuTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::prepareApplication(); }
    void init() { TestSupport::resetState(); }

    void menuItemsOpenModalWindowsAfresh_data();
    void menuItemsOpenModalWindowsAfresh();
    void chooserFilters_data();
    void chooserFilters();
};

void MaintenanceMenuTest::menuItemsOpenModalWindowsAfresh_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("window");
    QTest::newRow("second login password") << "xgecdlmm"
                                           << "frmxgecdlmm";
    QTest::newRow("user password") << "xgdlmm"
                                   << "frmxgyhmm";
    QTest::newRow("clear history") << "qclsjl"
                                   << "frmqclsjl";
    QTest::newRow("show file") << "xslrwj"
                               << "frmxslrwj";
    QTest::newRow("replace file") << "ghlrwj"
                                  << "frmghlrwj";
}

void MaintenanceMenuTest::menuItemsOpenModalWindowsAfresh()
{
    QFETCH(QString, item);
    QFETCH(QString, window);
    TestSupport::AppFolder app;
    MainWindow mainWindow(app.path());
    mainWindow.setmenus(LoginMode::System);

    QList<QDialog*> opened;
    auto inspectAndClose = [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        QCOMPARE(dialog->objectName(), window);
        opened << dialog;
        // Something typed in this opening must not be there at the next one.
        if (auto* box = dialog->findChild<QLineEdit*>(QStringLiteral("Text2")); box && !box->isReadOnly())
            box->setText(QStringLiteral("typed"));
        dialog->reject();
    };
    auto inspectFresh = [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        QCOMPARE(dialog->objectName(), window);
        if (auto* box = dialog->findChild<QLineEdit*>(QStringLiteral("Text2")); box && !box->isReadOnly())
            QVERIFY(box->text().isEmpty());
        opened << dialog;
        dialog->reject();
    };
    QTimer::singleShot(0, inspectAndClose);
    mainWindow.menuItem(item.toLatin1().constData())->trigger();
    QTimer::singleShot(0, inspectFresh);
    mainWindow.menuItem(item.toLatin1().constData())->trigger();
    QCOMPARE(opened.size(), 2);
    QVERIFY(QApplication::activeModalWidget() == nullptr);
}

void MaintenanceMenuTest::chooserFilters_data()
{
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("qt");
    QTest::newRow("exercise files") << "录入文件|*.dat"
                                    << "录入文件 (*.dat)";
    QTest::newRow("text or any") << "文本文件|*.txt|所有文件|*.*"
                                 << "文本文件 (*.txt);;所有文件 (*)";
    QTest::newRow("several patterns") << "数据|*.dat;*.mdb"
                                      << "数据 (*.dat *.mdb)";
}

void MaintenanceMenuTest::chooserFilters()
{
    QFETCH(QString, written);
    QFETCH(QString, qt);
    QCOMPARE(FileChooser::toQtFilter(written), qt);
}

QTEST_MAIN(MaintenanceMenuTest)
#include "test_maintenance_menu.moc"
