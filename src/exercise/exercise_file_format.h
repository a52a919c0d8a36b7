#pragma once
// The exercise file layout, shared by the exercise texts, the help file and the tools that
// show and replace them: a 32-byte header (magic 07 58 10 16, the text length in bytes 16-17,
// little-endian), then the text in code page 936 with CR LF line ends.

#include <QByteArray>
#include <QFileDevice>
#include <QString>
#include <optional>

namespace ExerciseFileFormat {

constexpr int kHeaderSize = 32;
constexpr int kMaxTextBytes = 4096;

// True when the header's magic is right and the file length equals the length field + 32,
// that sum taken in signed 16-bit arithmetic (a sum above 32767 is never valid).
bool isValid(const QByteArray& header, qint64 fileLength);
// The text of a whole file, or nullopt when the file is not valid.
std::optional<QByteArray> textOf(const QByteArray& file);
// Reads a file of this layout from disk: its text when the header is valid and the whole
// file could be read. Every reader of exercise and help files goes through here.
struct FileRead {
    enum class Status { Ok, CannotOpen, WrongFormat, ReadError };
    Status status = Status::CannotOpen;
    QByteArray text;
    QFileDevice::FileError error = QFileDevice::NoError; // for CannotOpen and ReadError
};
FileRead readFile(const QString& path);

// A whole file: the given header (or a fresh one) with the text's length put into bytes 16-17.
QByteArray build(const QByteArray& text, const QByteArray& header = {});

// Plain text as it is written on this platform (UTF-8, LF) turned into exercise text: code
// page 936 with CR LF line ends, ending in CR LF. Text already in code page 936 with CR LF
// comes back unchanged.
struct Conversion {
    QByteArray text;
    QString unencodable; // the first character code page 936 cannot hold, if any
};
Conversion toExerciseText(const QByteArray& source);

} // namespace ExerciseFileFormat
