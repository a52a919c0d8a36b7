#include "school/server_notes.h"

#include <QDataStream>
#include <QIODevice>

namespace {

constexpr quint8 kForm = 1;
constexpr QDataStream::Version kStreamVersion = QDataStream::Qt_6_4;

template <typename Write> QByteArray encoded(Write write)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(kStreamVersion);
    out << kForm;
    write(out);
    return bytes;
}

template <typename Read> bool decoded(const QByteArray& bytes, Read read)
{
    QDataStream in(bytes);
    in.setVersion(kStreamVersion);
    quint8 form = 0;
    in >> form;
    if (form != kForm)
        return false;
    read(in);
    return in.status() == QDataStream::Ok && in.atEnd();
}

} // namespace

QByteArray ServerClaim::encode() const
{
    return encoded([&](QDataStream& out) { out << id << batch << xh << xm << onMachine.toString(Qt::ISODateWithMs); });
}

std::optional<ServerClaim> ServerClaim::decode(const QByteArray& bytes)
{
    ServerClaim claim;
    QString when;
    if (!decoded(bytes, [&](QDataStream& in) { in >> claim.id >> claim.batch >> claim.xh >> claim.xm >> when; }))
        return std::nullopt;
    claim.onMachine = QDateTime::fromString(when, Qt::ISODateWithMs);
    if (claim.id.isEmpty() || claim.batch.isEmpty() || claim.xh.isEmpty())
        return std::nullopt;
    return claim;
}

QByteArray ProgressNote::encode() const
{
    return encoded([&](QDataStream& out) { out << batch << xh << xm << qint32(typed) << qint32(secondsLeft); });
}

std::optional<ProgressNote> ProgressNote::decode(const QByteArray& bytes)
{
    ProgressNote note;
    qint32 typed = 0, secondsLeft = 0;
    if (!decoded(bytes, [&](QDataStream& in) { in >> note.batch >> note.xh >> note.xm >> typed >> secondsLeft; }))
        return std::nullopt;
    note.typed = typed;
    note.secondsLeft = secondsLeft;
    if (note.batch.isEmpty() || note.xh.isEmpty())
        return std::nullopt;
    return note;
}
