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
    const ExerciseFileFormat::Conversion converted = ExerciseFileFormat::toExerciseText(bytes);
    // A converted text ends with its line end, so its last line is typed.
    if (converted.unencodable.isEmpty() && !converted.text.isEmpty() && !converted.text.endsWith("\r\n"))
        std::abort();
    return 0;
}
