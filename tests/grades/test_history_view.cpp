// The history view: captions and layout, order, read-only cells, purged rows, unreadable
// databases and a long history read a page at a time.

#include "grades/history_model.h"
#include "grades/history_view.h"
#include "platform/message_box.h"
#include "platform/twips.h"
#include "shell/main_window.h"
#include "shell/program_state.h"
#include "support/test_support.h"

#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QHeaderView>
#include <QLocale>
#include <QScrollBar>
#include <QSet>
#include <QTableView>
#include <QtTest>

namespace {

GradeRow result(const QString& xh, const QDate& date, const QTime& time, const QString& batch = {})
{
    GradeRow row;
    row.xh = xh;
    row.xm = QStringLiteral("张三");
    row.lrxm = QStringLiteral("中文");
    row.lrcj = 80;
    row.lrsd = 60;
    row.lrzql = 95;
    row.lrdate = date;
    row.lrtime = time;
    row.lrpc = batch;
    return row;
}

QStringList column(const QAbstractItemModel* model, int col)
{
    QStringList values;
    for (int row = 0; row < model->rowCount(); ++row)
        values << model->index(row, col).data().toString();
    return values;
}

} // namespace

class TestHistoryView : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { TestSupport::prepareApplication(); }
    void init()
    {
        TestSupport::resetState();
        MessageBoxes::takeRecorded();
    }

    void emptyTableShowsCaptionsAndLayout();
    void ordersNewestFirst_data();
    void ordersNewestFirst();
    void showsValuesAsStored();
    void typingIntoCellChangesNothing();
    void purgedRowsDoNotAppear();
    void unreadableDatabaseIsReported_data();
    void unreadableDatabaseIsReported();
    void longHistoryIsReadPageByPage();
    void readingUpwardsFromTheBottom();
    void resultsWithoutDateComeLast();
    void failureWhileScrollingEmptiesTable();
    void menuOpensModalWindowWithItsOwnConnection();
};

void TestHistoryView::emptyTableShowsCaptionsAndLayout()
{
    TestSupport::AppFolder app;
    HistoryView view(app.path());
    QVERIFY(view.load());
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    QCOMPARE(view.objectName(), QStringLiteral("frmcx"));
    QCOMPARE(view.windowTitle(), QStringLiteral("成绩查询"));
    QCOMPARE(view.size(), QSize(Twips::toPixels(8880), Twips::toPixels(6690)));
    auto* title = view.findChild<QLabel*>(QStringLiteral("Label1"));
    QVERIFY(title);
    QCOMPARE(title->text(), QStringLiteral("历史记录"));
    QCOMPARE(title->pos(), QPoint(Twips::toPixels(3840), Twips::toPixels(120)));
    auto* frame = view.findChild<QGroupBox*>(QStringLiteral("Frame1"));
    QVERIFY(frame);
    QCOMPARE(frame->title(), QStringLiteral("查询结果"));
    QCOMPARE(frame->geometry(), Twips::rect(0, 480, 9015, 6015));

    auto* grid = view.findChild<QTableView*>(QStringLiteral("DataGrid1"));
    QVERIFY(grid);
    QCOMPARE(grid->parentWidget(), frame);
    QCOMPARE(grid->geometry(), Twips::rect(120, 240, 8775, 5655));
    QCOMPARE(grid->model()->rowCount(), 0);
    QCOMPARE(grid->model()->columnCount(), 9);

    const QStringList captions = {" 学    号 ", "  姓    名 ", " 项目 ", " 成绩 ", "速度/分",
                                  "准确率%", "  日  期  ", "  时  间  ", "  批次号  "};
    const QList<int> widths = {1000, 1200, 650, 650, 750, 750, 1100, 1100, 1100};
    QHeaderView* header = grid->horizontalHeader();
    for (int col = 0; col < 9; ++col) {
        QCOMPARE(grid->model()->headerData(col, Qt::Horizontal).toString(), captions[col]);
        QCOMPARE(header->sectionSize(col), Twips::toPixels(widths[col]));
        QCOMPARE(header->sectionResizeMode(col), QHeaderView::Fixed);
    }
    QVERIFY(!header->sectionsMovable());
    QCOMPARE(grid->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QVERIFY(grid->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff);
    QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(MessageBoxes::takeRecorded().isEmpty());
}

void TestHistoryView::ordersNewestFirst_data()
{
    QTest::addColumn<QList<GradeRow>>("stored");
    QTest::addColumn<QStringList>("expected");
    const QDate day(2026, 12, 1);
    QTest::newRow("same day, later time first")
        << QList<GradeRow>{result("a", day, QTime(9, 0, 0)), result("b", day, QTime(14, 30, 5)),
                           result("c", day, QTime(14, 30, 4))}
        << QStringList{"b", "c", "a"};
    QTest::newRow("earlier day follows whatever its time")
        << QList<GradeRow>{result("late-yesterday", day.addDays(-1), QTime(23, 59, 59)),
                           result("early-today", day, QTime(0, 0, 1)),
                           result("last-week", day.addDays(-7), QTime(12, 0, 0))}
        << QStringList{"early-today", "late-yesterday", "last-week"};
    QTest::newRow("across a month and a year")
        << QList<GradeRow>{result("dec", QDate(2025, 12, 31), QTime(8, 0)),
                           result("jan", QDate(2026, 1, 1), QTime(7, 0)),
                           result("nov", QDate(2025, 11, 30), QTime(9, 0))}
        << QStringList{"jan", "dec", "nov"};
}

void TestHistoryView::ordersNewestFirst()
{
    QFETCH(QList<GradeRow>, stored);
    QFETCH(QStringList, expected);
    TestSupport::AppFolder app;
    {
        GradeStore store = app.store();
        for (const GradeRow& row : stored)
            store.addResult(row);
    }
    HistoryView view(app.path());
    QVERIFY(view.load());
    view.show();
    QCOMPARE(column(view.grid()->model(), 0), expected);
}

void TestHistoryView::showsValuesAsStored()
{
    TestSupport::AppFolder app;
    GradeRow test = result("2024010101", QDate(2026, 12, 7), QTime(10, 5, 9), "B1");
    test.xm = QStringLiteral("欧阳小明");
    test.lrxm = QStringLiteral("英文");
    test.lrcj = 72.5;    // halves go to the even neighbour
    test.lrsd = 131.6;
    test.lrzql = 99.5;
    GradeRow practice = result("P7", QDate(2026, 12, 6), QTime(16, 0, 0));
    {
        GradeStore store = app.store();
        store.addResult(test);
        store.addResult(practice);
    }
    HistoryView view(app.path());
    QVERIFY(view.load());
    const QAbstractItemModel* model = view.grid()->model();
    QCOMPARE(model->rowCount(), 2);
    const QLocale locale = QLocale::system();
    const QStringList first = {"2024010101", "欧阳小明", "英文", "72", "132", "100",
                               locale.toString(QDate(2026, 12, 7), QLocale::ShortFormat),
                               locale.toString(QTime(10, 5, 9), QLocale::ShortFormat), "B1"};
    for (int col = 0; col < 9; ++col)
        QCOMPARE(model->index(0, col).data().toString(), first[col]);
    QCOMPARE(model->index(1, 8).data().toString(), QString());
    QCOMPARE(model->index(1, 2).data().toString(), QStringLiteral("中文"));

    for (int col = 0; col < 9; ++col) {
        const auto alignment = model->index(0, col).data(Qt::TextAlignmentRole).value<Qt::Alignment>();
        const bool centred = col >= 3 && col <= 5;
        QCOMPARE(bool(alignment & Qt::AlignHCenter), centred);
    }
}

void TestHistoryView::typingIntoCellChangesNothing()
{
    TestSupport::AppFolder app;
    app.store().addResult(result("S1", QDate(2026, 12, 7), QTime(10, 0, 0), "B1"));
    HistoryView view(app.path());
    QVERIFY(view.load());
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QTableView* grid = view.grid();
    const QModelIndex cell = grid->model()->index(0, 3);
    const QString before = cell.data().toString();
    QVERIFY(!(grid->model()->flags(cell) & Qt::ItemIsEditable));

    grid->setFocus();
    grid->setCurrentIndex(cell);
    const QPoint centre = grid->visualRect(cell).center();
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, centre);
    QTest::keyClick(grid, Qt::Key_F2);
    QTest::keyClicks(grid, "99");
    QTest::sendKeyEvent(QTest::Click, grid, Qt::Key_unknown, QStringLiteral("中"), Qt::NoModifier);
    QTest::keyClick(grid, Qt::Key_Return);
    QTest::keyClick(grid, Qt::Key_Delete);

    QVERIFY(!grid->findChild<QLineEdit*>());
    QCOMPARE(grid->model()->setData(cell, QStringLiteral("99")), false);
    QCOMPARE(cell.data().toString(), before);
    const QList<GradeRow> stored = app.store().resultsNewestFirst(0, 10);
    QCOMPARE(stored.size(), 1);
    QCOMPARE(stored.first().lrcj, 80.0);
}

void TestHistoryView::purgedRowsDoNotAppear()
{
    TestSupport::AppFolder app;
    const QDate today(2026, 12, 8);
    {
        GradeStore store = app.store();
        store.addResult(result("15days", today.addDays(-15), QTime(12, 0)));
        store.addResult(result("40days", today.addDays(-40), QTime(12, 0)));
        store.addResult(result("14days", today.addDays(-14), QTime(12, 0)));
        store.addResult(result("today", today, QTime(8, 0)));
        store.purgeOld(today);
    }
    HistoryView view(app.path());
    QVERIFY(view.load());
    QCOMPARE(column(view.grid()->model(), 0), (QStringList{"today", "14days"}));
}

void TestHistoryView::unreadableDatabaseIsReported_data()
{
    QTest::addColumn<QByteArray>("replacement");   // bytes written over stugrade.mdb
    QTest::addColumn<bool>("remove");
    QTest::newRow("missing file") << QByteArray() << true;
    QTest::newRow("not a database") << QByteArray(4096, 'x') << false;
    QTest::newRow("empty file") << QByteArray() << false;
}

void TestHistoryView::unreadableDatabaseIsReported()
{
    QFETCH(QByteArray, replacement);
    QFETCH(bool, remove);
    TestSupport::AppFolder app;
    QFile::remove(app.gradeDatabase());
    if (!remove)
        app.writeFile(QStringLiteral("data/stugrade.mdb"), replacement);

    HistoryView view(app.path());
    QVERIFY(!view.load());
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    const QList<MessageBoxes::Shown> shown = MessageBoxes::takeRecorded();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().title, QStringLiteral("成绩查询"));
    QVERIFY2(shown.first().text.contains(QStringLiteral("stugrade.mdb")), qPrintable(shown.first().text));
    QVERIFY(shown.first().text.contains(QStringLiteral("无法读取")));
    QCOMPARE(view.grid()->model()->rowCount(), 0);
    QCOMPARE(view.grid()->model()->columnCount(), 9);
    QVERIFY(!view.model()->isOpen());
}

void TestHistoryView::longHistoryIsReadPageByPage()
{
    TestSupport::AppFolder app;
    const int total = 5 * HistoryModel::kPageSize + 17;
    const QDate first(2026, 11, 25);
    {
        GradeStore store = app.store();
        Transaction transaction(store.database());
        for (int i = 0; i < total; ++i)   // i grows with time: the last one is the newest
            store.addResult(result(QString::number(i), first.addDays(i / 300), QTime(6, 0).addSecs(i % 300 * 60)));
        transaction.commit();
    }
    HistoryView view(app.path());
    QVERIFY(view.load());
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QTableView* grid = view.grid();
    QCOMPARE(grid->model()->rowCount(), total);
    QCOMPARE(view.model()->pagesRead(), 1);
    QCOMPARE(grid->model()->index(0, 0).data().toString(), QString::number(total - 1));

    grid->scrollToBottom();
    QCoreApplication::processEvents();
    QCOMPARE(grid->model()->index(total - 1, 0).data().toString(), QStringLiteral("0"));
    QVERIFY(view.model()->pagesRead() <= 3);
    // Every row once, in order, across the page boundaries; the pages after the first are
    // read on from the page before.
    for (int row = 0; row < total; ++row)
        QCOMPARE(grid->model()->index(row, 0).data().toString(), QString::number(total - 1 - row));
    QCOMPARE(view.model()->pagesRead(), 6);
    QVERIFY(view.model()->pagesReadByKey() >= 4);
}

void TestHistoryView::readingUpwardsFromTheBottom()
{
    // Many results share a date and a time: the order among them must hold across pages too.
    TestSupport::AppFolder app;
    const int total = 3 * HistoryModel::kPageSize + 5;
    {
        GradeStore store = app.store();
        Transaction transaction(store.database());
        for (int i = 0; i < total; ++i)
            store.addResult(result(QString::number(i), QDate(2026, 12, 1), QTime(9, 0).addSecs(i / 250)));
        transaction.commit();
    }
    const QList<GradeRow> expected = app.store().resultsNewestFirst(0, total);
    HistoryView view(app.path());
    QVERIFY(view.load());
    view.show();
    view.grid()->scrollToBottom();
    QCoreApplication::processEvents();
    const QAbstractItemModel* model = view.grid()->model();
    QSet<QString> seen;
    for (int row = total - 1; row >= 0; --row) {
        const QString xh = model->index(row, 0).data().toString();
        QCOMPARE(xh, expected[row].xh);
        seen.insert(xh);
    }
    QCOMPARE(seen.size(), total);
    QVERIFY(view.model()->pagesReadByKey() >= 2);
}

void TestHistoryView::resultsWithoutDateComeLast()
{
    // Rows written by another tool may lack a date or a time; they are listed after all others.
    TestSupport::AppFolder app;
    const int dated = HistoryModel::kPageSize + 10;
    {
        GradeStore store = app.store();
        Transaction transaction(store.database());
        for (int i = 0; i < dated; ++i)
            store.addResult(result(QString::number(i), QDate(2026, 12, 1), QTime(8, 0).addSecs(i)));
        Statement insert = store.database().prepare(
            QStringLiteral("INSERT INTO stdgrade (xh, lrdate, lrtime) VALUES (?1, ?2, NULL)"));
        insert.bind(1, "no-time").bind(2, "2026-12-02").exec();
        insert.reset();
        insert.bind(1, "no-date").bindNull(2).exec();
        transaction.commit();
    }
    HistoryView view(app.path());
    QVERIFY(view.load());
    const QStringList shown = column(view.grid()->model(), 0);
    QCOMPARE(shown.size(), dated + 2);
    QCOMPARE(shown.first(), QStringLiteral("no-time"));   // its date is the newest
    QCOMPARE(shown.at(1), QString::number(dated - 1));
    QCOMPARE(shown.last(), QStringLiteral("no-date"));
    QCOMPARE(view.grid()->model()->index(dated + 1, 6).data().toString(), QString());
}

void TestHistoryView::failureWhileScrollingEmptiesTable()
{
    TestSupport::AppFolder app;
    const int total = 3 * HistoryModel::kPageSize;
    {
        GradeStore store = app.store();
        Transaction transaction(store.database());
        for (int i = 0; i < total; ++i)
            store.addResult(result(QString::number(i), QDate(2026, 12, 1), QTime(0, 0).addSecs(i)));
        transaction.commit();
    }
    HistoryView view(app.path());
    QVERIFY(view.load());
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QVERIFY(!view.grid()->model()->index(0, 0).data().toString().isEmpty());

    // The file is overwritten behind the open connection, then the user scrolls down.
    QFile file(app.gradeDatabase());
    QVERIFY(file.open(QIODevice::ReadWrite));
    file.write(QByteArray(int(file.size()), '\0'));
    file.close();
    view.grid()->scrollToBottom();
    QTRY_COMPARE(view.grid()->model()->rowCount(), 0);
    const QList<MessageBoxes::Shown> shown = MessageBoxes::takeRecorded();
    QCOMPARE(shown.size(), 1);
    QVERIFY(shown.first().text.contains(QStringLiteral("stugrade.mdb")));
}

void TestHistoryView::menuOpensModalWindowWithItsOwnConnection()
{
    TestSupport::AppFolder app;
    app.store().addResult(result("S1", QDate(2026, 12, 7), QTime(10, 0, 0)));
    programState().appFolder = app.path();
    MainWindow mainWindow;
    QString openedName;
    bool modal = false;
    int rows = -1;
    bool connected = false;
    QTimer::singleShot(0, [&] {
        auto* view = qobject_cast<HistoryView*>(QApplication::activeModalWidget());
        QVERIFY(view);
        openedName = view->objectName();
        modal = view->isModal();
        rows = view->grid()->model()->rowCount();
        connected = view->model()->isOpen();
        view->reject();
    });
    mainWindow.menuItem("cycj")->trigger();   // returns when the window is closed
    QCOMPARE(openedName, QStringLiteral("frmcx"));
    QVERIFY(modal);
    QCOMPARE(rows, 1);
    QVERIFY(connected);
    // The window and its connection are gone once it is closed.
    QVERIFY(!mainWindow.findChild<HistoryView*>());
    QVERIFY(!mainWindow.findChild<HistoryModel*>());
}

QTEST_MAIN(TestHistoryView)
#include "test_history_view.moc"
