#pragma once
// A collection file: a plain SQLite file (no key, so any SQLite tool opens it) with the one
// table xscj, whose nine columns carry stdgrade rows under Chinese names. Rows are only ever
// appended.

#include "store/store_types.h"
#include "platform/database.h"

#include <QDate>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTime>
#include <functional>
#include <optional>

// One row of xscj, in column order.
struct CollectionRow {
    QString xh;       // 学号
    QString xm;       // 姓名
    QString lrxm;     // 录入项目
    qint32 lrcj = 0;  // 录入成绩
    qint32 lrsd = 0;  // 录入速度％m
    qint32 lrzql = 0; // 准确率％
    QDate lrdate;     // 录入日期
    QTime lrtime;     // 录入时间
    QString lrpc;     // 批次

    // The grade row copied by position; the three numbers become whole numbers, halves to
    // the even neighbour, held within 32 bits.
    static CollectionRow fromGrade(const GradeRow& grade);
    bool operator==(const CollectionRow&) const = default;
};

// Receives the text of a dialog's status label.
using StatusLine = std::function<void(const QString&)>;

class CollectionStore {
public:
    static const QString tableName; // "xscj"
    static QStringList columnNames();
    // What a collection file must hold, for the hardened open of a file from elsewhere.
    static ExpectedTable expectedTable();

    // Makes a new collection file; refuses a path where a file already is. A file left
    // half-made by a failure is removed again. Throws DbError.
    static void create(const QString& path);
    // A file that receives rows: its schema is checked like a stranger's file first (it may
    // have come on a diskette), then it is opened for writing. Throws DbError.
    static CollectionStore openTarget(const QString& path);
    // A file that is only read (a diskette to merge): read-only, hardened. Throws DbError.
    static CollectionStore openSource(const QString& path);

    // Appends, in one transaction, each row the file does not hold yet (a row with the same
    // nine values): collecting or merging a batch twice stores nothing the second time. All of
    // them are stored or none. Returns the number of rows really appended.
    qint64 append(const QList<CollectionRow>& rows);
    qint64 rowCount();
    // The rows of one batch in stored order; the batch is compared without regard to ASCII case.
    QList<CollectionRow> batchRows(const QString& batch);
    // Every row in stored order.
    QList<CollectionRow> allRows();

    const QString& path() const { return db_.path(); }

private:
    explicit CollectionStore(Database db) : db_(std::move(db)) {}
    QList<CollectionRow> readRows(Statement& select);
    Database db_;
    // The rows the file holds, read once and kept while nothing else writes the file.
    QSet<CollectionRow> held_;
    std::optional<qint64> heldVersion_;
};

size_t qHash(const CollectionRow& row, size_t seed = 0);

// Creates the collection file at path. On failure the status line shows
// "创建文件失败！请重试" with a second line naming the file and the problem, and the result
// is false. *problem, when given, receives that second line.
bool creatmdb(const QString& path, const StatusLine& status, QString* problem = nullptr);

// A file's full path as the reports show it.
QString fullPath(const QString& path);
// The line after a collection's or merge's report that tells where the collection file is.
QString whereLine(const QString& path);

// A count the way the status texts write it: a space before a non-negative number.
QString countText(qint64 count);
