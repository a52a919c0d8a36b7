#pragma once
// What the source reader (a child process of its own) sends back about one source: a
// header, then frames of a kind letter, a field count and length-prefixed UTF-8 fields.
// The program believes nothing of it unchecked: decode() takes garbage for what it is.

#include "collect/collection_store.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace SourceFrames {

// The reader's side.
QByteArray header();
QByteArray missing();                           // no such file: the walk over machines ends here
QByteArray failure(const QString& description); // the source is there but cannot be read
QByteArray row(const CollectionRow& row);
QByteArray end(qint64 rows);

// The program's side.
struct Decoded {
    enum class Kind { Rows, Missing, Failure, Garbage };
    Kind kind = Kind::Garbage;
    QList<CollectionRow> rows;
    QString description; // for a failure: the reader's words
};
Decoded decode(const QByteArray& output);

} // namespace SourceFrames
