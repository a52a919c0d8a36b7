#pragma once
// The one wrapper over libpq, the PostgreSQL client library. No other file calls PQ* directly.
// libpq is loaded when the first connection is made (dlopen, as the database engine is), so
// nothing that never speaks to a school server loads it.
//
// Two ways to use it:
//  - Pg::Connection blocks: the server tool and tests connect, run statements and read rows.
//  - Pg::AsyncConnection lives on a Qt event loop: it connects, sends pipelines of statements
//    and delivers notifications without ever blocking the loop, and fails cleanly (a signal)
//    when the server goes away, answers garbage or does not finish within a deadline.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <memory>
#include <stdexcept>

struct pg_conn;
struct pg_result;
class QSocketNotifier;
class QTimer;

namespace Pg {

// A failure: what kind, the server's SQLSTATE (empty when the server said nothing) and the
// message of the server or of libpq.
class Error : public std::runtime_error {
public:
    enum class Kind {
        LibraryMissing, // libpq could not be loaded
        Connect,        // the connection could not be made (refused, TLS, authentication)
        Timeout,        // a deadline passed
        Statement,      // the server refused a statement; sqlState() says why
        Lost,           // the connection broke: the server went away or answered garbage
        Usage           // the call does not fit the connection's state
    };
    Error() : Error(Kind::Usage, {}) {}
    Error(Kind kind, QString message, QString sqlState = {});
    Kind kind() const { return kind_; }
    const QString& sqlState() const { return sqlState_; }
    const QString& message() const { return message_; }

private:
    Kind kind_;
    QString message_;
    QString sqlState_;
};

// What libpq is told when connecting, as its keywords (host, port, dbname, user, sslmode,
// sslrootcert, sslcert, sslkey, password, ...). describe() never shows a password.
class ConnectionParameters {
public:
    ConnectionParameters() = default;
    // Reads "key=value key='quoted value'" as libpq writes a connection string.
    static ConnectionParameters parse(const QString& conninfo);
    ConnectionParameters& set(const QString& key, const QString& value);
    QString value(const QString& key) const;
    bool has(const QString& key) const;
    // Keepalives and a TCP user timeout, so that a server that vanishes without closing is
    // noticed; a connect_timeout in whole seconds. Values already set are kept.
    ConnectionParameters& withNetworkDefaults(int connectTimeoutSeconds = 10);
    QString describe() const;
    const QList<QPair<QByteArray, QByteArray>>& items() const { return items_; }

private:
    QList<QPair<QByteArray, QByteArray>> items_;
};

// A statement's parameter: text, binary (bytea, sent as raw bytes) or SQL null.
class Param {
public:
    Param(const QString& text) : bytes_(text.toUtf8()) {}
    Param(const char* text) : bytes_(text) {}
    static Param binary(const QByteArray& bytes);
    static Param null();
    bool isNull() const { return null_; }
    bool isBinary() const { return binary_; }
    const QByteArray& bytes() const { return bytes_; }

private:
    Param() = default;
    QByteArray bytes_;
    bool binary_ = false;
    bool null_ = false;
};

// A statement with its parameters, for a pipeline.
struct Statement {
    QString sql;
    QList<Param> params;
    bool binaryResult = false; // rows come back in binary (bytea as raw bytes)
};

// A statement's result, shared and freed with the last copy.
class Result {
public:
    Result() = default;
    explicit Result(pg_result* result);
    bool ok() const;      // the statement succeeded
    bool aborted() const; // not run: an earlier statement of its pipeline failed
    QString sqlState() const;
    QString errorMessage() const;
    int rows() const;
    int columns() const;
    bool isNull(int row, int column) const;
    QString text(int row, int column) const;
    // The value's bytes as sent: raw bytes for a binary result, the text otherwise.
    QByteArray bytes(int row, int column) const;
    qint64 commandRows() const; // rows an INSERT, UPDATE or DELETE touched
    // Throws Error(Statement) unless ok().
    const Result& check() const;

private:
    std::shared_ptr<pg_result> result_;
};

// Statements' results are read in text unless asked otherwise.
enum class Format { Text, Binary };

class Connection {
public:
    // Connects, giving up after deadlineMilliseconds; throws Error.
    static Connection open(const ConnectionParameters& parameters, int deadlineMilliseconds = 10'000);
    Connection(Connection&& other) noexcept;
    Connection& operator=(Connection&& other) noexcept;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection();

    // Runs one statement with its parameters ($1, $2, ...); throws Error(Statement) when the
    // server refuses it.
    Result exec(const QString& sql, const QList<Param>& params = {}, Format format = Format::Text);
    // Runs a script of several statements without parameters (a migration file).
    void execScript(const QString& sql);
    QString escapeIdentifier(const QString& name) const;
    QString escapeLiteral(const QString& value) const;
    // The SCRAM-SHA-256 verifier of a password, made here so the password never travels.
    QByteArray encryptPassword(const QByteArray& password, const QString& user) const;
    QString parameterStatus(const char* name) const;
    pg_conn* handle() const { return conn_; }

private:
    explicit Connection(pg_conn* conn) : conn_(conn) {}
    pg_conn* conn_ = nullptr;
};

// A connection on the Qt event loop. Signals come from the loop, never from inside a call.
// One operation at a time: connect, then pipelines one after another, and notifications in
// between. After failed() the connection is closed and can be opened again.
class AsyncConnection : public QObject {
    Q_OBJECT
public:
    enum class State { Closed, Connecting, Idle, Busy };

    explicit AsyncConnection(QObject* parent = nullptr);
    ~AsyncConnection() override;

    // Starts connecting; connected() or failed() follows, the latter at the latest when the
    // deadline passes.
    void open(const ConnectionParameters& parameters, int deadlineMilliseconds);
    // Sends the statements as one pipeline and a sync; statementFinished() comes for each in
    // order, then pipelineFinished(). The deadline covers the whole pipeline: past it the
    // connection is closed and failed(Timeout) is emitted. A statement the server refuses is
    // a result (its statement and those after it in the same transaction fail), not failed().
    void sendPipeline(const QList<Statement>& statements, int deadlineMilliseconds);
    // LISTEN on a channel (a pipeline of one statement); notification() follows for every
    // NOTIFY while the connection is open.
    void listen(const QString& channel, int deadlineMilliseconds);
    void close();
    State state() const { return state_; }

signals:
    void connected();
    void statementFinished(int index, const Pg::Result& result);
    void pipelineFinished(const QList<Pg::Result>& results);
    void notification(const QString& channel, const QString& payload);
    void failed(const Pg::Error& error);

private:
    void pollConnect();
    void watch(bool read, bool write);
    void onReadable();
    void onWritable();
    void flush();
    void readResults();
    void deliverNotifications();
    void fail(Error::Kind kind, const QString& message);
    void stopTimer();
    void dropNotifiers();

    pg_conn* conn_ = nullptr;
    State state_ = State::Closed;
    int socket_ = -1;
    QSocketNotifier* reader_ = nullptr;
    QSocketNotifier* writer_ = nullptr;
    QTimer* deadline_ = nullptr;
    int expected_ = 0;         // statements of the current pipeline
    QList<Result> results_;    // their results so far
    bool statementOpen_ = false; // a result came for the current statement; a null ends it
};

} // namespace Pg

Q_DECLARE_METATYPE(Pg::Result)
Q_DECLARE_METATYPE(Pg::Error)
