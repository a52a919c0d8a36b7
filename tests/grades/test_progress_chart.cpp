// The progress chart: its series for a small known history (which points, which are tests,
// English and Chinese apart), a student without results, and opening it from the history
// view's selected row or typed number.

#include "grades/history_model.h"
#include "grades/history_view.h"
#include "grades/progress_chart.h"
#include "platform/message_box.h"
#include "store/store_client.h"
#include "store/store_history.h"
#include "support/test_support.h"

#include <QChart>
#include <QDateTimeAxis>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScatterSeries>
#include <QTableView>
#include <QValueAxis>
#include <QtTest>

#include <memory>

using Progress::Figure;

namespace {

QDateTime at(int day, int hour, int minute = 0)
{
    return QDateTime(QDate(2026, 12, day), QTime(hour, minute));
}

GradeRow result(const QString& xh, const char* lrxm, double score, double speed, double accuracy, const QDateTime& when,
                const QString& batch)
{
    return GradeRow{xh, "张三", lrxm, score, speed, accuracy, when.date(), when.time(), batch};
}

// S1's four results (one stored as "s1") and another student's one.
const QList<GradeRow> kHistory = {
    result("S1", "英文", 60, 120, 95, at(1, 9), ""),  result("S1", "中文", 40, 45, 90, at(2, 10), "B1"),
    result("S2", "英文", 80, 200, 99, at(2, 11), ""), result("s1", "英文", 75, 150, 98, at(3, 8, 30), "B1"),
    result("S1", "中文", -3, 20, 52, at(4, 14), ""),
};

QXYSeries* series(QChart* chart, const QString& name)
{
    for (QAbstractSeries* each : chart->series())
        if (each->name() == name)
            return qobject_cast<QXYSeries*>(each);
    return nullptr;
}

QList<QPointF> points(const QList<std::pair<QDateTime, double>>& values)
{
    QList<QPointF> list;
    for (const auto& [when, value] : values)
        list << QPointF(qreal(when.toMSecsSinceEpoch()), value);
    return list;
}

} // namespace

class TestProgressChart : public QObject {
    Q_OBJECT

    std::unique_ptr<TestSupport::AppFolder> app_;
    std::unique_ptr<StoreClient> client_;

    std::unique_ptr<ProgressChart> chartOf(const QString& number)
    {
        StoreHistory source(*client_);
        return makeProgressChart(nullptr, source, number);
    }

private slots:
    void initTestCase()
    {
        TestSupport::prepareApplication();
        app_ = std::make_unique<TestSupport::AppFolder>();
        GradeStore grades = app_->store();
        for (const GradeRow& row : kHistory)
            grades.addResult(row);
        client_ = std::make_unique<StoreClient>(app_->path());
    }
    void init() { MessageBoxes::takeRecorded(); }
    void cleanupTestCase()
    {
        client_.reset();
        app_.reset();
    }

    void seriesHoldTheStudentsResults_data()
    {
        QTest::addColumn<int>("figure");
        QTest::addColumn<QList<QPointF>>("englishPractice");
        QTest::addColumn<QList<QPointF>>("englishTests");
        QTest::addColumn<QList<QPointF>>("chinesePractice");
        QTest::addColumn<QList<QPointF>>("chineseTests");
        QTest::addColumn<QList<double>>("axis"); // low, high, ticks: round steps around the values
        QTest::newRow("speed") << int(Figure::Speed) << points({{at(1, 9), 120}}) << points({{at(3, 8, 30), 150}})
                               << points({{at(4, 14), 20}}) << points({{at(2, 10), 45}}) << QList<double>{0, 200, 6};
        QTest::newRow("accuracy") << int(Figure::Accuracy) << points({{at(1, 9), 95}}) << points({{at(3, 8, 30), 98}})
                                  << points({{at(4, 14), 52}}) << points({{at(2, 10), 90}})
                                  << QList<double>{50, 100, 6};
        QTest::newRow("score") << int(Figure::Score) << points({{at(1, 9), 60}}) << points({{at(3, 8, 30), 75}})
                               << points({{at(4, 14), -3}}) << points({{at(2, 10), 40}}) << QList<double>{-20, 100, 7};
    }
    void seriesHoldTheStudentsResults()
    {
        QFETCH(int, figure);
        QFETCH(QList<QPointF>, englishPractice);
        QFETCH(QList<QPointF>, englishTests);
        QFETCH(QList<QPointF>, chinesePractice);
        QFETCH(QList<QPointF>, chineseTests);
        QFETCH(QList<double>, axis);
        const QList<QPointF> expected[] = {englishPractice, englishTests, chinesePractice, chineseTests};
        const std::unique_ptr<ProgressChart> window = chartOf(QStringLiteral("S1"));
        QVERIFY(window);
        QChart* chart = window->chart(Figure(figure));
        const QStringList names = {"英文练习", "英文测试", "中文练习", "中文测试"};
        for (int index = 0; index < 4; ++index) {
            QXYSeries* markers = series(chart, names[index]);
            QVERIFY2(markers, qPrintable(names[index]));
            QCOMPARE(markers->points(), expected[index]);
            // Tests are squares, practice circles.
            QCOMPARE(static_cast<QScatterSeries*>(markers)->markerShape(),
                     index % 2 ? QScatterSeries::MarkerShapeRectangle : QScatterSeries::MarkerShapeCircle);
        }
        // A line joins each kind's results in time order, practice and tests alike.
        const QList<QPointF> english = series(chart, "英文")->points();
        QCOMPARE(english.size(), 2);
        QVERIFY(english[0].x() < english[1].x());
        const QList<QPointF> chinese = series(chart, "中文")->points();
        QCOMPARE(chinese.size(), 2);
        QVERIFY(chinese[0].x() < chinese[1].x());

        // Dates along the bottom, the figure's caption at the side, every point inside.
        const auto dates = chart->axes(Qt::Horizontal);
        QCOMPARE(dates.size(), 1);
        auto* dateAxis = qobject_cast<QDateTimeAxis*>(dates.first());
        QVERIFY(dateAxis);
        // Whole days, a tick at each midnight: the four days from December 1st.
        QCOMPARE(dateAxis->min(), at(1, 0));
        QCOMPARE(dateAxis->max(), at(5, 0));
        QCOMPARE(dateAxis->tickCount(), 5);
        auto* valueAxis = qobject_cast<QValueAxis*>(chart->axes(Qt::Vertical).first());
        QCOMPARE((QList<double>{valueAxis->min(), valueAxis->max(), double(valueAxis->tickCount())}), axis);
        QCOMPARE(valueAxis->titleText(), (QStringList{"速度（字/分）", "准确率（%）", "成绩（分）"}[figure]));
        for (const QPointF& point : english + chinese)
            QVERIFY(point.y() >= valueAxis->min() && point.y() <= valueAxis->max());
    }

    void captionsNameTheStudent()
    {
        const std::unique_ptr<ProgressChart> window = chartOf(QStringLiteral(" s1 "));
        QVERIFY(window);
        QCOMPARE(window->objectName(), QStringLiteral("frmjbqx"));
        QCOMPARE(window->windowTitle(), QStringLiteral("进步曲线"));
        QCOMPARE(window->findChild<QLabel*>(QStringLiteral("Label1"))->text(), QStringLiteral("进步曲线"));
        QCOMPARE(window->findChild<QLabel*>(QStringLiteral("Label2"))->text(),
                 QStringLiteral("学号：S1　　姓名：张三　　共 4 次，其中测试 2 次"));
        QVERIFY(MessageBoxes::takeRecorded().isEmpty());
    }

    void studentWithoutResultsIsTold()
    {
        QVERIFY(!chartOf(QStringLiteral("S9")));
        const QList<MessageBoxes::Shown> shown = MessageBoxes::takeRecorded();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().title, QStringLiteral("进步曲线"));
        QCOMPARE(shown.first().text, QStringLiteral("学号为“S9”的学生没有成绩记录。"));
    }

    void opensFromTheHistoryView_data()
    {
        QTest::addColumn<int>("selectedRow"); // -1: none
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("opened"); // Label2's start, or empty when none opens
        QTest::addColumn<QString>("message");
        // Newest first the rows are S1 (12-4), s1, S2, S1, S1.
        QTest::newRow("selected row") << 2 << QString() << "学号：S2　　姓名：张三　　共 1 次" << QString();
        QTest::newRow("selected row wins over typed") << 0 << "S2"
                                                      << "学号：S1　　姓名：张三　　共 4 次" << QString();
        QTest::newRow("typed number") << -1 << "s1"
                                      << "学号：S1　　姓名：张三　　共 4 次" << QString();
        QTest::newRow("nothing to go by") << -1 << QString() << QString() << "请先选中一条成绩，或在学号框中输入学号！";
        QTest::newRow("double-byte number") << -1 << "Ｓ1" << QString() << "学号不能超过10位或有全角字符！";
        QTest::newRow("no results") << -1 << "S7" << QString() << "学号为“S7”的学生没有成绩记录。";
    }
    void opensFromTheHistoryView()
    {
        QFETCH(int, selectedRow);
        QFETCH(QString, typed);
        QFETCH(QString, opened);
        QFETCH(QString, message);
        HistoryView view(std::make_unique<StoreHistory>(*client_));
        QVERIFY(view.load());
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        if (selectedRow >= 0)
            view.grid()->selectRow(selectedRow);
        view.findChild<QLineEdit*>(QStringLiteral("Text1_0"))->setText(typed);

        QString seen;
        QTimer::singleShot(0, [&] {
            // The window comes from typelab-charts, as in the program: found by its name.
            QWidget* chart = QApplication::activeModalWidget();
            if (chart && chart->objectName() == QLatin1String("frmjbqx")) {
                seen = chart->findChild<QLabel*>(QStringLiteral("Label2"))->text();
                static_cast<QDialog*>(chart)->reject();
            }
        });
        QTest::mouseClick(view.findChild<QPushButton*>(QStringLiteral("Command2")), Qt::LeftButton);
        QCoreApplication::processEvents();
        QVERIFY2(opened.isEmpty() ? seen.isEmpty() : seen.startsWith(opened), qPrintable(seen));
        const QList<MessageBoxes::Shown> shown = MessageBoxes::takeRecorded();
        QCOMPARE(shown.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty())
            QCOMPARE(shown.first().text, message);
        QVERIFY(!view.findChild<QDialog*>(QStringLiteral("frmjbqx")));
    }
};

QTEST_MAIN(TestProgressChart)
#include "test_progress_chart.moc"
