#pragma once
// The state every window shares, and the routines that need no window: bytelen and opendb.

#include <QString>

class QObject;
class GradeStore;

// The program's Login mode and Exercise type, under the numbers they always had.
enum class LoginMode : quint8 { None = 0, Practice = 1, Test = 2, System = 3 };
enum class ExerciseType : quint8 { None = 0, English = 1, Chinese = 2 };

struct ProgramState {
    ExerciseType exerciseType = ExerciseType::None;
    LoginMode loginMode = LoginMode::None;
    QString batchNumber;                  // trimmed batch of the current test login, else empty
    QString appFolder;                    // the program's own folder, no trailing separator
    bool doubleByte = false;              // the text last measured by bytelen held a double-byte character
    QObject* subclassedTextBox = nullptr; // the read-only box norightclick guards, if any
};

ProgramState& programState();
// Back to the zeroed state of a program start (tests).
void resetProgramState();

// Removes leading and trailing spaces (only spaces, as every input check of the program does).
QString trimSpaces(const QString& text);

// What bytelen measures: the trimmed text's length in code page 936 bytes, and whether it
// holds a double-byte character. A character the code page cannot hold counts 2 and as
// double-byte, so it never passes an ASCII-only check.
struct ByteLength {
    int bytes = 0;
    bool doubleByte = false;
};
// Both are measured, and the Double-byte flag is left set as the text had it.
ByteLength measureBytes(const QString& text);
int bytelen(const QString& text);

// Opens the grade database of the Application folder. Throws DbError.
GradeStore opendb();
