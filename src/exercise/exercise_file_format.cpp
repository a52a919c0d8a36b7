#include "exercise/exercise_file_format.h"

#include "platform/codepage.h"

#include <QList>
#include <QFile>
#include <QStringDecoder>

namespace ExerciseFileFormat {
namespace {
const char kMagic[4] = {0x07, 0x58, 0x10, 0x16};
}

bool isValid(const QByteArray& header, qint64 fileLength)
{
    if (header.size() < kHeaderSize)
        return false;
    for (int i = 0; i < 4; ++i)
        if (header.at(i) != kMagic[i])
            return false;
    const int high = quint8(header.at(17));
    const int low = quint8(header.at(16));
    // byte 17 * 256 overflows a signed 16-bit value from 0x80 on, and so does the sum above 32767.
    if (high >= 0x80)
        return false;
    const int sum = high * 256 + low + kHeaderSize;
    if (sum > 32767)
        return false;
    return fileLength == sum;
}

std::optional<QByteArray> textOf(const QByteArray& file)
{
    if (!isValid(file.left(kHeaderSize), file.size()))
        return std::nullopt;
    return file.mid(kHeaderSize);
}

FileRead readFile(const QString& path)
{
    FileRead result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = file.error();
        return result;
    }
    const QByteArray header = file.read(kHeaderSize);
    if (!isValid(header, file.size())) {
        result.status = FileRead::Status::WrongFormat;
        return result;
    }
    // A valid length field is at most 32767 - 32, so the rest is small enough to read whole.
    const QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError || header.size() + text.size() != file.size()) {
        result.status = FileRead::Status::ReadError;
        result.error = file.error();
        return result;
    }
    result.status = FileRead::Status::Ok;
    result.text = text;
    return result;
}

QByteArray build(const QByteArray& text, const QByteArray& header)
{
    QByteArray file = header.size() >= kHeaderSize ? header.left(kHeaderSize) : QByteArray(kHeaderSize, '\0');
    if (header.size() < kHeaderSize)
        file.replace(0, 4, QByteArray(kMagic, 4));
    file[16] = char(text.size() & 0xff);
    file[17] = char((text.size() >> 8) & 0xff);
    return file + text;
}

Conversion toExerciseText(const QByteArray& source)
{
    Conversion result;
    bool ascii = true;
    for (char byte : source)
        ascii = ascii && quint8(byte) < 0x80;
    QByteArray bytes = source;
    bool converted = false;
    if (!ascii) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = utf8.decode(source);
        if (!utf8.hasError()) {
            if (auto unencodable = CodePage::firstUnencodable(text)) {
                result.unencodable = QString::fromUcs4(&*unencodable, 1);
                return result;
            }
            bytes = *CodePage::encode(text);
            converted = true;
        }
        // Not UTF-8: taken as code page 936 already, byte for byte.
    }
    // Bare LF line ends become CR LF; CR LF stays as it is.
    QByteArray text;
    text.reserve(bytes.size() + bytes.size() / 40);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes.at(i) == '\n' && (i == 0 || bytes.at(i - 1) != '\r')) {
            text.append('\r');
            converted = true;
        }
        text.append(bytes.at(i));
    }
    // An editor's file often has no line end after its last line, and a short last line
    // without one is not part of an exercise: a converted text gets its final CR LF.
    if (converted && !text.isEmpty() && !text.endsWith("\r\n"))
        text.append("\r\n");
    result.text = text;
    return result;
}

} // namespace ExerciseFileFormat
