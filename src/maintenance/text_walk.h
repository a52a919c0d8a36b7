#pragma once
// How an exercise-layout text (code page 936, CR LF line ends) is laid out in a read-only
// display box: the show-exercise-file dialog and the help viewer both walk the text this way.

#include <QByteArray>
#include <QString>

// Walks the text byte by byte and returns what the box shows, with "\n" for each line end:
// - CR takes the byte after it (normally LF) and ends the line: once, or twice with
//   doubleLineEnds, so that every line of the file is followed by an empty line;
// - a byte above 128 is a lead byte and forms one double-byte character with the next byte;
// - any other byte is one character;
// - when a line has reached 106 columns or more after a character, the line is wrapped with
//   one line end (two with doubleLineEnds). A double-byte character counts two columns, so a
//   shown line may hold 107 columns.
QString walkExerciseText(const QByteArray& text, bool doubleLineEnds);
