#include "exercise/exercise_text.h"

#include "exercise/exercise_file_format.h"

#include <QStringLiteral>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>

namespace ExerciseLoader {
namespace {

std::function<float()>& randomSourceOverride()
{
    static std::function<float()> source;
    return source;
}

// A fresh generator seeded from the clock at every draw; 24 random bits give 0 <= r < 1.
float clockSeededRandom()
{
    const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    std::mt19937 generator(static_cast<std::mt19937::result_type>(ticks ^ (ticks >> 32)));
    return float(generator() >> 8) / float(1u << 24);
}

constexpr quint8 kCr = 13;

bool inList(quint8 byte, const char* list)
{
    return byte != 0 && std::strchr(list, byte) != nullptr;
}

const char* const kEnClosingMarks = ",.:>!?]})";
const char* const kEnOpeningMarks = "({<[";

// Full-width marks as their two-byte codes in code page 936.
constexpr quint16 kCnClosingMarks[] = {
    0xA3AC, // ，
    0xA1A3, // 。
    0xA3BA, // ：
    0xA3BB, // ；
    0xA1A2, // 、
    0xA3A1, // ！
    0xA3BF, // ？
    0xA1B7, // 》
    0xA3A9, // ）
    0xA1B1, // ”
    0xA1AF, // ’
};
constexpr quint16 kCnOpeningMarks[] = {
    0xA1B6, // 《
    0xA3A8, // （
    0xA1B0, // “
    0xA1AE, // ‘
};

template <std::size_t N> bool inTable(quint16 code, const quint16 (&table)[N])
{
    for (quint16 entry : table)
        if (entry == code)
            return true;
    return false;
}

// The line table being filled: breaks add rows and fail once row 200 is used up, since the
// row after the last line must still receive its start.
class LineBuilder {
public:
    explicit LineBuilder(ExerciseText& text) : text_(text)
    {
        text_.lineTable.fill(LineEntry{});
        text_.lastLine = 0;
    }

    int column(int p) const { return p - text_.lineTable[n_].start; }

    // Line n ends with `length` bytes; line n + 1 starts at `nextStart` (never past the text).
    bool endLine(int length, int nextStart, bool byLineEnd)
    {
        if (n_ + 1 >= ExerciseText::kRows)
            return false;
        text_.lineTable[n_].length = qint16(length);
        ++n_;
        text_.lineTable[n_].start = qint16(std::min(nextStart, text_.textLength));
        startedByLineEnd_ = byLineEnd;
        return true;
    }
    bool breakBefore(int p) { return endLine(column(p), p, false); }
    bool breakAfter(int p) { return endLine(column(p) + 1, p + 1, false); }
    // A CR at p: the line keeps the CR, the LF after it is passed over.
    bool endAtCr(int p) { return endLine(column(p) + 1, p + 2, true); }

    // The end of the text. A line that starts at the end of the text is not a line. A short
    // last line without a line end is left out as before; but a last line that wrapped keeps
    // its unterminated last piece, with its length, so it is shown, typed and counted.
    bool finish(bool lineEnded)
    {
        const int length = text_.textLength;
        const int start = text_.lineTable[n_].start;
        if (length == 0)
            return true; // one empty line; load() refuses a text with nothing to type
        if (start >= length || (lineEnded && startedByLineEnd_)) {
            text_.lastLine = n_ - 1;
            return true;
        }
        if (n_ + 1 >= ExerciseText::kRows)
            return false;
        text_.lineTable[n_].length = qint16(length - start);
        text_.lineTable[n_ + 1].start = qint16(length);
        text_.lastLine = n_;
        return true;
    }

private:
    ExerciseText& text_;
    int n_ = 0;
    bool startedByLineEnd_ = false;
};

} // namespace

int digitFor(float r)
{
    const float product = r * 10.0f;
    char digits[32];
    std::snprintf(digits, sizeof digits, "%.7g", double(product));
    const char last = digits[std::strlen(digits) - 1];
    return last >= '0' && last <= '9' ? last - '0' : 0;
}

QString pathFor(const QString& appFolder, ExerciseKind kind, int digit)
{
    const QString name = kind == ExerciseKind::English ? QStringLiteral("/yw/ydzcs") : QStringLiteral("/zw/cdzcs");
    return appFolder + name + QString::number(digit) + QStringLiteral(".dat");
}

int drawDigit()
{
    const auto& source = randomSourceOverride();
    return digitFor(source ? source() : clockSeededRandom());
}

void setRandomSourceForTests(std::function<float()> source)
{
    randomSourceOverride() = std::move(source);
}

std::optional<float> testDrawValue()
{
    const auto& source = randomSourceOverride();
    return source ? std::optional<float>(source()) : std::nullopt;
}

bool splitEnglish(ExerciseText& text)
{
    LineBuilder lines(text);
    bool lineEnded = false;
    bool singleOpen = false;
    bool doubleOpen = false;
    const int length = text.textLength;
    int p = 0;
    while (p < length) {
        const quint8 b = text.textBytes[p];
        if (b == kCr) {
            if (!lines.endAtCr(p))
                return false;
            lineEnded = true;
            p += 2;
            continue;
        }
        const int col = lines.column(p);
        if (col == 89) {
            const bool opening = inList(b, kEnOpeningMarks) || (b == '\'' && !singleOpen) || (b == '"' && !doubleOpen);
            if (opening && !lines.breakBefore(p))
                return false;
        } else if (col >= 90) {
            lineEnded = false;
            const bool closing = inList(b, kEnClosingMarks) || (b == '\'' && singleOpen) || (b == '"' && doubleOpen);
            if (!closing) {
                if (!lines.breakBefore(p))
                    return false;
            } else if (text.byteAt(p + 1) == kCr) {
                // The mark keeps its line, which ends at the CR like any other line end.
                if (!lines.endLine(col + 2, p + 3, true))
                    return false;
                lineEnded = true;
                singleOpen ^= b == '\'';
                doubleOpen ^= b == '"';
                p += 3;
                continue;
            } else if (!lines.breakAfter(p)) {
                return false;
            }
        }
        singleOpen ^= b == '\'';
        doubleOpen ^= b == '"';
        ++p;
    }
    return lines.finish(lineEnded);
}

bool splitChinese(ExerciseText& text)
{
    LineBuilder lines(text);
    bool lineEnded = false;
    bool nextIsTrail = false; // the byte after a lead byte belongs to it
    const int length = text.textLength;
    int p = 0;
    while (p < length) {
        const quint8 b = text.textBytes[p];
        // Pairs are counted from the start of the text and never cross a CR or the end of
        // the text, so one stray byte cannot shift later breaks into a character.
        const bool trail = nextIsTrail;
        const bool lead = !trail && b >= 0x80 && p + 1 < length && text.textBytes[p + 1] != kCr;
        nextIsTrail = lead;
        if (b == kCr && !trail) {
            if (!lines.endAtCr(p))
                return false;
            lineEnded = true;
            p += 2;
            continue;
        }
        const int col = lines.column(p);
        const quint16 code = lead ? quint16(b << 8 | text.textBytes[p + 1]) : 0;
        bool ok = true;
        if (col < 87) {
            // nothing
        } else if (lead && col == 87) {
            lineEnded = false;
            if (inTable(code, kCnOpeningMarks) && text.byteAt(p + 2) >= 0x80)
                ok = lines.breakBefore(p);
        } else if (lead && col == 88) {
            lineEnded = false;
            if (inTable(code, kCnOpeningMarks))
                ok = lines.breakBefore(p);
        } else if (lead && (col == 89 || col == 90)) {
            // A closing mark may hang past column 89; anything else starts the next line.
            lineEnded = false;
            if (!inTable(code, kCnClosingMarks))
                ok = lines.breakBefore(p);
        } else if (col == 90 && !trail) {
            ok = lines.breakBefore(p);
        } else if (col >= 90 && text.byteAt(p + 1) != kCr) {
            ok = lines.breakAfter(p);
            lineEnded = true;
        }
        if (!ok)
            return false;
        ++p;
    }
    return lines.finish(lineEnded);
}

std::optional<ExerciseText> load(const QString& path, ExerciseKind kind)
{
    const ExerciseFileFormat::FileRead file = ExerciseFileFormat::readFile(path);
    if (file.status != ExerciseFileFormat::FileRead::Status::Ok)
        return std::nullopt;
    return fromText(file.text, kind);
}

std::optional<ExerciseText> fromText(const QByteArray& body, ExerciseKind kind)
{
    // Nothing to type is as unusable as too much.
    if (body.isEmpty() || body.size() > ExerciseFileFormat::kMaxTextBytes)
        return std::nullopt;

    ExerciseText text;
    std::memcpy(text.textBytes.data(), body.constData(), std::size_t(body.size()));
    text.textLength = int(body.size());
    const bool split = kind == ExerciseKind::English ? splitEnglish(text) : splitChinese(text);
    if (!split)
        return std::nullopt;
    return text;
}

} // namespace ExerciseLoader
