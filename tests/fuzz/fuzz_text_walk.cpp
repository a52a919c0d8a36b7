// Any bytes as the text of the show-file box or the help viewer, walked both ways; and the same
// bytes as a source text for replacing an exercise file.

#include "exercise/exercise_file_format.h"
#include "maintenance/text_walk.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    walkExerciseText(bytes, false);
    walkExerciseText(bytes, true);
    // Every line end of a converted text is CR LF: no LF stands alone.
    const QByteArray converted = ExerciseFileFormat::toExerciseText(bytes).text;
    for (qsizetype i = 0; i < converted.size(); ++i)
        if (converted.at(i) == '\n' && (i == 0 || converted.at(i - 1) != '\r'))
            std::abort();
    return 0;
}
