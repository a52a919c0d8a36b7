#include "grades/history_view.h"

#include "grades/history_model.h"
#include "platform/database.h"
#include "platform/fonts.h"
#include "platform/message_box.h"
#include "platform/twips.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableView>

namespace {

const char kCaption[] = "成绩查询";

} // namespace

HistoryView::HistoryView(std::unique_ptr<HistoryPages::Source> source, QWidget* parent)
    : QDialog(parent), source_(std::move(source))
{
    setObjectName(QStringLiteral("frmcx"));
    setWindowTitle(QString::fromUtf8(kCaption));
    setFont(Fonts::song(9));
    setFixedSize(Twips::toPixels(8880), Twips::toPixels(6690));

    title_ = new QLabel(QStringLiteral("历史记录"), this);
    title_->setObjectName(QStringLiteral("Label1"));
    title_->setFont(Fonts::song(15.75));
    title_->adjustSize();
    title_->move(Twips::toPixels(3840), Twips::toPixels(120));

    frame_ = new QGroupBox(QStringLiteral("查询结果"), this);
    frame_->setObjectName(QStringLiteral("Frame1"));
    frame_->setGeometry(Twips::rect(0, 480, 9015, 6015));

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
}

HistoryView::~HistoryView() = default;

bool HistoryView::load()
{
    try {
        if (source_)
            model_->open(std::move(source_));
        return model_->isOpen();
    } catch (const HistoryPages::ReadFailure& failure) {
        reportReadFailure(failure.message);
        return false;
    }
}

void HistoryView::reportReadFailure(const QString& problem)
{
    MessageBoxes::show(this, QString::fromUtf8(kCaption), QStringLiteral("成绩记录无法读取。\n%1").arg(problem));
}

void openHistoryView(QWidget* parent, std::unique_ptr<HistoryPages::Source> source)
{
    HistoryView view(std::move(source), parent);
    view.load();
    view.exec();
}
