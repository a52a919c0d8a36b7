#pragma once
// One exercise text as the typing engine sees it: the bytes of the text and their display
// lines.

#include "exercise/exercise_kind.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <functional>
#include <optional>

// Start position and byte length of one display line. A line ending at a CR counts the CR
// but not the LF.
struct LineEntry {
    qint16 start = 0;
    qint16 length = 0;
};

struct ExerciseText {
    static constexpr int kPositions = 4097; // positions 0 to 4096
    static constexpr int kRows = 201;       // display lines 0 to 200

    std::array<quint8, kPositions> textBytes{};
    int textLength = 0; // bytes of text actually loaded
    std::array<LineEntry, kRows> lineTable{};
    qint32 lastLine = 0; // index of the last display line

    int lineCount() const { return lastLine + 1; }
    // The byte at p, or 0 past the text or the buffer: look-aheads never read stale bytes.
    quint8 byteAt(int p) const { return p >= 0 && p < textLength ? textBytes[p] : 0; }
};

namespace ExerciseLoader {

// The file-name digit from a random number 0 <= r < 1: the last character of the decimal text
// (7 significant digits, trailing zeros dropped) of r * 10 in single precision.
int digitFor(float r);
// Where the exercise files lie: <app>/yw/ydzcsN.dat for English, <app>/zw/cdzcsN.dat otherwise.
QString pathFor(const QString& appFolder, ExerciseKind kind, int digit);
// Draws the digit with the random source (freshly seeded from the clock), or a test's.
int drawDigit();
void setRandomSourceForTests(std::function<float()> source); // empty: the real one again
// What a test's source gives now, so that a store started for the test can draw the same.
std::optional<float> testDrawValue();

// Splits text.textBytes[0 .. textLength) into display lines; false when the text needs more
// than 201 rows.
bool splitEnglish(ExerciseText& text);
bool splitChinese(ExerciseText& text);

// Reads, checks and splits one exercise file; nullopt for any bad file (missing, wrong magic
// or length, over 4096 bytes, too many lines, unreadable).
std::optional<ExerciseText> load(const QString& path, ExerciseKind kind);
// The same for the text of a file already read (after its header).
std::optional<ExerciseText> fromText(const QByteArray& text, ExerciseKind kind);

} // namespace ExerciseLoader
