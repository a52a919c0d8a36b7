#pragma once
// How every input check of the program measures a text: trimmed of spaces, in code page 936
// bytes.

#include <QString>

// Removes leading and trailing spaces (only spaces, as every input check of the program does).
QString trimSpaces(const QString& text);

// What bytelen measures: the trimmed text's length in code page 936 bytes, and whether it
// holds a double-byte character. A character the code page cannot hold counts 2 and as
// double-byte, so it never passes an ASCII-only check.
struct ByteLength {
    int bytes = 0;
    bool doubleByte = false;
};
ByteLength measureBytes(const QString& text);
int bytelen(const QString& text);
