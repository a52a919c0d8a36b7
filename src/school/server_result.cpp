#include "school/server_result.h"

#include <QDataStream>
#include <QIODevice>

namespace {
// The form of the encoded bytes; one that reads an older form keeps reading it.
constexpr quint8 kForm = 1;
constexpr QDataStream::Version kStreamVersion = QDataStream::Qt_6_4;
} // namespace

QByteArray ServerResult::encode() const
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(kStreamVersion);
    out << kForm << id << row.xh << row.xm << row.lrxm << row.lrcj << row.lrsd << row.lrzql
        << row.lrdate.toString(Qt::ISODate) << row.lrtime.toString(QStringLiteral("HH:mm:ss")) << row.lrpc
        << qint32(kind) << text << log;
    return bytes;
}

std::optional<ServerResult> ServerResult::decode(const QByteArray& bytes)
{
    QDataStream in(bytes);
    in.setVersion(kStreamVersion);
    quint8 form = 0;
    in >> form;
    if (form != kForm)
        return std::nullopt;
    ServerResult result;
    QString date, time;
    qint32 kind = 0;
    in >> result.id >> result.row.xh >> result.row.xm >> result.row.lrxm >> result.row.lrcj >> result.row.lrsd
        >> result.row.lrzql >> date >> time >> result.row.lrpc >> kind >> result.text >> result.log;
    if (in.status() != QDataStream::Ok || !in.atEnd())
        return std::nullopt;
    result.row.lrdate = QDate::fromString(date, Qt::ISODate);
    result.row.lrtime = QTime::fromString(time, Qt::ISODate);
    const std::optional<ExerciseKind> known = ExerciseKinds::fromNumber(kind);
    if (!known || !result.row.lrdate.isValid() || !result.row.lrtime.isValid() || result.id.isEmpty())
        return std::nullopt;
    result.kind = *known;
    return result;
}

bool ServerResult::operator==(const ServerResult& other) const
{
    return encode() == other.encode();
}
