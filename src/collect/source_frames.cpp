#include "collect/source_frames.h"

#include <QStringDecoder>
#include <QtEndian>

namespace {

const QByteArray kHeader = QByteArrayLiteral("typelab-reader 1\n");
constexpr int kRowFields = 9;
// Our rows hold short texts; anything longer did not come from a real grade database.
constexpr quint32 kLongestField = 4096;
constexpr quint32 kLongestDescription = 16384;

QByteArray frame(char kind, const QList<QByteArray>& fields)
{
    QByteArray out;
    out.append(kind);
    out.append(char(fields.size()));
    for (const QByteArray& field : fields) {
        char length[4];
        qToBigEndian(quint32(field.size()), length);
        out.append(length, 4);
        out.append(field);
    }
    return out;
}

QString timeText(const QTime& time)
{
    return time.isValid() ? time.toString(Qt::ISODateWithMs) : QString();
}

class Reader {
public:
    explicit Reader(const QByteArray& data) : data_(data) {}
    bool atEnd() const { return at_ == data_.size(); }
    bool skip(const QByteArray& expected)
    {
        if (!data_.mid(at_).startsWith(expected))
            return false;
        at_ += expected.size();
        return true;
    }
    bool frame(char& kind, QList<QString>& fields, quint32 longest)
    {
        if (data_.size() - at_ < 2)
            return false;
        kind = data_.at(at_);
        const int count = quint8(data_.at(at_ + 1));
        at_ += 2;
        fields.clear();
        for (int i = 0; i < count; ++i) {
            if (data_.size() - at_ < 4)
                return false;
            const quint32 length = qFromBigEndian<quint32>(data_.constData() + at_);
            at_ += 4;
            if (length > longest || quint32(data_.size() - at_) < length)
                return false;
            QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            QString text = utf8(QByteArrayView(data_.constData() + at_, length));
            if (utf8.hasError())
                return false;
            fields << text;
            at_ += length;
        }
        return true;
    }

private:
    const QByteArray& data_;
    qsizetype at_ = 0;
};

// A whole number in 32 bits, written the way the reader writes it.
bool number(const QString& text, qint32& value)
{
    bool ok = false;
    value = text.toInt(&ok);
    return ok && QString::number(value) == text;
}

bool date(const QString& text, QDate& value)
{
    value = text.isEmpty() ? QDate() : QDate::fromString(text, Qt::ISODate);
    return text.isEmpty() || value.isValid();
}

bool time(const QString& text, QTime& value)
{
    value = text.isEmpty() ? QTime() : QTime::fromString(text, Qt::ISODateWithMs);
    return text.isEmpty() || value.isValid();
}

} // namespace

namespace SourceFrames {

QByteArray header()
{
    return kHeader;
}
QByteArray missing()
{
    return frame('M', {});
}
QByteArray failure(const QString& description)
{
    return frame('F', {description.left(kLongestDescription / 4).toUtf8()});
}

QByteArray row(const CollectionRow& r)
{
    return frame('R',
                 {r.xh.toUtf8(), r.xm.toUtf8(), r.lrxm.toUtf8(), QByteArray::number(r.lrcj), QByteArray::number(r.lrsd),
                  QByteArray::number(r.lrzql),
                  r.lrdate.isValid() ? r.lrdate.toString(Qt::ISODate).toUtf8() : QByteArray(),
                  timeText(r.lrtime).toUtf8(), r.lrpc.toUtf8()});
}

QByteArray end(qint64 rows)
{
    return frame('Z', {QByteArray::number(rows)});
}

Decoded decode(const QByteArray& output)
{
    Decoded garbage;
    Reader in(output);
    if (!in.skip(kHeader))
        return garbage;
    Decoded result;
    char kind = 0;
    QList<QString> fields;
    if (!in.frame(kind, fields, kLongestDescription))
        return garbage;
    if (kind == 'M' || kind == 'F') {
        if (!in.atEnd() || fields.size() != (kind == 'M' ? 0 : 1))
            return garbage;
        result.kind = kind == 'M' ? Decoded::Kind::Missing : Decoded::Kind::Failure;
        if (kind == 'F')
            result.description = fields.first();
        return result;
    }
    for (;;) {
        if (kind == 'Z') {
            bool ok = false;
            const qint64 count = fields.size() == 1 ? fields.first().toLongLong(&ok) : -1;
            if (!ok || count != result.rows.size() || !in.atEnd())
                return garbage;
            result.kind = Decoded::Kind::Rows;
            return result;
        }
        if (kind != 'R' || fields.size() != kRowFields)
            return garbage;
        CollectionRow row;
        row.xh = fields[0];
        row.xm = fields[1];
        row.lrxm = fields[2];
        row.lrpc = fields[8];
        if (!number(fields[3], row.lrcj) || !number(fields[4], row.lrsd) || !number(fields[5], row.lrzql)
            || !date(fields[6], row.lrdate) || !time(fields[7], row.lrtime))
            return garbage;
        result.rows << row;
        if (!in.frame(kind, fields, kLongestField))
            return garbage;
    }
}

} // namespace SourceFrames
