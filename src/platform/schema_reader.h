#pragma once
// Reads the statements kept in sqlite_master of a file from elsewhere. The engine builds its
// idea of a file from these statements alone, so each one is read here by the engine's own
// rules for words, quotes and comments, and is taken only when it is a plain table of exactly
// the expected columns or a plain index on them, however another SQLite client spelled it.
// Pure logic: the engine is never asked.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// A table a file from elsewhere must hold.
struct ExpectedTable {
    QString name;
    QStringList columns;
    // Set where rows are appended by position (INSERT without column names): the columns must
    // then stand in this order.
    bool columnsInOrder = false;
};

namespace SchemaReader {

// What one statement makes.
struct Reading {
    enum class Kind { Refused, Table, Index };
    Kind kind = Kind::Refused;
    QByteArray name; // the table's or the index's name as the engine stores it: without quotes
    int table = -1;  // the expected table it makes or indexes
};

// Reads one statement, given in the UTF-8 the engine parses. Accepted are
//   CREATE TABLE name (column [type], ...)     each expected column once, nothing else
//   CREATE [UNIQUE] INDEX name ON table (column [COLLATE NOCASE|BINARY|RTRIM] [ASC|DESC], ...)
// with names bare or quoted ("", [], ``), keywords in any case, white space and comments
// anywhere between words; a type is TEXT, CHAR(n), VARCHAR(n), NVARCHAR(n), INTEGER, INT, REAL,
// DOUBLE, FLOAT, NUMERIC, DATE, TIME or DATETIME.
Reading read(const QByteArray& sql, const QList<ExpectedTable>& expected);

// Whether the engine takes two names for one: equal but for the case of ASCII letters.
bool sameName(const QByteArray& a, const QByteArray& b);

} // namespace SchemaReader
