#include "grades/progress_chart.h"

#include "store/store_history.h"
#include "grades/progress_opener.h"
#include "platform/byte_length.h"
#include "platform/fonts.h"
#include "platform/message_box.h"
#include "platform/twips.h"

#include <QChart>
#include <QChartView>
#include <QDateTimeAxis>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace {

const char kCaption[] = "进步曲线";

using Progress::Figure;

constexpr int kChartTop = 840;
constexpr int kChartHeight = 2460;

QColor kindColour(ExerciseKind kind)
{
    return kind == ExerciseKind::English ? QColor(0, 0, 255) : QColor(208, 96, 0);
}

QString figureCaption(Figure figure)
{
    switch (figure) {
    case Figure::Speed:
        return QStringLiteral("速度（字/分）");
    case Figure::Accuracy:
        return QStringLiteral("准确率（%）");
    case Figure::Score:
        return QStringLiteral("成绩（分）");
    }
    return QString();
}

// The dates every chart shows: whole days from the first result's to the last one's, and a
// tick at midnight every so many days, at most seven of them apart, so each date label stands
// under the start of its day. A span that no such step divides grows by a day or two.
struct DateSpan {
    QDateTime from;
    QDateTime to;
    int ticks = 2;
};

DateSpan dateSpan(const Progress::Student& student)
{
    const QDate first = student.first.date();
    for (qint64 days = first.daysTo(student.last.date()) + 1;; ++days) {
        for (qint64 step = std::min<qint64>(days, 7); step >= std::min<qint64>(days, 4); --step) {
            if (days % step == 0)
                return {first.startOfDay(), first.addDays(days).startOfDay(), int(step) + 1};
        }
    }
}

// A value axis: its range and how many ticks divide it into round steps.
struct ValueSpan {
    double low = 0;
    double high = 100;
    int ticks = 6;
};

ValueSpan valueSpan(const Progress::Student& student, Figure figure)
{
    double low = 100, high = 0;
    for (const ExerciseKind kind : Progress::kKinds) {
        for (const Progress::Point& point : student.points(kind, figure)) {
            low = std::min(low, point.value);
            high = std::max(high, point.value);
        }
    }
    if (figure == Figure::Speed) {
        // From nought, in five steps of a round number.
        const double top = std::max(50.0, std::ceil(high * 1.1 / 50) * 50);
        return {0, top, 6};
    }
    // Accuracy and score reach 100 at most: steps of 10 down to the lowest value, or of 20
    // when that is far down (a score below nought too).
    const double tens = std::floor(low / 10) * 10;
    if (100 - tens <= 50)
        return {tens, 100, int((100 - tens) / 10) + 1};
    const double twenties = std::floor(low / 20) * 20;
    return {twenties, 100, int((100 - twenties) / 20) + 1};
}

} // namespace

QString ProgressChart::seriesName(ExerciseKind kind, bool test)
{
    return ExerciseKinds::name(kind) + (test ? QStringLiteral("测试") : QStringLiteral("练习"));
}

ProgressChart::ProgressChart(const Progress::Student& student, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmjbqx"));
    setWindowTitle(QString::fromUtf8(kCaption));
    setFont(Fonts::song(9));
    setFixedSize(Twips::toPixels(11400), Twips::toPixels(8250));

    title_ = new QLabel(QString::fromUtf8(kCaption), this);
    title_->setObjectName(QStringLiteral("Label1"));
    title_->setFont(Fonts::song(15.75));
    title_->adjustSize();
    title_->move((width() - title_->width()) / 2, Twips::toPixels(60));

    student_ = new QLabel(QStringLiteral("学号：%1　　姓名：%2　　共 %3 次，其中测试 %4 次")
                              .arg(student.number, student.name)
                              .arg(student.results)
                              .arg(student.tests),
                          this);
    student_->setObjectName(QStringLiteral("Label2"));
    student_->setFont(Fonts::song(10.5));
    student_->adjustSize();
    student_->move(Twips::toPixels(240), Twips::toPixels(540));

    for (int figure = 0; figure < Progress::kFigures; ++figure)
        addChart(student, Figure(figure));
}

ProgressChart::~ProgressChart() = default;

QChart* ProgressChart::chart(Figure figure) const
{
    return views_[int(figure)]->chart();
}

void ProgressChart::addChart(const Progress::Student& student, Figure figure)
{
    auto* chart = new QChart;
    chart->setBackgroundRoundness(0);
    chart->setMargins(QMargins(2, 2, 2, 2));
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->legend()->setFont(Fonts::song(9));
    chart->legend()->setMarkerShape(QLegend::MarkerShapeFromSeries);

    auto* dates = new QDateTimeAxis;
    const DateSpan span = dateSpan(student);
    dates->setRange(span.from, span.to);
    dates->setFormat(QStringLiteral("M月d日"));
    dates->setTickCount(span.ticks);
    dates->setLabelsFont(Fonts::song(9));
    dates->setTruncateLabels(false);
    // One date caption under the last chart is enough: the three share their dates.
    if (figure == Figure::Score) {
        dates->setTitleText(QStringLiteral("日期"));
        dates->setTitleFont(Fonts::song(9));
    }
    chart->addAxis(dates, Qt::AlignBottom);

    auto* values = new QValueAxis;
    const ValueSpan range = valueSpan(student, figure);
    values->setRange(range.low, range.high);
    values->setTickCount(range.ticks);
    values->setLabelFormat(QStringLiteral("%d"));
    values->setLabelsFont(Fonts::song(9));
    // The charts are low: labels are drawn whole even where Qt Charts would elide them.
    values->setTruncateLabels(false);
    values->setTitleText(figureCaption(figure));
    values->setTitleFont(Fonts::song(9));
    chart->addAxis(values, Qt::AlignLeft);

    for (const ExerciseKind kind : Progress::kKinds) {
        const QList<Progress::Point>& points = student.points(kind, figure);
        if (points.isEmpty())
            continue;
        const QColor colour = kindColour(kind);
        auto* line = new QLineSeries;
        line->setName(ExerciseKinds::name(kind));
        line->setPen(QPen(colour, 1.5));
        // Practice results are open circles, tests filled squares, in the kind's colour.
        auto* practice = new QScatterSeries;
        practice->setName(seriesName(kind, false));
        practice->setMarkerShape(QScatterSeries::MarkerShapeCircle);
        practice->setMarkerSize(7);
        practice->setColor(Qt::white);
        practice->setBorderColor(colour);
        auto* tests = new QScatterSeries;
        tests->setName(seriesName(kind, true));
        tests->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
        tests->setMarkerSize(8);
        tests->setColor(colour);
        tests->setBorderColor(colour);

        QList<QPointF> all, practised, tested;
        for (const Progress::Point& point : points) {
            const QPointF at(qreal(point.when.toMSecsSinceEpoch()), point.value);
            all << at;
            (point.test ? tested : practised) << at;
        }
        line->replace(all);
        practice->replace(practised);
        tests->replace(tested);
        for (QXYSeries* series :
             {static_cast<QXYSeries*>(line), static_cast<QXYSeries*>(practice), static_cast<QXYSeries*>(tests)}) {
            chart->addSeries(series);
            series->attachAxis(dates);
            series->attachAxis(values);
        }
        // The line only joins the markers; the legend names the markers.
        for (QLegendMarker* marker : chart->legend()->markers(line))
            marker->setVisible(false);
    }

    auto* view = new QChartView(chart, this);
    view->setObjectName(QStringLiteral("Chart1_%1").arg(int(figure)));
    view->setRenderHint(QPainter::Antialiasing);
    view->setGeometry(Twips::rect(60, kChartTop + int(figure) * kChartHeight, 11280, kChartHeight - 30));
    views_[int(figure)] = view;
}

std::unique_ptr<ProgressChart> makeProgressChart(QWidget* parent, HistoryPages::Source& source, const QString& number)
{
    const std::optional<Progress::Student> student = ProgressOpener::readStudent(parent, source, number);
    return student ? std::make_unique<ProgressChart>(*student, parent) : nullptr;
}
