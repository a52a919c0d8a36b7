// The history view: captions and layout, order, read-only cells, purged rows, unreadable
// databases and a long history read a page at a time.

#include "grades/history_model.h"
#include "grades/history_view.h"
#include "platform/message_box.h"
#include "platform/twips.h"
#include "shell/main_window.h"
#include "store/store_client.h"
#include "store/store_history.h"
#include "support/test_support.h"

#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSet>
#include <QTableView>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

GradeRow result(const QString& xh, const QDate& date, const QTime& time, const QString& batch = {})
{
    return GradeRow{xh, QStringLiteral("张三"), QStringLiteral("中文"), 80, 60, 95, date, time, batch};
}

} // namespace

class TestHistoryView : public QObject {
    Q_OBJECT

    std::unique_ptr<TestSupport::AppFolder> app_;
    std::unique_ptr<StoreClient> client_;
    std::unique_ptr<HistoryView> view_;

    void store(const QList<GradeRow>& rows)
    {
        GradeStore store = app_->store();
        Transaction transaction(GradeStoreInspector::database(store));
        for (const GradeRow& row : rows)
            store.addResult(row);
        transaction.commit();
    }
    // count results made by make(i), in one transaction.
    void fill(int count, const std::function<GradeRow(int)>& make)
    {
        QList<GradeRow> rows;
        for (int i = 0; i < count; ++i)
            rows << make(i);
        store(rows);
    }
    // A fresh view on the Application folder, loaded and shown; the result of its load.
    bool open()
    {
        if (!client_)
            client_ = std::make_unique<StoreClient>(app_->path());
        view_ = std::make_unique<HistoryView>(std::make_unique<StoreHistory>(*client_));
        const bool loaded = view_->load();
        view_->show();
        if (!QTest::qWaitForWindowExposed(view_.get()))
            qWarning("history view not exposed");
        return loaded;
    }
    QAbstractItemModel* model() const { return view_->grid()->model(); }
    QString cell(int row, int col) const { return model()->index(row, col).data().toString(); }
    QLineEdit* box(int index) const { return view_->findChild<QLineEdit*>(QStringLiteral("Text1_%1").arg(index)); }
    QComboBox* kindBox() const { return view_->findChild<QComboBox*>(QStringLiteral("Combo1")); }
    void query() { QTest::mouseClick(view_->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton); }
    QStringList numbers() const
    {
        QStringList values;
        for (int row = 0; row < model()->rowCount(); ++row)
            values << cell(row, 0);
        return values;
    }

private slots:
    void initTestCase() { TestSupport::prepareApplication(); }
    void init()
    {
        TestSupport::resetState();
        MessageBoxes::takeRecorded();
        app_ = std::make_unique<TestSupport::AppFolder>();
    }
    void cleanup()
    {
        view_.reset();
        client_.reset();
        app_.reset();
    }

    void emptyTableShowsCaptionsAndLayout()
    {
        QVERIFY(open());
        QCOMPARE(view_->objectName(), QStringLiteral("frmcx"));
        QCOMPARE(view_->windowTitle(), QStringLiteral("成绩查询"));
        // The filter boxes stand between the title and the results: the window is 1200 twips taller.
        QCOMPARE(view_->size(), QSize(Twips::toPixels(8880), Twips::toPixels(6690 + 1200 + 480)));
        auto* title = view_->findChild<QLabel*>(QStringLiteral("Label1"));
        QCOMPARE(title->text(), QStringLiteral("历史记录"));
        QCOMPARE(title->pos(), QPoint(Twips::toPixels(3840), Twips::toPixels(120)));
        auto* frame = view_->findChild<QGroupBox*>(QStringLiteral("Frame1"));
        QCOMPARE(frame->title(), QStringLiteral("查询结果"));
        QCOMPARE(frame->geometry(), Twips::rect(0, 480 + 1200, 9015, 6015));

        QTableView* grid = view_->findChild<QTableView*>(QStringLiteral("DataGrid1"));
        QCOMPARE(grid->parentWidget(), frame);
        QCOMPARE(grid->geometry(), Twips::rect(120, 240, 8775, 5655));
        QCOMPARE(model()->rowCount(), 0);
        QCOMPARE(model()->columnCount(), 9);
        const QStringList captions = {" 学    号 ", "  姓    名 ", " 项目 ",     " 成绩 ",    "速度/分",
                                      "准确率%",    "  日  期  ",  "  时  间  ", "  批次号  "};
        const QList<int> widths = {1000, 1200, 650, 650, 750, 750, 1100, 1100, 1100};
        QHeaderView* header = grid->horizontalHeader();
        for (int col = 0; col < 9; ++col) {
            QCOMPARE(model()->headerData(col, Qt::Horizontal).toString(), captions[col]);
            QCOMPARE(header->sectionSize(col), Twips::toPixels(widths[col]));
            QCOMPARE(header->sectionResizeMode(col), QHeaderView::Fixed);
        }
        QVERIFY(!header->sectionsMovable());
        QCOMPARE(grid->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QVERIFY(grid->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff);
        QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
        QVERIFY(MessageBoxes::takeRecorded().isEmpty());
    }

    void ordersNewestFirst_data()
    {
        QTest::addColumn<QList<GradeRow>>("stored");
        QTest::addColumn<QDate>("purgedOn"); // valid: old rows are purged on that day first
        QTest::addColumn<QStringList>("expected");
        const QDate day(2026, 12, 1);
        QTest::newRow("same day, later time first")
            << QList<GradeRow>{result("a", day, QTime(9, 0, 0)), result("b", day, QTime(14, 30, 5)),
                               result("c", day, QTime(14, 30, 4))}
            << QDate() << QStringList{"b", "c", "a"};
        QTest::newRow("earlier day follows whatever its time")
            << QList<GradeRow>{result("late-yesterday", day.addDays(-1), QTime(23, 59, 59)),
                               result("early-today", day, QTime(0, 0, 1)),
                               result("last-week", day.addDays(-7), QTime(12, 0, 0))}
            << QDate() << QStringList{"early-today", "late-yesterday", "last-week"};
        QTest::newRow("across a month and a year") << QList<GradeRow>{result("dec", QDate(2025, 12, 31), QTime(8, 0)),
                                                                      result("jan", QDate(2026, 1, 1), QTime(7, 0)),
                                                                      result("nov", QDate(2025, 11, 30), QTime(9, 0))}
                                                   << QDate() << QStringList{"jan", "dec", "nov"};
        QTest::newRow("purged rows do not appear")
            << QList<GradeRow>{result("15days", day.addDays(-15), QTime(12, 0)),
                               result("40days", day.addDays(-40), QTime(12, 0)),
                               result("14days", day.addDays(-14), QTime(12, 0)), result("today", day, QTime(8, 0))}
            << day << QStringList{"today", "14days"};
    }
    void ordersNewestFirst()
    {
        QFETCH(QList<GradeRow>, stored);
        QFETCH(QDate, purgedOn);
        store(stored);
        if (purgedOn.isValid())
            app_->store().purgeOld(purgedOn);
        QVERIFY(open());
        QTEST(numbers(), "expected");
    }

    void showsValuesAsStored()
    {
        GradeRow test{"2024010101",       "欧阳小明",      "英文", 72.5, 131.6, 99.5, // halves go to the even neighbour
                      QDate(2026, 12, 7), QTime(10, 5, 9), "B1"};
        store({test, result("P7", QDate(2026, 12, 6), QTime(16, 0, 0))});
        QVERIFY(open());
        QCOMPARE(model()->rowCount(), 2);
        // The Chinese short formats, whatever the system locale (the tests run under C.UTF-8).
        const QStringList first = {"2024010101", "欧阳小明", "英文", "72", "132", "100", "2026/12/7", "10:05", "B1"};
        for (int col = 0; col < 9; ++col) {
            QCOMPARE(cell(0, col), first[col]);
            const auto alignment = model()->index(0, col).data(Qt::TextAlignmentRole).value<Qt::Alignment>();
            QCOMPARE(bool(alignment & Qt::AlignHCenter), col >= 3 && col <= 5);
        }
        QCOMPARE(cell(1, 8), QString());
        QCOMPARE(cell(1, 2), QStringLiteral("中文"));
    }

    void typingIntoCellChangesNothing()
    {
        store({result("S1", QDate(2026, 12, 7), QTime(10, 0, 0), "B1")});
        QVERIFY(open());
        QTableView* grid = view_->grid();
        const QModelIndex index = model()->index(0, 3);
        const QString before = index.data().toString();
        QVERIFY(!(model()->flags(index) & Qt::ItemIsEditable));

        grid->setFocus();
        grid->setCurrentIndex(index);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(index).center());
        QTest::keyClick(grid, Qt::Key_F2);
        QTest::keyClicks(grid, "99");
        QTest::sendKeyEvent(QTest::Click, grid, Qt::Key_unknown, QStringLiteral("中"), Qt::NoModifier);
        QTest::keyClick(grid, Qt::Key_Return);
        QTest::keyClick(grid, Qt::Key_Delete);

        QVERIFY(!grid->findChild<QLineEdit*>());
        QVERIFY(!model()->setData(index, QStringLiteral("99")));
        QCOMPARE(index.data().toString(), before);
        const QList<GradeRow> stored = app_->store().resultsNewestFirst(0, 10);
        QCOMPARE(stored.size(), 1);
        QCOMPARE(stored.first().lrcj, 80.0);
    }

    void unreadableDatabaseIsReported_data()
    {
        QTest::addColumn<QByteArray>("replacement"); // bytes written over stugrade.mdb
        QTest::addColumn<bool>("remove");
        QTest::newRow("missing file") << QByteArray() << true;
        QTest::newRow("not a database") << QByteArray(4096, 'x') << false;
        QTest::newRow("empty file") << QByteArray() << false;
    }
    void unreadableDatabaseIsReported()
    {
        QFETCH(QByteArray, replacement);
        QFETCH(bool, remove);
        QFile::remove(app_->gradeDatabase());
        if (!remove)
            app_->writeFile(QStringLiteral("data/stugrade.mdb"), replacement);
        QVERIFY(!open());
        const QList<MessageBoxes::Shown> shown = MessageBoxes::takeRecorded();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().title, QStringLiteral("成绩查询"));
        QVERIFY2(shown.first().text.contains(QStringLiteral("stugrade.mdb")), qPrintable(shown.first().text));
        QVERIFY(shown.first().text.contains(QStringLiteral("无法读取")));
        QCOMPARE(model()->rowCount(), 0);
        QCOMPARE(model()->columnCount(), 9);
        QVERIFY(!view_->model()->isOpen());
    }

    void longHistoryIsReadPageByPage()
    {
        const int total = 5 * HistoryModel::kPageSize + 17;
        // i grows with time: the last one is the newest.
        fill(total, [](int i) {
            return result(QString::number(i), QDate(2026, 11, 25).addDays(i / 300), QTime(6, 0).addSecs(i % 300 * 60));
        });
        QVERIFY(open());
        QCOMPARE(model()->rowCount(), total);
        QCOMPARE(view_->model()->pagesRead(), 1);
        QCOMPARE(cell(0, 0), QString::number(total - 1));

        view_->grid()->scrollToBottom();
        QCoreApplication::processEvents();
        QCOMPARE(cell(total - 1, 0), QStringLiteral("0"));
        QVERIFY(view_->model()->pagesRead() <= 3);
        // Every row once, in order, across the page boundaries; the pages after the first are
        // read on from the page before.
        for (int row = 0; row < total; ++row)
            QCOMPARE(cell(row, 0), QString::number(total - 1 - row));
        QCOMPARE(view_->model()->pagesRead(), 6);
        QVERIFY(view_->model()->pagesReadByKey() >= 4);
    }

    void readingUpwardsFromTheBottom()
    {
        // Many results share a date and a time: the order among them must hold across pages too.
        const int total = 3 * HistoryModel::kPageSize + 5;
        fill(total, [](int i) { return result(QString::number(i), QDate(2026, 12, 1), QTime(9, 0).addSecs(i / 250)); });
        const QList<GradeRow> expected = app_->store().resultsNewestFirst(0, total);
        QVERIFY(open());
        view_->grid()->scrollToBottom();
        QCoreApplication::processEvents();
        QSet<QString> seen;
        for (int row = total - 1; row >= 0; --row) {
            QCOMPARE(cell(row, 0), expected[row].xh);
            seen.insert(cell(row, 0));
        }
        QCOMPARE(seen.size(), total);
        QVERIFY(view_->model()->pagesReadByKey() >= 2);
    }

    void resultsWithoutDateComeLast()
    {
        // Rows written by another tool may lack a date or a time; they are listed after all others.
        const int dated = HistoryModel::kPageSize + 10;
        fill(dated, [](int i) { return result(QString::number(i), QDate(2026, 12, 1), QTime(8, 0).addSecs(i)); });
        {
            GradeStore store = app_->store();
            Statement insert = GradeStoreInspector::database(store).prepare(
                QStringLiteral("INSERT INTO stdgrade (xh, lrdate, lrtime) VALUES (?1, ?2, NULL)"));
            insert.bind(1, "no-time").bind(2, "2026-12-02").exec();
            insert.reset();
            insert.bind(1, "no-date").bindNull(2).exec();
        }
        QVERIFY(open());
        const QStringList shown = numbers();
        QCOMPARE(shown.size(), dated + 2);
        QCOMPARE(shown.first(), QStringLiteral("no-time")); // its date is the newest
        QCOMPARE(shown.at(1), QString::number(dated - 1));
        QCOMPARE(shown.last(), QStringLiteral("no-date"));
        QCOMPARE(cell(dated + 1, 6), QString());
    }

    void failureWhileScrollingEmptiesTable()
    {
        fill(3 * HistoryModel::kPageSize,
             [](int i) { return result(QString::number(i), QDate(2026, 12, 1), QTime(0, 0).addSecs(i)); });
        QVERIFY(open());
        QVERIFY(!cell(0, 0).isEmpty());
        // The file is overwritten behind the open connection, then the user scrolls down.
        QFile file(app_->gradeDatabase());
        QVERIFY(file.open(QIODevice::ReadWrite));
        file.write(QByteArray(int(file.size()), '\0'));
        file.close();
        view_->grid()->scrollToBottom();
        QTRY_COMPARE(model()->rowCount(), 0);
        const QList<MessageBoxes::Shown> shown = MessageBoxes::takeRecorded();
        QCOMPARE(shown.size(), 1);
        QVERIFY(shown.first().text.contains(QStringLiteral("stugrade.mdb")));
    }

    void filterBoxesNarrowTheRows()
    {
        store({result("S1", QDate(2026, 12, 1), QTime(9, 0), "B1"), result("S2", QDate(2026, 12, 2), QTime(9, 0), "B1"),
               GradeRow{"S1", "张三", "英文", 70, 90, 96, QDate(2026, 12, 3), QTime(9, 0), ""},
               result("S3", QDate(2026, 12, 4), QTime(9, 0))});
        QVERIFY(open());
        QCOMPARE(view_->findChild<QGroupBox*>(QStringLiteral("Frame2"))->title(), QStringLiteral("查询条件"));
        QCOMPARE(kindBox()->count(), 3);
        QCOMPARE(numbers(), (QStringList{"S3", "S1", "S2", "S1"}));

        QTest::keyClicks(box(0), "s1"); // as look-ups compare: "s1" finds "S1"
        query();
        QCOMPARE(numbers(), (QStringList{"S1", "S1"}));
        QCOMPARE(view_->filter().number, QStringLiteral("s1"));
        // The grid keeps its columns and captions.
        QCOMPARE(model()->columnCount(), 9);
        QCOMPARE(model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral(" 学    号 "));

        kindBox()->setCurrentIndex(1);           // 英文
        QTest::keyClick(box(0), Qt::Key_Return); // Enter in a box queries too
        QCOMPARE(numbers(), QStringList{"S1"});
        QCOMPARE(cell(0, 2), QStringLiteral("英文"));

        box(0)->clear();
        kindBox()->setCurrentIndex(0);
        QTest::keyClicks(box(2), "b1");
        QTest::keyClicks(box(3), "2026/12/2");
        query();
        QCOMPARE(numbers(), QStringList{"S2"});
        QCOMPARE(view_->filter().from, QStringLiteral("2026-12-02"));

        for (int index = 0; index < 5; ++index)
            box(index)->clear();
        query();
        QCOMPARE(numbers().size(), 4);
        QVERIFY(MessageBoxes::takeRecorded().isEmpty());
    }

    void badInputIsToldAndNothingChanges_data()
    {
        QTest::addColumn<int>("boxIndex");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::newRow("range the wrong way round") << 4 << "2026-11-30"
                                                   << "起始日期不能晚于结束日期！";
        QTest::newRow("double-byte number") << 0 << "２０２４０１"
                                            << "学号不能超过10位或有全角字符！";
        QTest::newRow("number too long") << 0 << "20240000011"
                                         << "学号不能超过10位或有全角字符！";
        QTest::newRow("name too long") << 1 << "欧阳欧阳欧阳欧"
                                       << "姓名不能大于12位！";
        QTest::newRow("double-byte batch") << 2 << "Ｂ1"
                                           << "批次号不能超过10位或有全角字符！";
        QTest::newRow("impossible date") << 4 << "2026-02-30"
                                         << "结束日期“2026-02-30”不是有效的日期！请按“年-月-日”输入，如2026-12-07。";
        QTest::newRow("no date at all") << 4 << "明天"
                                        << "结束日期“明天”不是有效的日期！请按“年-月-日”输入，如2026-12-07。";
    }
    void badInputIsToldAndNothingChanges()
    {
        QFETCH(int, boxIndex);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        store({result("S1", QDate(2026, 12, 1), QTime(9, 0)), result("S2", QDate(2026, 12, 2), QTime(9, 0)),
               result("S3", QDate(2026, 12, 3), QTime(9, 0))});
        QVERIFY(open());
        QTest::keyClicks(box(3), "2026-12-02");
        query();
        QCOMPARE(numbers(), (QStringList{"S3", "S2"}));
        const HistoryPages::Filter before = view_->filter();
        const int pagesBefore = view_->model()->pagesRead();

        box(boxIndex)->setText(typed);
        query();
        const QList<MessageBoxes::Shown> shown = MessageBoxes::takeRecorded();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().title, QStringLiteral("成绩查询"));
        QCOMPARE(shown.first().text, message);
        // The rows, the filter they were read with and what was typed all stay.
        QCOMPARE(numbers(), (QStringList{"S3", "S2"}));
        QVERIFY(view_->filter() == before);
        QCOMPARE(view_->model()->pagesRead(), pagesBefore);
        QCOMPARE(box(boxIndex)->text(), typed);
    }

    void filteredRowsAreReadPageByPage()
    {
        // One student among many: the filtered rows span several pages, read on by key.
        const int total = 7 * HistoryModel::kPageSize;
        fill(total, [](int i) {
            return result(QStringLiteral("S%1").arg(i % 2), QDate(2026, 12, 1).addDays(i / 500),
                          QTime(9, 0).addSecs(i / 3));
        });
        QVERIFY(open());
        QTest::keyClicks(box(0), "S1");
        query();
        const int shown = total / 2;
        QCOMPARE(model()->rowCount(), shown);
        view_->grid()->scrollToBottom();
        QCoreApplication::processEvents();
        // Every S1 result once, newest first: i = total - 1, total - 3, ... down to 1.
        for (int row = 0; row < shown; ++row)
            QCOMPARE(cell(row, 0), QStringLiteral("S1"));
        QList<GradeRow> expected;
        for (const GradeRow& row : app_->store().resultsNewestFirst(0, total))
            if (row.xh == QStringLiteral("S1"))
                expected << row;
        for (int row = 0; row < shown; ++row)
            QCOMPARE(view_->model()->result(row)->rowid, expected.at(row).rowid);
        QVERIFY(view_->model()->pagesReadByKey() >= 2);
    }

    // The buttons under the results hand the selected result (or the student) to their work, and
    // stay disabled without it.
    void resultButtonsTakeTheSelectedResult()
    {
        store({result("S1", QDate(2026, 12, 7), QTime(10, 0, 0)), result("S2", QDate(2026, 12, 8), QTime(9, 0, 0))});
        QVERIFY(open());
        const auto button = [this](const char* name) {
            return view_->findChild<QPushButton*>(QString::fromLatin1(name));
        };
        for (const char* name : {"Command3", "Command4", "Command5"})
            QVERIFY2(button(name) && !button(name)->isEnabled(), name);
        QStringList asked;
        ResultTools tools;
        tools.mistakes = [&](QWidget*, const GradeRow& row) { asked << QStringLiteral("mistakes ") + row.xh; };
        tools.studentMistakes = [&](QWidget*, const QString& number) { asked << QStringLiteral("student ") + number; };
        view_->setResultTools(tools);
        QVERIFY(button("Command3")->isEnabled() && button("Command4")->isEnabled());
        QVERIFY(!button("Command5")->isEnabled()); // no replay without a system login

        QTest::mouseClick(button("Command3"), Qt::LeftButton);
        QCOMPARE(MessageBoxes::takeRecorded().value(0).text, QStringLiteral("请先选中一条成绩！"));
        view_->grid()->selectRow(1); // newest first: S1 is the second row
        QTest::mouseClick(button("Command3"), Qt::LeftButton);
        QTest::mouseClick(button("Command4"), Qt::LeftButton);
        QCOMPARE(asked, (QStringList{"mistakes S1", "student S1"}));
        QVERIFY(MessageBoxes::takeRecorded().isEmpty());
    }

    // The main window lets only a system login replay.
    void replayIsForTheSystemLogin_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("replay");
        QTest::newRow("practice") << int(LoginMode::Practice) << false;
        QTest::newRow("system") << int(LoginMode::System) << true;
    }
    void replayIsForTheSystemLogin()
    {
        QFETCH(int, mode);
        QFETCH(bool, replay);
        MainWindow mainWindow(app_->path());
        const QStringList boxes = mode == int(LoginMode::System)
            ? QStringList{QString::fromLatin1(TestSupport::kUser), QString::fromLatin1(TestSupport::kUserPassword)}
            : QStringList{QStringLiteral("2024001"), QStringLiteral("张三")};
        QVERIFY(TestSupport::logIn(mainWindow, LoginMode(mode), boxes));
        std::optional<bool> enabled;
        QTimer::singleShot(0, [&] {
            if (auto* view = qobject_cast<HistoryView*>(QApplication::activeModalWidget())) {
                enabled = view->findChild<QPushButton*>(QStringLiteral("Command5"))->isEnabled();
                view->reject();
            }
        });
        mainWindow.menuItem("cycj")->trigger();
        QCOMPARE(enabled, std::optional<bool>(replay));
    }

    void menuOpensModalWindowWithItsOwnConnection()
    {
        store({result("S1", QDate(2026, 12, 7), QTime(10, 0, 0))});
        MainWindow mainWindow(app_->path());
        QString seen;
        QTimer::singleShot(0, [&] {
            auto* view = qobject_cast<HistoryView*>(QApplication::activeModalWidget());
            if (!view)
                return;
            seen = QStringLiteral("%1 modal=%2 rows=%3 open=%4")
                       .arg(view->objectName())
                       .arg(view->isModal())
                       .arg(view->grid()->model()->rowCount())
                       .arg(view->model()->isOpen());
            view->reject();
        });
        mainWindow.menuItem("cycj")->trigger(); // returns when the window is closed
        QCOMPARE(seen, QStringLiteral("frmcx modal=1 rows=1 open=1"));
        // The window and its connection are gone once it is closed.
        QVERIFY(!mainWindow.findChild<HistoryView*>());
        QVERIFY(!mainWindow.findChild<HistoryModel*>());
    }
};

QTEST_MAIN(TestHistoryView)
#include "test_history_view.moc"
