// The history's filters as the store serves them: what each box lets through alone and
// together, ASCII case, inclusive dates, the kind; the filter checked again by the store;
// paging by key under a filter; one student's results; and a grade database with the
// filters' indexes still read by the reader of files from other machines.

#include "collect/source_read.h"
#include "grades/history_filter.h"
#include "store/store_client.h"
#include "support/test_support.h"

#include <QtTest>

#include <algorithm>
#include <memory>

using HistoryPages::Filter;

namespace {

// Seven results; the score tells them apart. Newest first they are 6 7 5 4 3 2 1.
const QList<GradeRow> kResults = {
    {"2024000001", "张三", "英文", 1, 100, 90, QDate(2026, 12, 1), QTime(9, 0), "B1"},
    {"2024000001", "张三", "中文", 2, 40, 95, QDate(2026, 12, 3), QTime(10, 0), ""},
    {"2024000002", "李四", "英文", 3, 120, 92, QDate(2026, 12, 3), QTime(11, 0), "b1"},
    {"2024000002", "李四", "中文", 4, 45, 88, QDate(2026, 12, 5), QTime(8, 0), "B2"},
    {"ab12", "Tom", "英文", 5, 130, 97, QDate(2026, 12, 5), QTime(9, 30), ""},
    {"AB12", "tom", "中文", 6, 35, 81, QDate(2026, 12, 7), QTime(23, 59, 59), "B2"},
    {"2024000003", "张三丰", "英文", 7, 150, 99, QDate(2026, 12, 7), QTime(0, 0), "B1"},
};

Filter filterOf(const QString& number, const QString& name = {}, const QString& batch = {}, const QString& from = {},
                const QString& to = {}, std::optional<ExerciseKind> kind = std::nullopt)
{
    return Filter{number, name, batch, from, to, kind};
}

QList<int> scores(const QList<GradeRow>& rows)
{
    QList<int> values;
    for (const GradeRow& row : rows)
        values << int(row.lrcj);
    return values;
}

void store(const TestSupport::AppFolder& app, const QList<GradeRow>& rows)
{
    GradeStore grades = app.store();
    Transaction transaction(GradeStoreInspector::database(grades));
    for (const GradeRow& row : rows)
        grades.addResult(row);
    transaction.commit();
}

} // namespace

class TestHistoryFilters : public QObject {
    Q_OBJECT

    std::unique_ptr<TestSupport::AppFolder> app_;
    std::unique_ptr<StoreClient> client_;

private slots:
    void initTestCase()
    {
        TestSupport::prepareApplication();
        app_ = std::make_unique<TestSupport::AppFolder>();
        store(*app_, kResults);
        client_ = std::make_unique<StoreClient>(app_->path());
    }
    void cleanupTestCase()
    {
        client_.reset();
        app_.reset();
    }

    void eachBoxAndTheirCombinations_data()
    {
        QTest::addColumn<Filter>("filter");
        QTest::addColumn<QList<int>>("expected"); // scores, newest first
        QTest::newRow("empty: everything") << Filter() << QList<int>{6, 7, 5, 4, 3, 2, 1};
        QTest::newRow("number") << filterOf("2024000001") << QList<int>{2, 1};
        QTest::newRow("number, other case") << filterOf("ab12") << QList<int>{6, 5};
        QTest::newRow("number, upper case") << filterOf("AB12") << QList<int>{6, 5};
        QTest::newRow("number matches whole") << filterOf("2024") << QList<int>{};
        QTest::newRow("number trimmed") << filterOf(" 2024000001 ") << QList<int>{2, 1};
        QTest::newRow("name matches whole") << filterOf({}, "张三") << QList<int>{2, 1};
        QTest::newRow("name, ASCII case") << filterOf({}, "TOM") << QList<int>{6, 5};
        QTest::newRow("batch, either case") << filterOf({}, {}, "b1") << QList<int>{7, 3, 1};
        QTest::newRow("batch B2") << filterOf({}, {}, "B2") << QList<int>{6, 4};
        QTest::newRow("first date included") << filterOf({}, {}, {}, "2026-12-05") << QList<int>{6, 7, 5, 4};
        QTest::newRow("last date included") << filterOf({}, {}, {}, {}, "2026-12-05") << QList<int>{5, 4, 3, 2, 1};
        QTest::newRow("one day, midnight to midnight")
            << filterOf({}, {}, {}, "2026-12-07", "2026-12-07") << QList<int>{6, 7};
        QTest::newRow("a range between results") << filterOf({}, {}, {}, "2026-12-02", "2026-12-02") << QList<int>{};
        QTest::newRow("English") << filterOf({}, {}, {}, {}, {}, ExerciseKind::English) << QList<int>{7, 5, 3, 1};
        QTest::newRow("Chinese") << filterOf({}, {}, {}, {}, {}, ExerciseKind::Chinese) << QList<int>{6, 4, 2};
        QTest::newRow("number and kind") << filterOf("2024000002", {}, {}, {}, {}, ExerciseKind::Chinese) << QList<int>{4};
        QTest::newRow("name and batch") << filterOf({}, "张三", "B1") << QList<int>{1};
        QTest::newRow("batch and first date") << filterOf({}, {}, "b2", "2026-12-06") << QList<int>{6};
        QTest::newRow("kind and dates") << filterOf({}, {}, {}, "2026-12-03", "2026-12-05", ExerciseKind::English)
                                        << QList<int>{5, 3};
        QTest::newRow("every box") << filterOf("2024000002", "李四", "B1", "2026-12-01", "2026-12-04", ExerciseKind::English)
                                   << QList<int>{3};
        QTest::newRow("every box, one not matching")
            << filterOf("2024000002", "李四", "B1", "2026-12-01", "2026-12-04", ExerciseKind::Chinese) << QList<int>{};
    }
    void eachBoxAndTheirCombinations()
    {
        QFETCH(Filter, filter);
        QFETCH(QList<int>, expected);
        const PageReply reply = client_->history(filter, HistoryPages::Cursor::at(0), 100);
        QVERIFY2(reply.ok(), qPrintable(reply.message));
        QCOMPARE(scores(reply.page.rows), expected);
        QCOMPARE(reply.count, qint64(expected.size()));
    }

    void storeRefusesWhatTheWindowRefuses_data()
    {
        QTest::addColumn<Filter>("filter");
        QTest::addColumn<QString>("message");
        QTest::newRow("double-byte number") << filterOf("２０２４０１") << "学号不能超过10位或有全角字符！";
        QTest::newRow("number of 11") << filterOf("20240000011") << "学号不能超过10位或有全角字符！";
        QTest::newRow("name of 14 bytes") << filterOf({}, "欧阳欧阳欧阳欧") << "姓名不能大于12位！";
        QTest::newRow("double-byte batch") << filterOf({}, {}, "Ｂ1") << "批次号不能超过10位或有全角字符！";
        QTest::newRow("impossible date") << filterOf({}, {}, {}, "2026-02-30")
                                         << "起始日期有误！请按“年-月-日”输入，如2026-12-07。";
        QTest::newRow("date not as stored")
            << filterOf({}, {}, {}, {}, "2026/12/1") << "结束日期有误！请按“年-月-日”输入，如2026-12-07。";
        QTest::newRow("range the wrong way round")
            << filterOf({}, {}, {}, "2026-12-05", "2026-12-04") << "起始日期不能晚于结束日期！";
        QTest::newRow("no such kind") << filterOf({}, {}, {}, {}, {}, ExerciseKind(3)) << "没有这个录入项目。";
    }
    void storeRefusesWhatTheWindowRefuses()
    {
        QFETCH(Filter, filter);
        QFETCH(QString, message);
        const PageReply first = client_->history(filter, HistoryPages::Cursor::at(0), 100);
        QCOMPARE(first.status, StoreStatus::Refused);
        QCOMPARE(first.message, message);
        QVERIFY(first.page.rows.isEmpty());
        const HistoryPages::Key key{"2026-12-07", "00:00:00", 7, true};
        for (const PageReply& byKey :
             {client_->history(filter, HistoryPages::Cursor::olderThan(key), 10), client_->history(filter, HistoryPages::Cursor::newerThan(key), 10)}) {
            QCOMPARE(byKey.status, StoreStatus::Refused);
            QVERIFY(byKey.page.rows.isEmpty());
        }
        // The window's own check says the same.
        QCOMPARE(HistoryPages::Filters::problem(filter).value_or(QString()), message);
    }

    void studentResultsOldestFirst()
    {
        RowsReply reply = client_->studentResults(QStringLiteral("Ab12"));
        QVERIFY(reply.ok());
        QCOMPARE(scores(reply.rows), (QList<int>{5, 6}));
        reply = client_->studentResults(QStringLiteral("2024000009"));
        QVERIFY(reply.ok());
        QVERIFY(reply.rows.isEmpty());
        for (const QString& refused : {QString(), QStringLiteral("学号"), QStringLiteral("12345678901")})
            QCOMPARE(client_->studentResults(refused).status, StoreStatus::Refused);
    }

    void pagingByKeyUnderAFilter_data()
    {
        QTest::addColumn<Filter>("filter");
        QTest::newRow("number") << filterOf("S1");
        QTest::newRow("kind and dates") << filterOf({}, {}, {}, "2026-11-28", "2026-11-30", ExerciseKind::Chinese);
        QTest::newRow("batch and name") << filterOf({}, "王五", "b3");
    }
    void pagingByKeyUnderAFilter()
    {
        QFETCH(Filter, filter);
        // Three students in turn over five days, many sharing a date and a time: pages by key
        // must follow rowid among them, and skip every result the filter leaves out.
        TestSupport::AppFolder app;
        QList<GradeRow> rows;
        const QStringList names = {"张三", "李四", "王五"};
        for (int i = 0; i < 700; ++i)
            rows << GradeRow{QStringLiteral("S%1").arg(i % 3),
                             names[i % 3],
                             i % 4 ? "中文" : "英文",
                             double(i),
                             50,
                             90,
                             QDate(2026, 11, 26).addDays(i / 140),
                             QTime(9, 0).addSecs(i / 40 * 60),
                             i % 5 ? "B3" : ""};
        store(app, rows);
        StoreClient client(app.path());
        const PageReply all = client.history(filter, HistoryPages::Cursor::at(0), 1000);
        QVERIFY(all.ok());
        QVERIFY(all.count > 120);
        QCOMPARE(all.page.rows.size(), int(all.count));

        // Downwards from the top, then upwards from the bottom, 50 at a time.
        QList<int> down;
        PageReply page = client.history(filter, HistoryPages::Cursor::at(0), 50);
        down << scores(page.page.rows);
        while (!page.page.rows.isEmpty()) {
            page = client.history(filter, HistoryPages::Cursor::olderThan(page.page.last), 50);
            QVERIFY(page.ok());
            down << scores(page.page.rows);
        }
        QCOMPARE(down, scores(all.page.rows));
        QList<int> up;
        page = client.history(filter, HistoryPages::Cursor::at(all.count - 50), 50);
        up = scores(page.page.rows);
        while (!page.page.rows.isEmpty()) {
            page = client.history(filter, HistoryPages::Cursor::newerThan(page.page.first), 50);
            QVERIFY(page.ok());
            up = scores(page.page.rows) + up;
        }
        QCOMPARE(up, scores(all.page.rows));

        // And what the filter lets through is exactly what it should.
        const auto passes = [&filter](const GradeRow& row) {
            const QString day = row.lrdate.toString(Qt::ISODate);
            return (filter.number.isEmpty() || row.xh == filter.number)
                && (filter.name.isEmpty() || row.xm == filter.name)
                && (filter.batch.isEmpty() || row.lrpc.compare(filter.batch, Qt::CaseInsensitive) == 0)
                && (filter.from.isEmpty() || day >= filter.from) && (filter.to.isEmpty() || day <= filter.to)
                && (!filter.kind || row.lrxm == ExerciseKinds::name(*filter.kind));
        };
        QVERIFY(std::all_of(all.page.rows.cbegin(), all.page.rows.cend(), passes));
        const qint64 expected = std::count_if(rows.cbegin(), rows.cend(), passes);
        QCOMPARE(all.count, expected);
    }

    void indexedDatabaseIsStillReadFromElsewhere()
    {
        // The store adds its indexes when it opens the file.
        QVERIFY(client_->history(Filter(), HistoryPages::Cursor::at(0), 0).ok());
        QStringList indexes;
        {
            GradeStore grades = app_->store();
            Statement select = GradeStoreInspector::database(grades).prepare(
                QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = 'stdgrade'"));
            while (select.step())
                indexes << select.text(0);
        }
        for (const char* name :
             {"stdgrade_by_number", "stdgrade_by_name", "stdgrade_by_batch_date", "stdgrade_by_kind"})
            QVERIFY2(indexes.contains(QLatin1String(name)), qPrintable(indexes.join(u',')));

        const SourceResult read =
            SourceRead::readNow(SourceRead::Format::GradeDatabase, app_->gradeDatabase(), QStringLiteral("B1"));
        QVERIFY2(read.kind == SourceResult::Kind::Rows, qPrintable(read.problem));
        QCOMPARE(read.rows.size(), 3);
    }
};

QTEST_MAIN(TestHistoryFilters)
#include "test_history_filters.moc"
