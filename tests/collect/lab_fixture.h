#pragma once
// A small computer laboratory in a temporary folder: numbered machines, each an Application
// folder with its own grade database, a folder standing for drive A:, and a teacher's folder
// that becomes the current working folder. The old working folder and drive are put back when
// the lab goes.

#include "collect/collection_store.h"
#include "grades/grade_store.h"
#include "platform/database.h"
#include "support/test_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

class Lab {
public:
    Lab()
        : oldWorkingFolder_(QDir::currentPath()), oldDriveA_(qgetenv("TYPELAB_DRIVE_A")),
          hadDriveA_(qEnvironmentVariableIsSet("TYPELAB_DRIVE_A"))
    {
        QDir root(dir_.path());
        root.mkpath(QStringLiteral("floppy"));
        root.mkpath(QStringLiteral("teacher"));
        qputenv("TYPELAB_DRIVE_A", driveA().toUtf8());
        QDir::setCurrent(teacher());
    }
    ~Lab()
    {
        QDir::setCurrent(oldWorkingFolder_);
        if (hadDriveA_)
            qputenv("TYPELAB_DRIVE_A", oldDriveA_);
        else
            qunsetenv("TYPELAB_DRIVE_A");
    }
    Lab(const Lab&) = delete;
    Lab& operator=(const Lab&) = delete;

    QString root() const { return dir_.path(); }
    QString driveA() const { return dir_.filePath(QStringLiteral("floppy")); }
    QString teacher() const { return dir_.filePath(QStringLiteral("teacher")); }
    // The prefix that reaches machine i as prefix + i.
    QString prefix() const { return dir_.filePath(QStringLiteral("PC")); }
    QString machineDatabase(int machine) const
    {
        return prefix() + QString::number(machine) + QStringLiteral("/data/stugrade.mdb");
    }
    QString diskette() const { return QDir(driveA()).filePath(QStringLiteral("学生成绩.mdb")); }
    QString teachersFile() const { return QDir(teacher()).filePath(QStringLiteral("击录测试成绩.mdb")); }

    // Machine i's Application folder with a fresh grade database holding the rows.
    void addMachine(int machine, const QList<GradeRow>& rows) const
    {
        makeGradeDatabase(machineDatabase(machine), rows);
    }

    static void makeGradeDatabase(const QString& path, const QList<GradeRow>& rows)
    {
        QDir().mkpath(QFileInfo(path).path());
        GradeStore::create(path,
                           SystemRow{QStringLiteral("admin"), QStringLiteral("admin123"), QStringLiteral("again")});
        GradeStore store = GradeStore::openFile(path);
        Transaction transaction(GradeStoreInspector::database(store));
        for (const GradeRow& row : rows)
            store.addResult(row);
        transaction.commit();
    }

    // A collection file at path with the rows.
    static void makeCollectionFile(const QString& path, const QList<CollectionRow>& rows)
    {
        CollectionStore::create(path);
        CollectionStore::openTarget(path).append(rows);
    }

    // Runs extra statements on a file (keyed with the grade password when asked): how a
    // stranger's file gets a trigger, a view or a virtual table.
    static void tamper(const QString& path, const QStringList& statements, bool gradeKey)
    {
        Database db =
            Database::open(path, Database::Mode::ReadWrite, gradeKey ? GradeStore::databasePassword : QByteArray());
        for (const QString& sql : statements)
            db.exec(sql);
    }

    // Files crafted the way a student with the database password can: the file is written by
    // the engine, then sqlite_master is rewritten so that its type and name columns still show
    // the table the program expects while the statement the engine builds from says otherwise.
    struct Crafted {
        const char* name;
        QStringList statements;
    };
    static QList<Crafted> craftedAs(const QString& table, const QStringList& columns)
    {
        auto quoted = [](QString sql) {
            return QStringLiteral("'") + sql.replace(u'\'', QStringLiteral("''")) + u'\'';
        };
        auto selectOf = [&columns](const QString& value) {
            QStringList parts;
            for (const QString& column : columns)
                parts << QStringLiteral("%1 AS \"%2\"").arg(value, column);
            return parts.join(QStringLiteral(", "));
        };
        auto asTable = [&](const QString& sql) {
            // A view has no indexes: those of the table go, or the engine would not load the file.
            return QStringList{
                QStringLiteral("PRAGMA writable_schema = ON"),
                QStringLiteral("DELETE FROM sqlite_master WHERE type = 'index' AND tbl_name = '%1'").arg(table),
                QStringLiteral("UPDATE sqlite_master SET sql = %1 WHERE name = '%2'").arg(quoted(sql), table)};
        };
        QStringList quotedColumns;
        for (const QString& column : columns)
            quotedColumns << u'"' + column + u'"';
        return {
            {"view calling rtreenode",
             asTable(QStringLiteral("CREATE VIEW %1 AS SELECT %2")
                         .arg(table, selectOf(QStringLiteral("rtreenode(2, x'00')"))))},
            {"view forging rows",
             asTable(
                 QStringLiteral(
                     "CREATE VIEW %1 AS WITH RECURSIVE f(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM f WHERE n < 5) SELECT %2 FROM f")
                     .arg(table, selectOf(QStringLiteral("100"))))},
            {"endless recursive view",
             asTable(
                 QStringLiteral(
                     "CREATE VIEW %1 AS WITH RECURSIVE r(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM r) SELECT %2 FROM r")
                     .arg(table, selectOf(QStringLiteral("n"))))},
            {"trigger posing as the table",
             {QStringLiteral("CREATE TRIGGER spy AFTER INSERT ON %1 BEGIN DELETE FROM %1 WHERE rowid <> new.rowid; END")
                  .arg(table),
              QStringLiteral("PRAGMA writable_schema = ON"),
              QStringLiteral("UPDATE sqlite_master SET type = 'table', name = '%1' WHERE name = 'spy'").arg(table)}},
            {"rtree posing as the table",
             {QStringLiteral("DROP TABLE %1").arg(table),
              QStringLiteral("CREATE VIRTUAL TABLE %1 USING rtree(%2)")
                  .arg(table, quotedColumns.join(QStringLiteral(", "))),
              QStringLiteral("PRAGMA writable_schema = ON"),
              QStringLiteral("UPDATE sqlite_master SET name = '%1' WHERE name LIKE '%1^_%' ESCAPE '^'").arg(table)}},
        };
    }

    // Writes bytes at path, making its folder first.
    static void writeFile(const QString& path, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
    }

    // A file's bytes; empty when it cannot be read.
    static QByteArray contents(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static qint64 collectionRows(const QString& path) { return CollectionStore::openSource(path).rowCount(); }

    static GradeRow result(const QString& xh, const QString& batch, double score = 80)
    {
        return GradeRow{xh, QStringLiteral("张三"), QStringLiteral("英文"), score, 120,
                        95, QDate(2026, 12, 7),     QTime(9, 30, 15),       batch};
    }

    static CollectionRow collected(const QString& xh, const QString& batch, int score = 80)
    {
        return CollectionRow{xh, QStringLiteral("李四"), QStringLiteral("中文"), score, 60,
                             90, QDate(2026, 12, 6),     QTime(14, 5, 0),        batch};
    }

private:
    QTemporaryDir dir_;
    QString oldWorkingFolder_;
    QByteArray oldDriveA_;
    bool hadDriveA_;
};

// While it lives, files this process writes may not grow past a size: a disk that fills up.
class FileSizeLimit {
public:
    explicit FileSizeLimit(qint64 bytes) : oldHandler_(std::signal(SIGXFSZ, SIG_IGN))
    {
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit small = old_;
        small.rlim_cur = rlim_t(bytes);
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit old_{};
    void (*oldHandler_)(int);
};
