#include "grades/history_view.h"

#include "grades/history_filter.h"
#include "grades/history_model.h"
#include "grades/progress_opener.h"
#include "platform/byte_length.h"
#include "platform/controls.h"
#include "platform/fonts.h"
#include "platform/message_box.h"
#include "platform/twips.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

namespace {

const char kCaption[] = "成绩查询";

// The filter boxes take this much above the results' frame, and the buttons under it this much
// below; the window grows by both.
constexpr int kFilterHeight = 1200;
constexpr int kButtonStripHeight = 480;

} // namespace

HistoryView::HistoryView(std::unique_ptr<HistoryPages::Source> source, QWidget* parent)
    : QDialog(parent), source_(std::move(source))
{
    setObjectName(QStringLiteral("frmcx"));
    setWindowTitle(QString::fromUtf8(kCaption));
    setFont(Fonts::song(9));
    setFixedSize(Twips::toPixels(8880), Twips::toPixels(6690 + kFilterHeight + kButtonStripHeight));

    title_ = new QLabel(QStringLiteral("历史记录"), this);
    title_->setObjectName(QStringLiteral("Label1"));
    title_->setFont(Fonts::song(15.75));
    title_->adjustSize();
    title_->move(Twips::toPixels(3840), Twips::toPixels(120));

    frame_ = new QGroupBox(QStringLiteral("查询结果"), this);
    frame_->setObjectName(QStringLiteral("Frame1"));
    frame_->setGeometry(Twips::rect(0, 480 + kFilterHeight, 9015, 6015));

    model_ = new HistoryModel(this);
    connect(model_, &HistoryModel::readFailed, this, &HistoryView::reportReadFailure);

    grid_ = new QTableView(frame_);
    grid_->setObjectName(QStringLiteral("DataGrid1"));
    grid_->setGeometry(Twips::rect(120, 240, 8775, 5655));
    grid_->setModel(model_);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    grid_->setWordWrap(false);
    grid_->setCornerButtonEnabled(false);

    QHeaderView* columns = grid_->horizontalHeader();
    columns->setSectionsMovable(false);
    columns->setStretchLastSection(false);
    columns->setMinimumSectionSize(1);
    for (int column = 0; column < HistoryModel::kColumnCount; ++column)
        columns->resizeSection(column, Twips::toPixels(HistoryModel::widthTwips(column)));
    columns->setSectionResizeMode(QHeaderView::Fixed);

    // Narrow record selectors instead of row numbers; every row has the same height, which
    // keeps a long history cheap to lay out.
    QHeaderView* rows = grid_->verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(QFontMetrics(grid_->font()).height() + 4);
    rows->setFixedWidth(Twips::toPixels(270));

    buildFilterBoxes();
    buildResultButtons();
}

void HistoryView::buildResultButtons()
{
    const int top = 480 + kFilterHeight + 6015 + 60;
    const struct {
        QPushButton** button;
        const char* name;
        const char* caption;
        int left;
    } buttons[] = {{&mistakes_, "Command3", "错误分析", 4200},
                   {&studentMistakes_, "Command4", "该生错误", 5760},
                   {&replay_, "Command5", "回放", 7320}};
    for (const auto& [made, name, caption, left] : buttons) {
        *made = placeControl<QPushButton>(this, name, Twips::rect(left, top, 1440, 390), QString::fromUtf8(caption));
        (*made)->setAutoDefault(false);
        (*made)->setEnabled(false);
    }
    connect(mistakes_, &QPushButton::clicked, this, &HistoryView::showMistakes);
    connect(studentMistakes_, &QPushButton::clicked, this, &HistoryView::showStudentMistakes);
    connect(replay_, &QPushButton::clicked, this, &HistoryView::showReplay);
}

void HistoryView::setResultTools(ResultTools tools)
{
    tools_ = std::move(tools);
    mistakes_->setEnabled(bool(tools_.mistakes));
    studentMistakes_->setEnabled(bool(tools_.studentMistakes));
    replay_->setEnabled(bool(tools_.replay));
}

std::optional<GradeRow> HistoryView::selectedResult()
{
    const QModelIndexList selected = grid_->selectionModel()->selectedIndexes();
    if (!selected.isEmpty())
        if (std::optional<GradeRow> row = model_->result(selected.first().row()))
            return row;
    MessageBoxes::show(this, QString::fromUtf8(kCaption), QStringLiteral("请先选中一条成绩！"));
    return std::nullopt;
}

void HistoryView::showMistakes()
{
    if (!tools_.mistakes)
        return;
    if (const std::optional<GradeRow> row = selectedResult())
        tools_.mistakes(this, *row);
}

void HistoryView::showStudentMistakes()
{
    if (!tools_.studentMistakes)
        return;
    if (const QString number = chosenStudent(); !number.isEmpty())
        tools_.studentMistakes(this, number);
}

void HistoryView::showReplay()
{
    if (!tools_.replay)
        return;
    if (const std::optional<GradeRow> row = selectedResult())
        tools_.replay(this, *row);
}

void HistoryView::buildFilterBoxes()
{
    filters_ = placeControl<QGroupBox>(this, "Frame2", Twips::rect(0, 480, 9015, 1140), QStringLiteral("查询条件"));
    // Two rows of three boxes, their captions before them, and a button at the end of each row.
    const struct {
        const char* caption;
        int left;
        int width;
    } captions[] = {{"学号：", 120, 600}, {"姓名：", 2400, 600}, {"批次号：", 4680, 780},
                    {"日期：", 120, 600}, {"至", 2220, 780},     {"项目：", 4680, 780}};
    const int boxLefts[] = {720, 3000, 5460};
    const int rowTops[] = {300, 720};
    for (int index = 0; index < 6; ++index) {
        const int top = rowTops[index / 3];
        auto* caption = placeControl<QLabel>(filters_, qPrintable(QStringLiteral("Label2_%1").arg(index)),
                                             Twips::rect(captions[index].left, top, captions[index].width, 330),
                                             QString::fromUtf8(captions[index].caption));
        caption->setAlignment((index == 4 ? Qt::AlignHCenter : Qt::AlignRight) | Qt::AlignVCenter);
        const QRect place = Twips::rect(boxLefts[index % 3], top, 1500, 330);
        if (index == 5) {
            kind_ = placeControl<QComboBox>(filters_, "Combo1", place);
            // The items' indexes are the kinds' numbers, 0 for every kind.
            kind_->addItems({QStringLiteral("全部"), ExerciseKinds::name(ExerciseKind::English),
                             ExerciseKinds::name(ExerciseKind::Chinese)});
            continue;
        }
        boxes_[index] = placeControl<QLineEdit>(filters_, qPrintable(QStringLiteral("Text1_%1").arg(index)), place);
        if (index >= 3)
            boxes_[index]->setPlaceholderText(QStringLiteral("年-月-日"));
    }
    search_ =
        placeControl<QPushButton>(filters_, "Command1", Twips::rect(7320, 270, 1440, 390), QStringLiteral("查询"));
    progress_ =
        placeControl<QPushButton>(filters_, "Command2", Twips::rect(7320, 690, 1440, 390), QStringLiteral("进步曲线"));
    // Enter in a box runs the query.
    search_->setDefault(true);
    progress_->setAutoDefault(false);
    connect(search_, &QPushButton::clicked, this, &HistoryView::applyFilter);
    connect(progress_, &QPushButton::clicked, this, &HistoryView::showProgress);
    boxes_[0]->setFocus();
}

HistoryView::~HistoryView() = default;

bool HistoryView::load()
{
    if (!source_)
        return false;
    const StoreReply opened = model_->open(source_->filtered(filter_));
    if (!opened.ok())
        reportReadFailure(storeProblem(opened));
    return model_->isOpen();
}

void HistoryView::applyFilter()
{
    const HistoryPages::Filters::Parsed parsed =
        HistoryPages::Filters::fromBoxes(boxes_[0]->text(), boxes_[1]->text(), boxes_[2]->text(), boxes_[3]->text(),
                                         boxes_[4]->text(), ExerciseKinds::fromNumber(kind_->currentIndex()));
    if (parsed.problem) {
        MessageBoxes::show(this, QString::fromUtf8(kCaption), *parsed.problem);
        return;
    }
    if (!source_)
        return;
    const StoreReply reopened = model_->reopen(source_->filtered(parsed.filter));
    if (reopened.ok())
        filter_ = parsed.filter;
    else
        reportReadFailure(storeProblem(reopened));
}

void HistoryView::showProgress()
{
    if (const QString number = chosenStudent(); !number.isEmpty() && source_)
        ProgressOpener::open(this, *source_, number);
}

QString HistoryView::chosenStudent()
{
    QString number;
    const QModelIndexList selected = grid_->selectionModel()->selectedIndexes();
    if (!selected.isEmpty()) {
        if (const std::optional<GradeRow> row = model_->result(selected.first().row()))
            number = row->xh;
    } else {
        number = trimSpaces(boxes_[0]->text());
        HistoryPages::Filter typed;
        typed.number = number;
        if (const auto problem = HistoryPages::Filters::problem(typed)) {
            MessageBoxes::show(this, QString::fromUtf8(kCaption), *problem);
            return QString();
        }
    }
    if (number.isEmpty())
        MessageBoxes::show(this, QString::fromUtf8(kCaption),
                           QStringLiteral("请先选中一条成绩，或在学号框中输入学号！"));
    return number;
}

void HistoryView::reportReadFailure(const QString& problem)
{
    MessageBoxes::show(this, QString::fromUtf8(kCaption), QStringLiteral("成绩记录无法读取。\n%1").arg(problem));
}

void openHistoryView(QWidget* parent, std::unique_ptr<HistoryPages::Source> source, ResultTools tools)
{
    HistoryView view(std::move(source), parent);
    view.setResultTools(std::move(tools));
    view.load();
    view.exec();
}
