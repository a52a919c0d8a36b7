#include "collect/live_attempts_model.h"

#include "exercise/scoring.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>
#include <QSet>

namespace {

QString clockTime(const std::optional<qint64>& milliseconds)
{
    if (!milliseconds)
        return {};
    return QDateTime::fromMSecsSinceEpoch(*milliseconds).toLocalTime().toString(QStringLiteral("HH:mm:ss"));
}

QString figure(const std::optional<double>& value)
{
    return value ? Scoring::figureText(*value) : QString();
}

} // namespace

LiveAttemptsModel::LiveAttemptsModel(std::function<qint64()> serverNow, QObject* parent)
    : QAbstractTableModel(parent), serverNow_(std::move(serverNow))
{}

QString LiveAttemptsModel::stateText(LiveAttempt::State state)
{
    switch (state) {
    case LiveAttempt::State::Waiting:
        return QStringLiteral("已登录");
    case LiveAttempt::State::Typing:
        return QStringLiteral("录入中");
    case LiveAttempt::State::Finished:
        return QStringLiteral("已交卷");
    case LiveAttempt::State::Silent:
        return QStringLiteral("无响应");
    }
    return {};
}

QString LiveAttemptsModel::checkText(const LiveAttempt& attempt)
{
    if (!attempt.finished)
        return {};
    if (!attempt.verified)
        return QStringLiteral("待核对");
    return *attempt.verified ? QStringLiteral("核对无误") : QStringLiteral("核对不符");
}

QString LiveAttemptsModel::marksText(const LiveAttempt& attempt)
{
    QStringList marks;
    if (attempt.duplicate)
        marks << QStringLiteral("重复参加");
    if (!attempt.marks.isEmpty())
        marks << attempt.marks;
    return marks.join(QStringLiteral("；"));
}

QString LiveAttemptsModel::text(const LiveAttempt& attempt, int column) const
{
    switch (column) {
    case Number:
        return attempt.xh;
    case Name:
        return attempt.xm;
    case Machine:
        return attempt.machine;
    case Began:
        return clockTime(attempt.beganAt);
    case State:
        return {}; // data() shows the state as last evaluated
    case Typed:
        return attempt.typed ? QString::number(*attempt.typed) : QString();
    case TimeLeft:
        if (attempt.finished || !attempt.secondsLeft)
            return {};
        return QStringLiteral("%1:%2")
            .arg(*attempt.secondsLeft / 60)
            .arg(*attempt.secondsLeft % 60, 2, 10, QChar(u'0'));
    case Speed:
        return figure(attempt.lrsd);
    case Accuracy:
        return attempt.lrzql ? figure(attempt.lrzql) + QStringLiteral("%") : QString();
    case Score:
        return figure(attempt.lrcj);
    case Check:
        return checkText(attempt);
    case Marks:
        return marksText(attempt);
    }
    return {};
}

int LiveAttemptsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int LiveAttemptsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Columns;
}

QVariant LiveAttemptsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rows_.size())
        return {};
    const LiveAttempt& attempt = rows_.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == State)
            return stateText(states_.at(index.row()));
        return text(attempt, index.column());
    case Qt::ToolTipRole:
        // The marks can be longer than their column.
        return index.column() == Marks ? marksText(attempt) : QVariant();
    case Qt::TextAlignmentRole:
        return index.column() >= Typed && index.column() <= Score ? int(Qt::AlignRight | Qt::AlignVCenter)
                                                                  : int(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::BackgroundRole:
        // Silent machines stand out in pale red, marked results in pale yellow.
        if (states_.value(index.row()) == LiveAttempt::State::Silent)
            return QBrush(QColor(255, 214, 214));
        if (attempt.marked() || attempt.verified == false)
            return QBrush(QColor(255, 244, 196));
        return {};
    case Qt::ForegroundRole:
        if (index.column() == Check && attempt.verified == false)
            return QBrush(QColor(176, 0, 0));
        return {};
    default:
        return {};
    }
}

QVariant LiveAttemptsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char* const captions[Columns] = {"学号",     "姓名", "机器",   "开始时间", "状态", "已录字数",
                                                  "剩余时间", "速度", "准确率", "成绩",     "复核", "标记"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= Columns)
        return QAbstractTableModel::headerData(section, orientation, role);
    return QString::fromUtf8(captions[section]);
}

void LiveAttemptsModel::merge(const QList<LiveAttempt>& incoming)
{
    const qint64 now = serverNow_();
    // Both lists are sorted alike: walk them together.
    int row = 0;
    for (const LiveAttempt& attempt : incoming) {
        while (row < rows_.size() && rows_.at(row).sortsBefore(attempt) && !rows_.at(row).sameAttempt(attempt)) {
            beginRemoveRows({}, row, row);
            rows_.removeAt(row);
            states_.removeAt(row);
            endRemoveRows();
        }
        if (row < rows_.size() && rows_.at(row).sameAttempt(attempt)) {
            const LiveAttempt::State state = attempt.state(now);
            if (!(rows_.at(row) == attempt) || states_.at(row) != state) {
                rows_[row] = attempt;
                states_[row] = state;
                emit dataChanged(index(row, 0), index(row, Columns - 1));
            }
        } else {
            beginInsertRows({}, row, row);
            rows_.insert(row, attempt);
            states_.insert(row, attempt.state(now));
            endInsertRows();
        }
        ++row;
    }
    if (row < rows_.size()) {
        beginRemoveRows({}, row, int(rows_.size()) - 1);
        rows_.remove(row, rows_.size() - row);
        states_.remove(row, states_.size() - row);
        endRemoveRows();
    }
}

void LiveAttemptsModel::reevaluate()
{
    const qint64 now = serverNow_();
    for (int row = 0; row < rows_.size(); ++row) {
        const LiveAttempt::State state = rows_.at(row).state(now);
        if (state != states_.at(row)) {
            states_[row] = state;
            emit dataChanged(index(row, 0), index(row, Columns - 1));
        }
    }
}

LiveAttemptsModel::Counts LiveAttemptsModel::counts() const
{
    Counts counts;
    QSet<QString> students;
    for (int row = 0; row < rows_.size(); ++row) {
        students.insert(rows_.at(row).xh.toLower());
        switch (states_.at(row)) {
        case LiveAttempt::State::Waiting:
            ++counts.waiting;
            break;
        case LiveAttempt::State::Typing:
            ++counts.typing;
            break;
        case LiveAttempt::State::Finished:
            ++counts.finished;
            break;
        case LiveAttempt::State::Silent:
            ++counts.silent;
            break;
        }
        if (rows_.at(row).marked())
            ++counts.marked;
    }
    counts.students = int(students.size());
    return counts;
}
