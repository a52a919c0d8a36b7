#pragma once
// The one wrapper over the SQLCipher engine. No other file calls sqlite3_* directly.

#include "platform/schema_reader.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QList>
#include <memory>
#include <optional>
#include <stdexcept>

struct sqlite3;
struct sqlite3_stmt;

// A failed database operation: the engine's result code and message, and the file concerned.
class DbError : public std::runtime_error {
public:
    // What went wrong, decided here once, for callers that act on it.
    enum class Kind {
        MissingFile,
        NoFolder,
        AlreadyExists,
        Locked,
        NotWritable,
        DiskFull,
        NotADatabase,
        Corrupt,
        SchemaRefused,
        TooCostly,
        Other
    };

    DbError(int code, QString file, QString engineMessage);
    // A failure found before or beside the engine; for SchemaRefused the detail says, in
    // Chinese, what the file holds that it should not.
    DbError(Kind kind, QString file, QString detail = {});
    Kind kind() const;
    int code() const { return code_; }
    const QString& file() const { return file_; }
    const QString& engineMessage() const { return engineMessage_; }
    // What went wrong, in Chinese, for a message to the user (without the file name).
    QString problem() const;
    // File name and problem, ready for a message box or a status line.
    QString describe() const;
    bool isBusy() const;

private:
    int code_;
    QString file_;
    QString engineMessage_;
    std::optional<Kind> kind_; // set when the failure was found outside the engine
};

class Database;

class Statement {
public:
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement();

    // Parameters are numbered from 1, as in "?1".
    Statement& bind(int index, const QString& text);
    Statement& bind(int index, const char* text) { return bind(index, QString::fromUtf8(text)); }
    Statement& bind(int index, qint64 value);
    Statement& bind(int index, int value) { return bind(index, qint64(value)); }
    Statement& bind(int index, double value);
    Statement& bindNull(int index);
    Statement& bindBlob(int index, const QByteArray& bytes);
    Statement& bind(int index, const QVariant& value);

    // Advances to the next row; false when there is none (or the statement did not return rows).
    bool step();
    // Runs a statement that returns no rows.
    void exec();
    void reset();

    int columnCount() const;
    bool isNull(int column) const;
    QString text(int column) const;
    // The text as the engine holds it, in UTF-8, unconverted.
    QByteArray bytes(int column) const;
    qint64 integer(int column) const;
    QByteArray blob(int column) const;
    double real(int column) const;
    QVariant value(int column) const;

private:
    friend class Database;
    Statement(sqlite3* db, QString path, sqlite3_stmt* stmt) : db_(db), path_(std::move(path)), stmt_(stmt) {}
    void check(int rc) const;
    [[noreturn]] void fail(int rc) const;
    sqlite3* db_;
    QString path_;
    sqlite3_stmt* stmt_;
};

class Database {
public:
    enum class Mode { ReadWrite, Create, ReadOnly };
    // How a file from elsewhere is opened: only read (a source), or also written (a target).
    enum class Access { ReadOnly, ReadWrite };

    // Opens an existing file (or creates one with Mode::Create); with a key the file is
    // encrypted with SQLCipher 3's settings. Checks the key with a first query.
    static Database open(const QString& path, Mode mode, const QByteArray& key = {});
    // Opens a file written by another machine or carried on removable media: triggers off,
    // no memory mapping, cell size checks, tight limits on what one statement may cost, a
    // schema whose statements read as the expected tables (and plain indexes on them) and
    // nothing else, then quick_check. Read-only unless the file is a target that receives rows.
    static Database openUntrusted(const QString& path, const QList<ExpectedTable>& expected, const QByteArray& key = {},
                                  Access access = Access::ReadOnly);

    Database(Database&& other) noexcept;
    Database& operator=(Database&& other) noexcept;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;
    ~Database();

    Statement prepare(const QString& sql);
    void exec(const QString& sql);
    void setBusyTimeout(int milliseconds);
    // How long every connection opened from now on waits for a file another program holds
    // locked (2 s; tests make it short).
    static void setDefaultBusyTimeout(int milliseconds);
    static int defaultBusyTimeout();
    qint64 changes() const;
    qint64 lastInsertRowid() const;
    const QString& path() const { return path_; }
    // Attaches another file to this connection under the schema name, keyed like open() (no
    // key: a plain file), so that one transaction covers both.
    void attach(const QString& path, const QString& schemaName, const QByteArray& key = {});

    [[noreturn]] void fail(int rc) const;

    // VM steps one statement of a file from elsewhere may take before it is stopped.
    static constexpr qint64 untrustedStepBudget = 100'000'000;

private:
    struct StepBudget {
        qint64 left = 0;
    };
    Database(sqlite3* db, QString path) : db_(db), path_(std::move(path)) {}
    void applyKey(const QByteArray& key);
    void limitCost();
    void verifySchema(const QList<ExpectedTable>& expected);
    sqlite3* db_ = nullptr;
    QString path_;
    // Set for files from elsewhere: refilled at every prepare, spent by the progress handler.
    std::unique_ptr<StepBudget> budget_;
};

// One unit of work: committed by commit(), rolled back if left without it.
class Transaction {
public:
    explicit Transaction(Database& db);
    ~Transaction();
    void commit();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

private:
    Database& db_;
    bool done_ = false;
};
