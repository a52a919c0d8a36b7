#pragma once
// Scores for the teacher's spreadsheet: the rows of a collection file (or of a grade database),
// one batch or all, sorted by batch and student number, written as an XLSX workbook (a sheet of
// marks and a sheet of batch figures with a chart per batch) or as a CSV file that Excel and
// WPS open by double-click. The output appears whole or not at all.

#include "collect/collection_store.h"

#include <QList>
#include <QString>

namespace ScoreExport {

enum class Format { Xlsx, Csv };

struct Outcome {
    bool written = false;
    qint64 rows = 0;
    QString message; // in Chinese: the count and the output's full path, or what went wrong
};

// The format an output path asks for by its extension (.xlsx or .csv, any case); false when
// it names neither.
bool formatOf(const QString& outputPath, Format* format);

// Reads the rows of the source: a collection file, or a grade database (its results), both
// opened as files from elsewhere. An empty batch means every batch. Throws DbError. This is
// the source reader's work; run() has the reader do it in a process of its own.
QList<CollectionRow> readSource(const QString& sourcePath, const QString& batch);

// Rows sorted by batch, then student number (stable: a student's results keep their order).
void sortForExport(QList<CollectionRow>& rows);

// Writes the rows, already read and sorted, to the output; the message says what happened.
Outcome write(const QList<CollectionRow>& rows, const QString& outputPath);

// Everything at once: read, sort and write.
Outcome run(const QString& sourcePath, const QString& batch, const QString& outputPath);

} // namespace ScoreExport
