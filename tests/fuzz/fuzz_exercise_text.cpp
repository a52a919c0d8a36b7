// Any bytes as an exercise file: the header check, then both splitters on the text (and on the
// bytes themselves, so that the splitters are reached without a valid header too). The line
// table must hold: no line starts past the text, lines follow one another in order, each
// starting where the one before ended or one byte (the LF after a CR) later, and none is
// longer than a display line can be.

#include "exercise/exercise_file_format.h"
#include "exercise/exercise_text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void require(bool condition, const char* what, int line)
{
    if (!condition) {
        std::fprintf(stderr, "line table broken at line %d: %s\n", line, what);
        std::abort();
    }
}

void checkLines(const ExerciseText& text, int longestLine)
{
    require(text.lastLine >= 0 && text.lastLine < ExerciseText::kRows, "last line out of range", text.lastLine);
    for (int k = 0; k <= text.lastLine; ++k) {
        const LineEntry line = text.lineTable[k];
        require(line.start >= 0 && line.start <= text.textLength, "starts past the text", k);
        require(line.length >= 0 && line.length <= longestLine, "too long", k);
        require(line.start + line.length <= text.textLength, "runs past the text", k);
        if (k > 0) {
            const LineEntry before = text.lineTable[k - 1];
            const int gap = line.start - (before.start + before.length);
            require(gap == 0 || gap == 1, "does not follow the line before", k);
        }
    }
}

void split(const QByteArray& body)
{
    if (body.isEmpty() || body.size() > ExerciseFileFormat::kMaxTextBytes)
        return;
    ExerciseText text;
    std::memcpy(text.textBytes.data(), body.constData(), std::size_t(body.size()));
    text.textLength = int(body.size());
    ExerciseText chinese = text;
    if (ExerciseLoader::splitEnglish(text))
        checkLines(text, 92);
    if (ExerciseLoader::splitChinese(chinese))
        checkLines(chinese, 93);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const auto text = ExerciseFileFormat::textOf(bytes))
        split(*text);
    split(bytes.left(ExerciseFileFormat::kMaxTextBytes));
    return 0;
}
