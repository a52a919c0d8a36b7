#pragma once
// The state every window shares, and the routines that need no window: bytelen and opendb.

#include <QString>

class QObject;
class GradeStore;

struct ProgramState {
    quint8 exerciseType = 0;   // 0 none, 1 English, 2 Chinese
    quint8 loginMode = 0;      // 0 none, 1 practice, 2 test, 3 system
    QString batchNumber;       // trimmed batch of the current test login, else empty
    QString appFolder;         // the program's own folder, no trailing separator
    bool doubleByte = false;   // the text last measured by bytelen held a double-byte character
    QObject* subclassedTextBox = nullptr;   // the read-only box norightclick guards, if any
};

ProgramState& programState();
// Back to the zeroed state of a program start (tests).
void resetProgramState();

// Removes leading and trailing spaces (only spaces, as every input check of the program does).
QString trimSpaces(const QString& text);

// Byte length of the trimmed text in code page 936; sets the Double-byte flag. A character
// the code page cannot hold counts 2 and sets the flag, so it never passes an ASCII-only check.
int bytelen(const QString& text);

// Opens the grade database of the Application folder. Throws DbError.
GradeStore opendb();
