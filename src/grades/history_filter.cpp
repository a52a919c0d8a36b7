#include "grades/history_filter.h"

#include "platform/byte_length.h"

#include <QRegularExpression>

namespace HistoryPages {

namespace Filters {

namespace {

// The limits of the boxes the results were logged in with.
constexpr int kNumberLimit = 10;
constexpr int kNameLimit = 12;
constexpr int kBatchLimit = 10;

const char kDateHint[] = "请按“年-月-日”输入，如2026-12-07。";

// A date as the store receives it: exactly the stored form, or nothing.
bool isStoredDate(const QString& text)
{
    const QDate date = QDate::fromString(text, Qt::ISODate);
    return date.isValid() && date.toString(Qt::ISODate) == text;
}

} // namespace

std::optional<QString> problem(const Filter& filter)
{
    const ByteLength number = measureBytes(filter.number);
    if (number.bytes > kNumberLimit || number.doubleByte)
        return QStringLiteral("学号不能超过10位或有全角字符！");
    if (bytelen(filter.name) > kNameLimit)
        return QStringLiteral("姓名不能大于12位！");
    const ByteLength batch = measureBytes(filter.batch);
    if (batch.bytes > kBatchLimit || batch.doubleByte)
        return QStringLiteral("批次号不能超过10位或有全角字符！");
    if (!filter.from.isEmpty() && !isStoredDate(filter.from))
        return QStringLiteral("起始日期有误！") + QString::fromUtf8(kDateHint);
    if (!filter.to.isEmpty() && !isStoredDate(filter.to))
        return QStringLiteral("结束日期有误！") + QString::fromUtf8(kDateHint);
    // Both are in the stored form, which sorts as the calendar does.
    if (!filter.from.isEmpty() && !filter.to.isEmpty() && filter.from > filter.to)
        return QStringLiteral("起始日期不能晚于结束日期！");
    if (filter.kind && !ExerciseKinds::fromNumber(int(*filter.kind)))
        return QStringLiteral("没有这个录入项目。");
    return std::nullopt;
}

QDate parseDate(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^(\\d{4})([-/.])(\\d{1,2})\\2(\\d{1,2})$"));
    const QRegularExpressionMatch match = form.match(trimSpaces(text));
    if (!match.hasMatch())
        return QDate();
    return QDate(match.captured(1).toInt(), match.captured(3).toInt(), match.captured(4).toInt());
}

Parsed fromBoxes(const QString& number, const QString& name, const QString& batch, const QString& from,
                 const QString& to, std::optional<ExerciseKind> kind)
{
    Parsed parsed;
    Filter& filter = parsed.filter;
    filter.number = trimSpaces(number);
    filter.name = trimSpaces(name);
    filter.batch = trimSpaces(batch);
    filter.kind = kind;
    // A date that is no day of the calendar (2026-02-30) is named in the message as typed.
    const auto date = [&parsed](const QString& text, const char* which, QString& into) {
        const QString typed = trimSpaces(text);
        if (typed.isEmpty() || parsed.problem)
            return;
        const QDate day = parseDate(typed);
        if (!day.isValid())
            parsed.problem = QStringLiteral("%1“%2”不是有效的日期！").arg(QString::fromUtf8(which), typed)
                + QString::fromUtf8(kDateHint);
        else
            into = day.toString(Qt::ISODate);
    };
    if (!(parsed.problem = problem(Filter{filter.number, filter.name, filter.batch, {}, {}, kind}))) {
        date(from, "起始日期", filter.from);
        date(to, "结束日期", filter.to);
    }
    if (!parsed.problem)
        parsed.problem = problem(filter);
    return parsed;
}

} // namespace Filters

} // namespace HistoryPages
