#include "grades/history_model.h"

#include "exercise/scoring.h"

#include <QLocale>
#include <QMetaObject>

#include <climits>
#include <cmath>

namespace {

struct ColumnSpec {
    const char* caption;
    int widthTwips;
    bool centred;
};

// Captions keep their spaces: they centre the words over the columns as the lab is used to.
const ColumnSpec kColumns[HistoryModel::kColumnCount] = {
    {" 学    号 ", 1000, false}, {"  姓    名 ", 1200, false}, {" 项目 ", 650, false},
    {" 成绩 ", 650, true},       {"速度/分", 750, true},       {"准确率%", 750, true},
    {"  日  期  ", 1100, false}, {"  时  间  ", 1100, false},  {"  批次号  ", 1100, false},
};

} // namespace

HistoryModel::HistoryModel(QObject* parent) : QAbstractTableModel(parent) {}

HistoryModel::~HistoryModel() = default;

StoreReply HistoryModel::open(std::unique_ptr<HistoryPages::Source> source)
{
    beginResetModel();
    close();
    const PageReply counted = source->read(HistoryPages::Cursor::at(0), 0);
    if (counted.ok()) {
        source_ = std::move(source);
        rows_ = int(qMin<qint64>(counted.count, INT_MAX));
    }
    endResetModel();
    return counted;
}

StoreReply HistoryModel::reopen(std::unique_ptr<HistoryPages::Source> source)
{
    const PageReply counted = source->read(HistoryPages::Cursor::at(0), 0);
    if (!counted.ok())
        return counted;
    beginResetModel();
    source_ = std::move(source);
    rows_ = int(qMin<qint64>(counted.count, INT_MAX));
    pages_.clear();
    pageUse_.clear();
    endResetModel();
    return counted;
}

std::optional<GradeRow> HistoryModel::result(int row) const
{
    if (row < 0 || row >= rows_)
        return std::nullopt;
    if (const GradeRow* found = rowAt(row))
        return *found;
    return std::nullopt;
}

void HistoryModel::close()
{
    const bool hadRows = rows_ > 0;
    if (hadRows)
        beginResetModel();
    source_.reset();
    rows_ = 0;
    pages_.clear();
    pageUse_.clear();
    if (hadRows)
        endResetModel();
}

QString HistoryModel::caption(int column)
{
    return column >= 0 && column < kColumnCount ? QString::fromUtf8(kColumns[column].caption) : QString();
}

int HistoryModel::widthTwips(int column)
{
    return column >= 0 && column < kColumnCount ? kColumns[column].widthTwips : 0;
}

namespace {
// The interface speaks Chinese whatever the system locale, and so do its dates and times.
const QLocale& chinese()
{
    static const QLocale locale(QLocale::Chinese, QLocale::China);
    return locale;
}
} // namespace

QString HistoryModel::displayText(const GradeRow& row, int column)
{
    switch (column) {
    case 0:
        return row.xh;
    case 1:
        return row.xm;
    case 2:
        return row.lrxm;
    case 3:
        return Scoring::figureText(row.lrcj);
    case 4:
        return Scoring::figureText(row.lrsd);
    case 5:
        return Scoring::figureText(row.lrzql);
    case 6:
        return row.lrdate.isValid() ? chinese().toString(row.lrdate, QLocale::ShortFormat) : QString();
    case 7:
        return row.lrtime.isValid() ? chinese().toString(row.lrtime, QLocale::ShortFormat) : QString();
    case 8:
        return row.lrpc;
    default:
        return QString();
    }
}

int HistoryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : rows_;
}

int HistoryModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rows_ || index.column() >= kColumnCount)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        if (const GradeRow* row = rowAt(index.row()))
            return displayText(*row, index.column());
        return QVariant();
    case Qt::TextAlignmentRole:
        if (kColumns[index.column()].centred)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    default:
        return QVariant();
    }
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        if (role == Qt::DisplayRole)
            return caption(section);
        return QVariant();
    }
    // The row headers are plain record selectors, without numbers.
    if (role == Qt::DisplayRole)
        return QString();
    return QVariant();
}

Qt::ItemFlags HistoryModel::flags(const QModelIndex& index) const
{
    // Results are read, never edited here.
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

PageReply HistoryModel::readPage(int page) const
{
    const qint64 offset = qint64(page) * kPageSize;
    const int expected = int(qMin<qint64>(kPageSize, rows_ - offset));
    // Scrolling moves to a neighbouring page: continue from its edge instead of counting
    // every result from the top again.
    std::optional<HistoryPages::Cursor> next;
    if (auto before = pages_.constFind(page - 1); before != pages_.cend() && before->last.valid)
        next = HistoryPages::Cursor::olderThan(before->last);
    else if (auto after = pages_.constFind(page + 1); after != pages_.cend() && after->first.valid)
        next = HistoryPages::Cursor::newerThan(after->first);
    PageReply loaded;
    if (next)
        loaded = source_->read(*next, kPageSize);
    // Results without a date or time sort last and cannot be reached by key; a page that comes
    // back short (or results added meanwhile) is read by position instead.
    const bool byKey = next && loaded.ok() && loaded.page.rows.size() == expected;
    if (!byKey)
        loaded = source_->read(HistoryPages::Cursor::at(offset), kPageSize);
    ++pagesRead_;
    if (byKey)
        ++pagesReadByKey_;
    return loaded;
}

const GradeRow* HistoryModel::rowAt(int row) const
{
    if (!source_ || failing_)
        return nullptr;
    const int page = row / kPageSize;
    auto found = pages_.find(page);
    if (found == pages_.end()) {
        const PageReply loaded = readPage(page);
        if (!loaded.ok()) {
            // data() runs while the grid paints: report and empty the table afterwards.
            failing_ = true;
            const QString message = storeProblem(loaded);
            auto* self = const_cast<HistoryModel*>(this);
            QMetaObject::invokeMethod(
                self, [self, message] { self->failAfterOpen(message); }, Qt::QueuedConnection);
            return nullptr;
        }
        if (pages_.size() >= kCachedPages)
            pages_.remove(pageUse_.takeFirst());
        found = pages_.insert(page, loaded.page);
        pageUse_.append(page);
    } else if (pageUse_.last() != page) {
        pageUse_.removeOne(page);
        pageUse_.append(page);
    }
    const int offset = row % kPageSize;
    // Fewer rows than counted: results were removed while the window was open.
    return offset < found->rows.size() ? &found->rows.at(offset) : nullptr;
}

void HistoryModel::failAfterOpen(const QString& message)
{
    close();
    failing_ = false;
    emit readFailed(message);
}
