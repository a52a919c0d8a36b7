#include "platform/database.h"

#include "platform/key_derivation.h"
#include "platform/loaded_library.h"

#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace {

// The engine is loaded when the first database is opened, not with the program: the window
// appears and idles without it (and without the cryptography it brings along), and the start-up
// purge runs in a process of its own.
#define TYPELAB_ENGINE_FUNCTIONS(X)                                                                                    \
    X(sqlite3_bind_blob)                                                                                               \
    X(sqlite3_bind_double)                                                                                             \
    X(sqlite3_bind_int64)                                                                                              \
    X(sqlite3_bind_null)                                                                                               \
    X(sqlite3_bind_text)                                                                                               \
    X(sqlite3_busy_timeout)                                                                                            \
    X(sqlite3_changes)                                                                                                 \
    X(sqlite3_clear_bindings)                                                                                          \
    X(sqlite3_close_v2)                                                                                                \
    X(sqlite3_column_blob)                                                                                             \
    X(sqlite3_column_bytes)                                                                                            \
    X(sqlite3_column_count)                                                                                            \
    X(sqlite3_column_double)                                                                                           \
    X(sqlite3_column_int64)                                                                                            \
    X(sqlite3_column_text)                                                                                             \
    X(sqlite3_column_type)                                                                                             \
    X(sqlite3_db_config)                                                                                               \
    X(sqlite3_errmsg)                                                                                                  \
    X(sqlite3_errstr)                                                                                                  \
    X(sqlite3_extended_errcode)                                                                                        \
    X(sqlite3_extended_result_codes)                                                                                   \
    X(sqlite3_finalize)                                                                                                \
    X(sqlite3_key)                                                                                                     \
    X(sqlite3_last_insert_rowid)                                                                                       \
    X(sqlite3_limit)                                                                                                   \
    X(sqlite3_open_v2)                                                                                                 \
    X(sqlite3_prepare_v2)                                                                                              \
    X(sqlite3_progress_handler)                                                                                        \
    X(sqlite3_reset)                                                                                                   \
    X(sqlite3_step)
TYPELAB_LOADED_LIBRARY(Engine, loadEngine, TYPELAB_ENGINE_LIBRARY, TYPELAB_ENGINE_FUNCTIONS)

const Engine& engine()
{
    if (const Engine* loaded = loadEngine())
        return *loaded;
    throw DbError(DbError::Kind::Other, QString(),
                  QStringLiteral("数据库引擎 %1 无法载入").arg(QString::fromUtf8(TYPELAB_ENGINE_LIBRARY)));
}

} // namespace

DbError::DbError(int code, QString file, QString engineMessage)
    : std::runtime_error(QStringLiteral("%1: %2").arg(file, engineMessage).toStdString()), code_(code),
      file_(std::move(file)), engineMessage_(std::move(engineMessage))
{}

namespace {

int codeOf(DbError::Kind kind)
{
    switch (kind) {
    case DbError::Kind::MissingFile:
    case DbError::Kind::NoFolder:
    case DbError::Kind::AlreadyExists:
        return SQLITE_CANTOPEN;
    case DbError::Kind::Locked:
        return SQLITE_BUSY;
    case DbError::Kind::NotWritable:
        return SQLITE_READONLY;
    case DbError::Kind::DiskFull:
        return SQLITE_FULL;
    case DbError::Kind::NotADatabase:
        return SQLITE_NOTADB;
    case DbError::Kind::Corrupt:
        return SQLITE_CORRUPT;
    case DbError::Kind::SchemaRefused:
        return SQLITE_SCHEMA;
    case DbError::Kind::TooCostly:
        return SQLITE_INTERRUPT;
    case DbError::Kind::Other:
        break;
    }
    return SQLITE_ERROR;
}

} // namespace

DbError::DbError(Kind kind, QString file, QString detail) : DbError(codeOf(kind), std::move(file), std::move(detail))
{
    kind_ = kind;
}

DbError::Kind DbError::kind() const
{
    if (kind_)
        return *kind_;
    switch (code_ & 0xff) {
    case SQLITE_CANTOPEN:
        return Kind::MissingFile;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return Kind::Locked;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return Kind::NotWritable;
    case SQLITE_FULL:
        return Kind::DiskFull;
    case SQLITE_NOTADB:
        return Kind::NotADatabase;
    case SQLITE_CORRUPT:
        return Kind::Corrupt;
    case SQLITE_SCHEMA:
        return Kind::SchemaRefused;
    case SQLITE_INTERRUPT:
    case SQLITE_TOOBIG:
        return Kind::TooCostly;
    default:
        return Kind::Other;
    }
}

bool DbError::isBusy() const
{
    const int primary = code_ & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

QString DbError::problem() const
{
    if (kind_ == Kind::NoFolder)
        return QStringLiteral("文件夹不存在（驱动器无盘或路径有误）");
    if (kind_ == Kind::AlreadyExists)
        return QStringLiteral("文件已存在");
    if (kind_ == Kind::SchemaRefused && !engineMessage_.isEmpty())
        return QStringLiteral("数据库结构不符合要求（%1）").arg(engineMessage_);
    switch (code_ & 0xff) {
    case SQLITE_CANTOPEN:
        return QStringLiteral("文件不存在或无法打开");
    case SQLITE_NOTADB:
        return QStringLiteral("数据库密码不对或不是本程序的数据库文件");
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("文件正被其他程序使用（已锁定）");
    case SQLITE_READONLY:
        return QStringLiteral("文件或磁盘只读，无法写入");
    case SQLITE_FULL:
        return QStringLiteral("磁盘已满，无法写入");
    case SQLITE_IOERR:
        return QStringLiteral("读写文件出错");
    case SQLITE_CORRUPT:
        return QStringLiteral("文件已损坏");
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return QStringLiteral("没有访问该文件的权限");
    case SQLITE_SCHEMA:
        return QStringLiteral("数据库结构不符合要求");
    case SQLITE_INTERRUPT:
        return QStringLiteral("读取用时过长，已停止（文件可能被改动过）");
    case SQLITE_TOOBIG:
        return QStringLiteral("文件中的数据超出允许的长度（文件可能被改动过）");
    default:
        break;
    }
    if (engineMessage_.contains(QLatin1String("no such table")))
        return QStringLiteral("缺少数据表（%1）").arg(engineMessage_);
    if (engineMessage_.contains(QLatin1String("no such column")))
        return QStringLiteral("缺少数据列（%1）").arg(engineMessage_);
    return QStringLiteral("数据库出错（%1）").arg(engineMessage_);
}

QString DbError::describe() const
{
    return QStringLiteral("%1：%2").arg(QDir::toNativeSeparators(file_), problem());
}

// ---------------------------------------------------------------- Statement

Statement::Statement(Statement&& other) noexcept : db_(other.db_), path_(std::move(other.path_)), stmt_(other.stmt_)
{
    other.stmt_ = nullptr;
}

Statement& Statement::operator=(Statement&& other) noexcept
{
    if (this != &other) {
        engine().sqlite3_finalize(stmt_);
        db_ = other.db_;
        path_ = std::move(other.path_);
        stmt_ = other.stmt_;
        other.stmt_ = nullptr;
    }
    return *this;
}

Statement::~Statement()
{
    if (stmt_)
        engine().sqlite3_finalize(stmt_);
}

void Statement::fail(int rc) const
{
    throw DbError(rc, path_, QString::fromUtf8(engine().sqlite3_errmsg(db_)));
}

void Statement::check(int rc) const
{
    if (rc != SQLITE_OK)
        fail(rc);
}

Statement& Statement::bind(int index, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    check(engine().sqlite3_bind_text(stmt_, index, utf8.constData(), utf8.size(), SQLITE_TRANSIENT));
    return *this;
}

Statement& Statement::bindBlob(int index, const QByteArray& bytes)
{
    // An empty blob is still a blob, not a null.
    static const char nothing = 0;
    check(engine().sqlite3_bind_blob(stmt_, index, bytes.isEmpty() ? &nothing : bytes.constData(), int(bytes.size()),
                                     SQLITE_TRANSIENT));
    return *this;
}

Statement& Statement::bind(int index, qint64 value)
{
    check(engine().sqlite3_bind_int64(stmt_, index, value));
    return *this;
}

Statement& Statement::bind(int index, double value)
{
    check(engine().sqlite3_bind_double(stmt_, index, value));
    return *this;
}

Statement& Statement::bindNull(int index)
{
    check(engine().sqlite3_bind_null(stmt_, index));
    return *this;
}

Statement& Statement::bind(int index, const QVariant& value)
{
    if (value.isNull() || !value.isValid())
        return bindNull(index);
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::Bool:
        return bind(index, value.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return bind(index, value.toDouble());
    default:
        return bind(index, value.toString());
    }
}

bool Statement::step()
{
    const int rc = engine().sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    const int code = engine().sqlite3_extended_errcode(db_);
    const QString message = QString::fromUtf8(engine().sqlite3_errmsg(db_));
    engine().sqlite3_reset(stmt_);
    throw DbError(code ? code : rc, path_, message);
}

void Statement::exec()
{
    while (step()) {}
    engine().sqlite3_reset(stmt_);
}

void Statement::reset()
{
    engine().sqlite3_reset(stmt_);
    engine().sqlite3_clear_bindings(stmt_);
}

int Statement::columnCount() const
{
    return engine().sqlite3_column_count(stmt_);
}

bool Statement::isNull(int column) const
{
    return engine().sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

QString Statement::text(int column) const
{
    const auto* data = reinterpret_cast<const char*>(engine().sqlite3_column_text(stmt_, column));
    if (!data)
        return QString();
    return QString::fromUtf8(data, engine().sqlite3_column_bytes(stmt_, column));
}

QByteArray Statement::blob(int column) const
{
    const auto* data = static_cast<const char*>(engine().sqlite3_column_blob(stmt_, column));
    if (!data)
        return QByteArray();
    return QByteArray(data, engine().sqlite3_column_bytes(stmt_, column));
}

QByteArray Statement::bytes(int column) const
{
    const auto* data = reinterpret_cast<const char*>(engine().sqlite3_column_text(stmt_, column));
    if (!data)
        return QByteArray();
    return QByteArray(data, engine().sqlite3_column_bytes(stmt_, column));
}

qint64 Statement::integer(int column) const
{
    return engine().sqlite3_column_int64(stmt_, column);
}

double Statement::real(int column) const
{
    return engine().sqlite3_column_double(stmt_, column);
}

QVariant Statement::value(int column) const
{
    switch (engine().sqlite3_column_type(stmt_, column)) {
    case SQLITE_INTEGER:
        return QVariant(integer(column));
    case SQLITE_FLOAT:
        return QVariant(real(column));
    case SQLITE_NULL:
        return QVariant();
    default:
        return QVariant(text(column));
    }
}

// ---------------------------------------------------------------- Database

Database::Database(Database&& other) noexcept
    : db_(other.db_), path_(std::move(other.path_)), budget_(std::move(other.budget_))
{
    other.db_ = nullptr;
}

Database& Database::operator=(Database&& other) noexcept
{
    if (this != &other) {
        engine().sqlite3_close_v2(db_);
        db_ = other.db_;
        path_ = std::move(other.path_);
        budget_ = std::move(other.budget_);
        other.db_ = nullptr;
    }
    return *this;
}

Database::~Database()
{
    // Should a statement outlive its connection, the connection closes when that statement
    // is finalised, instead of staying open for good as plain close would leave it.
    if (db_)
        engine().sqlite3_close_v2(db_);
}

void Database::fail(int rc) const
{
    QString message =
        db_ ? QString::fromUtf8(engine().sqlite3_errmsg(db_)) : QString::fromUtf8(engine().sqlite3_errstr(rc));
    throw DbError(rc, path_, message);
}

static sqlite3* openHandle(const QString& path, int flags)
{
    sqlite3* handle = nullptr;
    const int rc = engine().sqlite3_open_v2(QFile::encodeName(path).constData(), &handle, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = handle ? QString::fromUtf8(engine().sqlite3_errmsg(handle))
                                       : QString::fromUtf8(engine().sqlite3_errstr(rc));
        engine().sqlite3_close_v2(handle);
        throw DbError(rc, path, message);
    }
    engine().sqlite3_extended_result_codes(handle, 1);
    return handle;
}

void Database::applyKey(const QByteArray& key)
{
    if (key.isEmpty())
        return;
    // The key is derived here from the file's salt when the file has one (see key_derivation.h).
    const QByteArray raw = KeyDerivation::rawKeyFor(path_, key);
    const QByteArray& given = raw.isEmpty() ? key : raw;
    const int rc = engine().sqlite3_key(db_, given.constData(), given.size());
    if (rc != SQLITE_OK)
        fail(rc);
    // The settings SQLCipher 3 uses by default, written out so that a later SQLCipher
    // opens these files in its version-3 compatibility mode. Pragmas an older engine does not
    // know are ignored by it.
    exec(QStringLiteral("PRAGMA cipher_page_size = 1024"));
    exec(QStringLiteral("PRAGMA kdf_iter = 64000"));
    exec(QStringLiteral("PRAGMA cipher_hmac_algorithm = HMAC_SHA1"));
    exec(QStringLiteral("PRAGMA cipher_kdf_algorithm = PBKDF2_HMAC_SHA1"));
}

Database Database::open(const QString& path, Mode mode, const QByteArray& key)
{
    int flags = (mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_FULLMUTEX;
    if (mode == Mode::Create)
        flags |= SQLITE_OPEN_CREATE;
    else if (!QFileInfo::exists(path))
        throw DbError(SQLITE_CANTOPEN, path, QStringLiteral("file does not exist"));
    Database db(openHandle(path, flags), path);
    db.applyKey(key);
    db.setBusyTimeout(defaultBusyTimeout());
    // A wrong key only shows at the first statement that reads the file.
    db.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"));
    return db;
}

Database Database::openUntrusted(const QString& path, const QList<ExpectedTable>& expected, const QByteArray& key,
                                 Access access)
{
    if (!QFileInfo::exists(path))
        throw DbError(SQLITE_CANTOPEN, path, QStringLiteral("file does not exist"));
    const int flags =
        (access == Access::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_FULLMUTEX;
    Database db(openHandle(path, flags), path);
    int enabled = 0;
    engine().sqlite3_db_config(db.db_, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, &enabled);
    db.limitCost();
    db.applyKey(key);
    db.setBusyTimeout(defaultBusyTimeout());
    db.exec(QStringLiteral("PRAGMA mmap_size = 0"));
    db.exec(QStringLiteral("PRAGMA cell_size_check = ON"));
    // The schema first: quick_check and every later statement run on what it declares.
    db.verifySchema(expected);
    // A header may claim billions of pages; quick_check would then work through them all.
    {
        Statement count = db.prepare(QStringLiteral("PRAGMA page_count"));
        Statement size = db.prepare(QStringLiteral("PRAGMA page_size"));
        if (count.step() && size.step() && count.integer(0) * size.integer(0) > QFileInfo(path).size())
            throw DbError(SQLITE_CORRUPT, path, QStringLiteral("the header claims more pages than the file holds"));
    }
    {
        Statement check = db.prepare(QStringLiteral("PRAGMA quick_check"));
        while (check.step()) {
            const QString verdict = check.text(0);
            if (verdict != QLatin1String("ok"))
                throw DbError(SQLITE_CORRUPT, path, verdict);
        }
    }
    return db;
}

void Database::limitCost()
{
    // Our rows hold short texts and numbers, our statements are small: anything larger comes
    // from a crafted file and is refused by the engine instead of being worked through.
    engine().sqlite3_limit(db_, SQLITE_LIMIT_LENGTH, 1'000'000);
    engine().sqlite3_limit(db_, SQLITE_LIMIT_SQL_LENGTH, 100'000);
    engine().sqlite3_limit(db_, SQLITE_LIMIT_EXPR_DEPTH, 100);
    engine().sqlite3_limit(db_, SQLITE_LIMIT_COMPOUND_SELECT, 3);
    engine().sqlite3_limit(db_, SQLITE_LIMIT_VDBE_OP, 25'000);
    engine().sqlite3_limit(db_, SQLITE_LIMIT_FUNCTION_ARG, 8);
    engine().sqlite3_limit(db_, SQLITE_LIMIT_ATTACHED, 0);
    engine().sqlite3_limit(db_, SQLITE_LIMIT_LIKE_PATTERN_LENGTH, 100);
    engine().sqlite3_limit(db_, SQLITE_LIMIT_VARIABLE_NUMBER, 32);
    engine().sqlite3_limit(db_, SQLITE_LIMIT_TRIGGER_DEPTH, 1);
    // A statement that runs away (a recursive query a file smuggled in) is stopped.
    budget_ = std::make_unique<StepBudget>();
    constexpr int kStepsPerCall = 10'000;
    engine().sqlite3_progress_handler(
        db_, kStepsPerCall,
        [](void* context) -> int {
            auto* budget = static_cast<StepBudget*>(context);
            budget->left -= kStepsPerCall;
            return budget->left < 0 ? 1 : 0;
        },
        budget_.get());
}

void Database::verifySchema(const QList<ExpectedTable>& expected)
{
    auto refuse = [this](const QString& what) { throw DbError(DbError::Kind::SchemaRefused, path_, what); };
    // What a row is, in the words of the refusal.
    auto unexpected = [](const QString& type, const QByteArray& name) {
        const QString shown = QString::fromUtf8(name);
        if (type == QLatin1String("table"))
            return QStringLiteral("含有不应有的数据表 %1").arg(shown);
        if (type == QLatin1String("index"))
            return QStringLiteral("含有不应有的索引 %1").arg(shown);
        if (type == QLatin1String("trigger"))
            return QStringLiteral("含有触发器 %1").arg(shown);
        if (type == QLatin1String("view"))
            return QStringLiteral("含有视图 %1").arg(shown);
        return QStringLiteral("含有不应有的对象 %1").arg(shown);
    };
    auto expectedTableNamed = [&expected](const QByteArray& name) {
        return std::any_of(expected.begin(), expected.end(), [&name](const ExpectedTable& table) {
            return SchemaReader::sameName(name, table.name.toUtf8());
        });
    };
    // The engine tells names apart without regard to ASCII case.
    QSet<QByteArray> namesSeen;
    QList<bool> tablesSeen(expected.size(), false);

    Statement master = prepare(QStringLiteral("SELECT type, name, tbl_name, rootpage, sql FROM sqlite_master"));
    while (master.step()) {
        const QString type = master.text(0);
        const QByteArray name = master.bytes(1);
        const QByteArray tableName = master.bytes(2);
        const qint64 rootPage = master.integer(3);
        // Every row's statement must read as an expected table or an index on one. The engine's
        // own rows go with the rest: an index without a statement (made for a key or a UNIQUE
        // column), sqlite_sequence (AUTOINCREMENT), sqlite_stat1 (ANALYZE).
        const SchemaReader::Reading reading =
            master.isNull(4) ? SchemaReader::Reading{} : SchemaReader::read(master.bytes(4), expected);
        if (reading.kind == SchemaReader::Reading::Kind::Refused) {
            if (type == QLatin1String("table") && expectedTableNamed(name))
                refuse(QStringLiteral("数据表 %1 的列不符或定义有误").arg(QString::fromUtf8(name)));
            refuse(unexpected(type, name));
        }
        // The row's own words must agree with its statement, and it must own real pages.
        const bool isTable = reading.kind == SchemaReader::Reading::Kind::Table;
        if (type != (isTable ? QLatin1String("table") : QLatin1String("index")) || name != reading.name
            || !SchemaReader::sameName(tableName, expected.at(reading.table).name.toUtf8())
            || (isTable && tableName != name) || rootPage <= 0)
            refuse(unexpected(type, name));
        QByteArray folded = name;
        for (char& c : folded)
            c = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
        if (namesSeen.contains(folded) || (isTable && tablesSeen.at(reading.table)))
            refuse(unexpected(type, name));
        namesSeen.insert(folded);
        if (isTable)
            tablesSeen[reading.table] = true;
    }
    for (int i = 0; i < expected.size(); ++i) {
        if (!tablesSeen.at(i))
            refuse(QStringLiteral("缺少数据表 %1").arg(expected.at(i).name));
    }
}

Statement Database::prepare(const QString& sql)
{
    if (budget_)
        budget_->left = untrustedStepBudget;
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt* stmt = nullptr;
    const int rc = engine().sqlite3_prepare_v2(db_, utf8.constData(), utf8.size(), &stmt, nullptr);
    if (rc != SQLITE_OK)
        fail(rc);
    return Statement(db_, path_, stmt);
}

void Database::exec(const QString& sql)
{
    Statement statement = prepare(sql);
    statement.exec();
}

namespace {
int busyTimeoutMilliseconds = 2000;
}

void Database::setDefaultBusyTimeout(int milliseconds)
{
    busyTimeoutMilliseconds = milliseconds;
}

int Database::defaultBusyTimeout()
{
    return busyTimeoutMilliseconds;
}

void Database::setBusyTimeout(int milliseconds)
{
    engine().sqlite3_busy_timeout(db_, milliseconds);
}

qint64 Database::changes() const
{
    return engine().sqlite3_changes(db_);
}

// ---------------------------------------------------------------- Transaction

Transaction::Transaction(Database& db) : db_(db)
{
    db_.exec(QStringLiteral("BEGIN IMMEDIATE"));
}

Transaction::~Transaction()
{
    if (!done_) {
        try {
            db_.exec(QStringLiteral("ROLLBACK"));
        } catch (const DbError&) {
            // The engine rolls back by itself when the connection closes.
        }
    }
}

void Transaction::commit()
{
    db_.exec(QStringLiteral("COMMIT"));
    done_ = true;
}

qint64 Database::lastInsertRowid() const
{
    return engine().sqlite3_last_insert_rowid(db_);
}

void Database::attach(const QString& path, const QString& schemaName, const QByteArray& key)
{
    // An attached file is opened as the main one was, without being created: an empty file is
    // an empty database.
    if (!QFileInfo::exists(path)) {
        QFile created(path);
        if (!created.open(QIODevice::WriteOnly))
            throw DbError(SQLITE_CANTOPEN, path, created.errorString());
    }
    // An attached file without a key would take the main file's; an empty one keeps it plain.
    QByteArray given;
    if (!key.isEmpty()) {
        given = KeyDerivation::rawKeyFor(path, key);
        if (given.isEmpty())
            given = key;
    }
    prepare(QStringLiteral("ATTACH DATABASE ?1 AS ") + schemaName + QStringLiteral(" KEY ?2"))
        .bind(1, path)
        .bind(2, QString::fromLatin1(given))
        .exec();
}
