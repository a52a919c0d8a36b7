#include "store/store_protocol.h"

#include <QDBusMetaType>

namespace StoreProtocol {

void registerTypes()
{
    qDBusRegisterMetaType<GradeRow>();
    qDBusRegisterMetaType<QList<GradeRow>>();
    qDBusRegisterMetaType<HistoryPages::Key>();
    qDBusRegisterMetaType<HistoryPages::Filter>();
    qDBusRegisterMetaType<HistoryPages::Cursor>();
    qDBusRegisterMetaType<StoreReply>();
    qDBusRegisterMetaType<LoginReply>();
    qDBusRegisterMetaType<OpenReply>();
    qDBusRegisterMetaType<FinishReply>();
    qDBusRegisterMetaType<PasswordReply>();
    qDBusRegisterMetaType<RowsReply>();
    qDBusRegisterMetaType<PageReply>();
    qDBusRegisterMetaType<ResultLogEntry>();
    qDBusRegisterMetaType<QList<ResultLogEntry>>();
    qDBusRegisterMetaType<ResultLogReply>();
    qDBusRegisterMetaType<StudentLogsReply>();
    qDBusRegisterMetaType<OutboxEntry>();
    qDBusRegisterMetaType<QList<OutboxEntry>>();
    qDBusRegisterMetaType<ClaimRequest>();
    qDBusRegisterMetaType<QList<ClaimRequest>>();
    qDBusRegisterMetaType<OutboxReply>();
}

} // namespace StoreProtocol

namespace {

// Dates and times cross as the text they are stored as, empty for none.
QString dateText(const QDate& date)
{
    return date.isValid() ? date.toString(Qt::ISODate) : QString();
}

QString timeText(const QTime& time)
{
    return time.isValid() ? time.toString(QStringLiteral("HH:mm:ss")) : QString();
}

void putStatus(QDBusArgument& argument, const StoreReply& reply)
{
    argument << int(reply.status) << reply.message;
}

void takeStatus(const QDBusArgument& argument, StoreReply& reply)
{
    int status = 0;
    argument >> status >> reply.message;
    reply.status = StoreStatus(status);
}

} // namespace

QDBusArgument& operator<<(QDBusArgument& argument, ExerciseKind kind)
{
    argument << int(kind);
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, ExerciseKind& kind)
{
    int number = 0;
    argument >> number;
    kind = ExerciseKind(number);
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const GradeRow& row)
{
    argument.beginStructure();
    argument << row.xh << row.xm << row.lrxm << row.lrcj << row.lrsd << row.lrzql << dateText(row.lrdate)
             << timeText(row.lrtime) << row.lrpc << row.rowid;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, GradeRow& row)
{
    QString date, time;
    argument.beginStructure();
    argument >> row.xh >> row.xm >> row.lrxm >> row.lrcj >> row.lrsd >> row.lrzql >> date >> time >> row.lrpc
        >> row.rowid;
    argument.endStructure();
    row.lrdate = QDate::fromString(date, Qt::ISODate);
    row.lrtime = QTime::fromString(time, Qt::ISODate);
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const HistoryPages::Key& key)
{
    argument.beginStructure();
    argument << key.lrdate << key.lrtime << key.rowid << key.valid;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, HistoryPages::Key& key)
{
    argument.beginStructure();
    argument >> key.lrdate >> key.lrtime >> key.rowid >> key.valid;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const HistoryPages::Filter& filter)
{
    argument.beginStructure();
    // Every kind crosses as 0.
    argument << filter.number << filter.name << filter.batch << filter.from << filter.to
             << (filter.kind ? int(*filter.kind) : 0);
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, HistoryPages::Filter& filter)
{
    argument.beginStructure();
    int kind = 0;
    argument >> filter.number >> filter.name >> filter.batch >> filter.from >> filter.to >> kind;
    argument.endStructure();
    filter.kind = kind == 0 ? std::nullopt : std::optional<ExerciseKind>(ExerciseKind(kind));
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const HistoryPages::Cursor& cursor)
{
    argument.beginStructure();
    argument << int(cursor.from) << cursor.offset << cursor.key;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, HistoryPages::Cursor& cursor)
{
    int from = 0;
    argument.beginStructure();
    argument >> from >> cursor.offset >> cursor.key;
    argument.endStructure();
    cursor.from = HistoryPages::Cursor::From(from);
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const StoreReply& reply)
{
    argument.beginStructure();
    putStatus(argument, reply);
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, StoreReply& reply)
{
    argument.beginStructure();
    takeStatus(argument, reply);
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const LoginReply& reply)
{
    argument.beginStructure();
    putStatus(argument, reply);
    argument << reply.session << reply.seconds << reply.number << reply.name << reply.batch;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, LoginReply& reply)
{
    argument.beginStructure();
    takeStatus(argument, reply);
    argument >> reply.session >> reply.seconds >> reply.number >> reply.name >> reply.batch;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const OpenReply& reply)
{
    argument.beginStructure();
    putStatus(argument, reply);
    argument << reply.exercise << reply.digit << reply.text;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, OpenReply& reply)
{
    argument.beginStructure();
    takeStatus(argument, reply);
    argument >> reply.exercise >> reply.digit >> reply.text;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const FinishReply& reply)
{
    argument.beginStructure();
    putStatus(argument, reply);
    argument << reply.speed << reply.accuracy << reply.score;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, FinishReply& reply)
{
    argument.beginStructure();
    takeStatus(argument, reply);
    argument >> reply.speed >> reply.accuracy >> reply.score;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const PasswordReply& reply)
{
    argument.beginStructure();
    putStatus(argument, reply);
    argument << reply.password;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PasswordReply& reply)
{
    argument.beginStructure();
    takeStatus(argument, reply);
    argument >> reply.password;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const RowsReply& reply)
{
    argument.beginStructure();
    putStatus(argument, reply);
    argument << reply.rows;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, RowsReply& reply)
{
    argument.beginStructure();
    takeStatus(argument, reply);
    argument >> reply.rows;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const PageReply& reply)
{
    argument.beginStructure();
    putStatus(argument, reply);
    argument << reply.page.rows << reply.page.first << reply.page.last << reply.count;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PageReply& reply)
{
    argument.beginStructure();
    takeStatus(argument, reply);
    argument >> reply.page.rows >> reply.page.first >> reply.page.last >> reply.count;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const ResultLogEntry& entry)
{
    argument.beginStructure();
    argument << entry.row << entry.kind << entry.text << entry.log;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, ResultLogEntry& entry)
{
    argument.beginStructure();
    argument >> entry.row >> entry.kind >> entry.text >> entry.log;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const ResultLogReply& reply)
{
    argument.beginStructure();
    putStatus(argument, reply);
    argument << reply.entry;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, ResultLogReply& reply)
{
    argument.beginStructure();
    takeStatus(argument, reply);
    argument >> reply.entry;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const StudentLogsReply& reply)
{
    argument.beginStructure();
    putStatus(argument, reply);
    argument << reply.entries << reply.withoutLog << reply.leftOut;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, StudentLogsReply& reply)
{
    argument.beginStructure();
    takeStatus(argument, reply);
    argument >> reply.entries >> reply.withoutLog >> reply.leftOut;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const OutboxEntry& entry)
{
    argument.beginStructure();
    argument << entry.id << int(entry.kind) << entry.body;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, OutboxEntry& entry)
{
    int kind = 0;
    argument.beginStructure();
    argument >> entry.id >> kind >> entry.body;
    argument.endStructure();
    entry.kind = OutboxEntry::Kind(kind);
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const ClaimRequest& claim)
{
    argument.beginStructure();
    argument << claim.id << claim.batch << claim.xh << claim.xm;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, ClaimRequest& claim)
{
    argument.beginStructure();
    argument >> claim.id >> claim.batch >> claim.xh >> claim.xm;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const OutboxReply& reply)
{
    argument.beginStructure();
    putStatus(argument, reply);
    argument << reply.entries << reply.claims;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, OutboxReply& reply)
{
    argument.beginStructure();
    takeStatus(argument, reply);
    argument >> reply.entries >> reply.claims;
    argument.endStructure();
    return argument;
}
