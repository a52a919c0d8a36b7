#include "platform/postgres.h"

#include "platform/loaded_library.h"

#include <libpq-fe.h>

#include <QElapsedTimer>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimer>

#include <poll.h>

#include <vector>

namespace {

// libpq is loaded with the first connection: the program and its store start without it.
#define TYPELAB_PQ_FUNCTIONS(X)                                                                                        \
    X(PQconnectStartParams)                                                                                            \
    X(PQconnectPoll)                                                                                                   \
    X(PQstatus)                                                                                                        \
    X(PQsocket)                                                                                                        \
    X(PQerrorMessage)                                                                                                  \
    X(PQfinish)                                                                                                        \
    X(PQsetnonblocking)                                                                                                \
    X(PQexecParams)                                                                                                    \
    X(PQexec)                                                                                                          \
    X(PQresultStatus)                                                                                                  \
    X(PQresultErrorField)                                                                                              \
    X(PQresultErrorMessage)                                                                                            \
    X(PQclear)                                                                                                         \
    X(PQntuples)                                                                                                       \
    X(PQnfields)                                                                                                       \
    X(PQgetisnull)                                                                                                     \
    X(PQgetvalue)                                                                                                      \
    X(PQgetlength)                                                                                                     \
    X(PQcmdTuples)                                                                                                     \
    X(PQescapeIdentifier)                                                                                              \
    X(PQescapeLiteral)                                                                                                 \
    X(PQfreemem)                                                                                                       \
    X(PQencryptPasswordConn)                                                                                           \
    X(PQparameterStatus)                                                                                               \
    X(PQenterPipelineMode)                                                                                             \
    X(PQexitPipelineMode)                                                                                              \
    X(PQsendQueryParams)                                                                                               \
    X(PQpipelineSync)                                                                                                  \
    X(PQsendFlushRequest)                                                                                              \
    X(PQflush)                                                                                                         \
    X(PQconsumeInput)                                                                                                  \
    X(PQisBusy)                                                                                                        \
    X(PQgetResult)                                                                                                     \
    X(PQnotifies)                                                                                                      \
    X(PQconninfoParse)                                                                                                 \
    X(PQconninfoFree)
TYPELAB_LOADED_LIBRARY(Pq, loadPq, TYPELAB_PQ_LIBRARY, TYPELAB_PQ_FUNCTIONS)

const Pq& pq()
{
    if (const Pq* loaded = loadPq())
        return *loaded;
    throw Pg::Error(Pg::Error::Kind::LibraryMissing,
                    QStringLiteral("the PostgreSQL client library %1 cannot be loaded (install libpq5)")
                        .arg(QString::fromUtf8(TYPELAB_PQ_LIBRARY)));
}

QString connectionMessage(pg_conn* conn)
{
    return QString::fromUtf8(pq().PQerrorMessage(conn)).trimmed();
}

// The keywords and values as libpq takes them: two arrays ending in null.
struct KeywordArrays {
    explicit KeywordArrays(const Pg::ConnectionParameters& parameters)
    {
        for (const auto& [key, value] : parameters.items()) {
            keys.push_back(key.constData());
            values.push_back(value.constData());
        }
        keys.push_back(nullptr);
        values.push_back(nullptr);
    }
    std::vector<const char*> keys;
    std::vector<const char*> values;
};

pg_conn* startConnecting(const Pg::ConnectionParameters& parameters)
{
    const KeywordArrays arrays(parameters);
    pg_conn* conn = pq().PQconnectStartParams(arrays.keys.data(), arrays.values.data(), 0);
    if (!conn)
        throw Pg::Error(Pg::Error::Kind::Connect, QStringLiteral("out of memory"));
    if (pq().PQstatus(conn) == CONNECTION_BAD) {
        const QString message = connectionMessage(conn);
        pq().PQfinish(conn);
        throw Pg::Error(Pg::Error::Kind::Connect, message);
    }
    return conn;
}

// The parameters of one statement as libpq takes them.
struct ParamArrays {
    explicit ParamArrays(const QList<Pg::Param>& params)
    {
        for (const Pg::Param& param : params) {
            values.push_back(param.isNull() ? nullptr : param.bytes().constData());
            lengths.push_back(int(param.bytes().size()));
            formats.push_back(param.isBinary() ? 1 : 0);
        }
    }
    int count() const { return int(values.size()); }
    std::vector<const char*> values;
    std::vector<int> lengths;
    std::vector<int> formats;
};

bool connectionBroken(pg_conn* conn)
{
    return pq().PQstatus(conn) == CONNECTION_BAD;
}

} // namespace

namespace Pg {

Error::Error(Kind kind, QString message, QString sqlState)
    : std::runtime_error((sqlState.isEmpty() ? message : sqlState + QStringLiteral(": ") + message).toStdString()),
      kind_(kind), message_(std::move(message)), sqlState_(std::move(sqlState))
{}

// ---- parameters -------------------------------------------------------------------------------

ConnectionParameters ConnectionParameters::parse(const QString& conninfo)
{
    char* error = nullptr;
    PQconninfoOption* options = pq().PQconninfoParse(conninfo.toUtf8().constData(), &error);
    if (!options) {
        const QString message = error ? QString::fromUtf8(error).trimmed() : QStringLiteral("out of memory");
        if (error)
            pq().PQfreemem(error);
        throw Error(Error::Kind::Usage, QStringLiteral("bad connection string: %1").arg(message));
    }
    ConnectionParameters parameters;
    for (PQconninfoOption* option = options; option->keyword; ++option) {
        if (option->val)
            parameters.set(QString::fromUtf8(option->keyword), QString::fromUtf8(option->val));
    }
    pq().PQconninfoFree(options);
    return parameters;
}

ConnectionParameters& ConnectionParameters::set(const QString& key, const QString& value)
{
    const QByteArray name = key.toUtf8();
    for (auto& item : items_) {
        if (item.first == name) {
            item.second = value.toUtf8();
            return *this;
        }
    }
    items_.append({name, value.toUtf8()});
    return *this;
}

QString ConnectionParameters::value(const QString& key) const
{
    const QByteArray name = key.toUtf8();
    for (const auto& item : items_) {
        if (item.first == name)
            return QString::fromUtf8(item.second);
    }
    return {};
}

bool ConnectionParameters::has(const QString& key) const
{
    const QByteArray name = key.toUtf8();
    for (const auto& item : items_) {
        if (item.first == name)
            return true;
    }
    return false;
}

ConnectionParameters& ConnectionParameters::withNetworkDefaults(int connectTimeoutSeconds)
{
    const QList<QPair<const char*, QString>> defaults = {
        {"keepalives", QStringLiteral("1")},
        {"keepalives_idle", QStringLiteral("30")},
        {"keepalives_interval", QStringLiteral("10")},
        {"keepalives_count", QStringLiteral("3")},
        // Unacknowledged data is given up after this long, instead of the kernel's 15 minutes.
        {"tcp_user_timeout", QStringLiteral("30000")},
        {"connect_timeout", QString::number(qMax(2, connectTimeoutSeconds))},
    };
    for (const auto& [key, value] : defaults) {
        if (!has(QString::fromLatin1(key)))
            set(QString::fromLatin1(key), value);
    }
    return *this;
}

QString ConnectionParameters::describe() const
{
    QStringList parts;
    for (const auto& [key, value] : items_) {
        if (key == "password")
            continue;
        parts << QStringLiteral("%1=%2").arg(QString::fromUtf8(key), QString::fromUtf8(value));
    }
    return parts.join(QLatin1Char(' '));
}

Param Param::binary(const QByteArray& bytes)
{
    Param param;
    param.bytes_ = bytes;
    param.binary_ = true;
    return param;
}

Param Param::null()
{
    Param param;
    param.null_ = true;
    return param;
}

// ---- results ----------------------------------------------------------------------------------

Result::Result(pg_result* result) : result_(result, [](pg_result* r) { pq().PQclear(r); }) {}

bool Result::ok() const
{
    if (!result_)
        return false;
    const ExecStatusType status = pq().PQresultStatus(result_.get());
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK || status == PGRES_SINGLE_TUPLE;
}

bool Result::aborted() const
{
    return result_ && pq().PQresultStatus(result_.get()) == PGRES_PIPELINE_ABORTED;
}

QString Result::sqlState() const
{
    if (!result_)
        return {};
    return QString::fromUtf8(pq().PQresultErrorField(result_.get(), PG_DIAG_SQLSTATE));
}

QString Result::errorMessage() const
{
    if (!result_)
        return QStringLiteral("no result");
    if (aborted())
        return QStringLiteral("not run: an earlier statement of the pipeline failed");
    const char* primary = pq().PQresultErrorField(result_.get(), PG_DIAG_MESSAGE_PRIMARY);
    return QString::fromUtf8(primary ? primary : pq().PQresultErrorMessage(result_.get())).trimmed();
}

int Result::rows() const
{
    return result_ ? pq().PQntuples(result_.get()) : 0;
}

int Result::columns() const
{
    return result_ ? pq().PQnfields(result_.get()) : 0;
}

bool Result::isNull(int row, int column) const
{
    return pq().PQgetisnull(result_.get(), row, column) == 1;
}

QString Result::text(int row, int column) const
{
    return QString::fromUtf8(bytes(row, column));
}

QByteArray Result::bytes(int row, int column) const
{
    if (!result_ || row >= rows() || column >= columns())
        throw Error(Error::Kind::Usage, QStringLiteral("no value at row %1, column %2").arg(row).arg(column));
    return QByteArray(pq().PQgetvalue(result_.get(), row, column), pq().PQgetlength(result_.get(), row, column));
}

qint64 Result::commandRows() const
{
    return result_ ? QByteArray(pq().PQcmdTuples(result_.get())).toLongLong() : 0;
}

const Result& Result::check() const
{
    if (!ok())
        throw Error(Error::Kind::Statement, errorMessage(), sqlState());
    return *this;
}

// ---- blocking connection ----------------------------------------------------------------------

Connection Connection::open(const ConnectionParameters& parameters, int deadlineMilliseconds)
{
    Connection connection(startConnecting(parameters));
    QElapsedTimer clock;
    clock.start();
    PostgresPollingStatusType polling = PGRES_POLLING_WRITING;
    while (polling != PGRES_POLLING_OK) {
        if (polling == PGRES_POLLING_FAILED)
            throw Error(Error::Kind::Connect, connectionMessage(connection.conn_));
        const qint64 left = deadlineMilliseconds - clock.elapsed();
        if (left <= 0)
            throw Error(Error::Kind::Timeout,
                        QStringLiteral("no connection to %1 within %2 ms")
                            .arg(parameters.describe())
                            .arg(deadlineMilliseconds));
        pollfd wanted{pq().PQsocket(connection.conn_), short(polling == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
        if (::poll(&wanted, 1, int(left)) < 0 && errno != EINTR)
            throw Error(Error::Kind::Connect, QStringLiteral("poll failed"));
        if (wanted.revents)
            polling = pq().PQconnectPoll(connection.conn_);
    }
    return connection;
}

Connection::Connection(Connection&& other) noexcept : conn_(std::exchange(other.conn_, nullptr)) {}

Connection& Connection::operator=(Connection&& other) noexcept
{
    if (this != &other) {
        if (conn_)
            pq().PQfinish(conn_);
        conn_ = std::exchange(other.conn_, nullptr);
    }
    return *this;
}

Connection::~Connection()
{
    if (conn_)
        pq().PQfinish(conn_);
}

Result Connection::exec(const QString& sql, const QList<Param>& params, Format format)
{
    const ParamArrays arrays(params);
    Result result(pq().PQexecParams(conn_, sql.toUtf8().constData(), arrays.count(), nullptr, arrays.values.data(),
                                    arrays.lengths.data(), arrays.formats.data(), format == Format::Binary ? 1 : 0));
    if (!result.ok() && connectionBroken(conn_))
        throw Error(Error::Kind::Lost, connectionMessage(conn_));
    result.check();
    return result;
}

void Connection::execScript(const QString& sql)
{
    Result result(pq().PQexec(conn_, sql.toUtf8().constData()));
    if (!result.ok() && connectionBroken(conn_))
        throw Error(Error::Kind::Lost, connectionMessage(conn_));
    result.check();
}

QString Connection::escapeIdentifier(const QString& name) const
{
    const QByteArray bytes = name.toUtf8();
    char* escaped = pq().PQescapeIdentifier(conn_, bytes.constData(), size_t(bytes.size()));
    if (!escaped)
        throw Error(Error::Kind::Usage, connectionMessage(conn_));
    const QString result = QString::fromUtf8(escaped);
    pq().PQfreemem(escaped);
    return result;
}

QString Connection::escapeLiteral(const QString& value) const
{
    const QByteArray bytes = value.toUtf8();
    char* escaped = pq().PQescapeLiteral(conn_, bytes.constData(), size_t(bytes.size()));
    if (!escaped)
        throw Error(Error::Kind::Usage, connectionMessage(conn_));
    const QString result = QString::fromUtf8(escaped);
    pq().PQfreemem(escaped);
    return result;
}

QByteArray Connection::encryptPassword(const QByteArray& password, const QString& user) const
{
    char* verifier = pq().PQencryptPasswordConn(conn_, password.constData(), user.toUtf8().constData(), "scram-sha-256");
    if (!verifier)
        throw Error(Error::Kind::Usage, connectionMessage(conn_));
    const QByteArray result(verifier);
    pq().PQfreemem(verifier);
    return result;
}

QString Connection::parameterStatus(const char* name) const
{
    return QString::fromUtf8(pq().PQparameterStatus(conn_, name));
}

// ---- connection on the event loop -------------------------------------------------------------

AsyncConnection::AsyncConnection(QObject* parent) : QObject(parent)
{
    deadline_ = new QTimer(this);
    deadline_->setSingleShot(true);
    // A coarse timer may fire 5 % early; a deadline is not given up before it passes.
    deadline_->setTimerType(Qt::PreciseTimer);
    connect(deadline_, &QTimer::timeout, this, [this] {
        fail(Error::Kind::Timeout, state_ == State::Connecting ? QStringLiteral("no connection within the deadline")
                                                               : QStringLiteral("no answer within the deadline"));
    });
}

AsyncConnection::~AsyncConnection()
{
    close();
}

void AsyncConnection::open(const ConnectionParameters& parameters, int deadlineMilliseconds)
{
    close();
    try {
        conn_ = startConnecting(parameters);
    } catch (const Error& error) {
        fail(error.kind(), error.message());
        return;
    }
    state_ = State::Connecting;
    deadline_->start(deadlineMilliseconds);
    // As libpq asks: the first poll waits until the socket can be written.
    watch(false, true);
}

void AsyncConnection::close()
{
    stopTimer();
    dropNotifiers();
    socket_ = -1;
    if (conn_)
        pq().PQfinish(conn_);
    conn_ = nullptr;
    state_ = State::Closed;
    results_.clear();
    expected_ = 0;
    statementOpen_ = false;
}

// Often called from a notifier's own signal (a failure found while reading): a notifier is
// never deleted inside its signal, only silenced and deleted later.
void AsyncConnection::dropNotifiers()
{
    for (QSocketNotifier* notifier : {reader_, writer_}) {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }
    reader_ = writer_ = nullptr;
}

void AsyncConnection::stopTimer()
{
    deadline_->stop();
}

void AsyncConnection::watch(bool read, bool write)
{
    const int socket = pq().PQsocket(conn_);
    if (socket != socket_) {
        // libpq opens a new socket for each address it tries.
        dropNotifiers();
        socket_ = socket;
        if (socket_ < 0)
            return;
        reader_ = new QSocketNotifier(socket_, QSocketNotifier::Read, this);
        writer_ = new QSocketNotifier(socket_, QSocketNotifier::Write, this);
        connect(reader_, &QSocketNotifier::activated, this, &AsyncConnection::onReadable);
        connect(writer_, &QSocketNotifier::activated, this, &AsyncConnection::onWritable);
    }
    reader_->setEnabled(read);
    writer_->setEnabled(write);
}

void AsyncConnection::pollConnect()
{
    switch (pq().PQconnectPoll(conn_)) {
    case PGRES_POLLING_READING:
        watch(true, false);
        return;
    case PGRES_POLLING_WRITING:
        watch(false, true);
        return;
    case PGRES_POLLING_OK:
        stopTimer();
        if (pq().PQsetnonblocking(conn_, 1) != 0) {
            fail(Error::Kind::Connect, connectionMessage(conn_));
            return;
        }
        state_ = State::Idle;
        watch(true, false);
        emit connected();
        return;
    default:
        fail(Error::Kind::Connect, connectionMessage(conn_));
        return;
    }
}

void AsyncConnection::onReadable()
{
    if (state_ == State::Connecting) {
        pollConnect();
        return;
    }
    if (pq().PQconsumeInput(conn_) == 0) {
        fail(Error::Kind::Lost, connectionMessage(conn_));
        return;
    }
    if (state_ == State::Busy) {
        flush(); // what could not be written before may fit now
        if (state_ == State::Busy)
            readResults();
    }
    if (state_ == State::Idle || state_ == State::Busy)
        deliverNotifications();
    if (state_ == State::Idle && connectionBroken(conn_))
        fail(Error::Kind::Lost, connectionMessage(conn_));
}

void AsyncConnection::onWritable()
{
    if (state_ == State::Connecting)
        pollConnect();
    else if (state_ == State::Busy)
        flush();
}

void AsyncConnection::flush()
{
    const int left = pq().PQflush(conn_);
    if (left < 0) {
        fail(Error::Kind::Lost, connectionMessage(conn_));
        return;
    }
    // While sending, keep reading too: a server whose own output is full stops reading ours.
    watch(true, left == 1);
}

void AsyncConnection::sendPipeline(const QList<Statement>& statements, int deadlineMilliseconds)
{
    if (state_ != State::Idle || statements.isEmpty()) {
        const QString why = statements.isEmpty() ? QStringLiteral("an empty pipeline")
                                                 : QStringLiteral("the connection is not ready for a pipeline");
        QMetaObject::invokeMethod(this, [this, why] { emit failed(Error(Error::Kind::Usage, why)); }, Qt::QueuedConnection);
        return;
    }
    if (pq().PQenterPipelineMode(conn_) != 1) {
        fail(Error::Kind::Lost, connectionMessage(conn_));
        return;
    }
    for (const Statement& statement : statements) {
        const ParamArrays arrays(statement.params);
        if (pq().PQsendQueryParams(conn_, statement.sql.toUtf8().constData(), arrays.count(), nullptr,
                                   arrays.values.data(), arrays.lengths.data(), arrays.formats.data(),
                                   statement.binaryResult ? 1 : 0) != 1 ||
            // The server sends each statement's result when it is done, not all at the sync.
            pq().PQsendFlushRequest(conn_) != 1) {
            fail(Error::Kind::Lost, connectionMessage(conn_));
            return;
        }
    }
    if (pq().PQpipelineSync(conn_) != 1) {
        fail(Error::Kind::Lost, connectionMessage(conn_));
        return;
    }
    state_ = State::Busy;
    expected_ = int(statements.size());
    results_.clear();
    statementOpen_ = false;
    deadline_->start(deadlineMilliseconds);
    flush();
}

void AsyncConnection::listen(const QString& channel, int deadlineMilliseconds)
{
    QString quoted = channel;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    sendPipeline({Statement{QStringLiteral("LISTEN \"%1\"").arg(quoted), {}}}, deadlineMilliseconds);
}

void AsyncConnection::readResults()
{
    bool lastWasNull = false;
    while (state_ == State::Busy && !pq().PQisBusy(conn_)) {
        pg_result* raw = pq().PQgetResult(conn_);
        if (!raw) {
            // The end of one statement's results; two in a row mean nothing more has come.
            if (lastWasNull)
                return;
            lastWasNull = true;
            statementOpen_ = false;
            continue;
        }
        lastWasNull = false;
        Result result(raw);
        const ExecStatusType status = pq().PQresultStatus(raw);
        if (status == PGRES_PIPELINE_SYNC) {
            stopTimer();
            pq().PQexitPipelineMode(conn_);
            if (results_.size() != expected_) {
                fail(Error::Kind::Lost, QStringLiteral("the server answered %1 of %2 statements")
                                            .arg(results_.size())
                                            .arg(expected_));
                return;
            }
            state_ = State::Idle;
            watch(true, false);
            const QList<Result> results = std::exchange(results_, {});
            emit pipelineFinished(results);
            return;
        }
        if (status == PGRES_FATAL_ERROR && connectionBroken(conn_)) {
            fail(Error::Kind::Lost, result.errorMessage());
            return;
        }
        if (statementOpen_)
            continue; // a statement gives one result here; more would be a COPY's, not ours
        if (results_.size() >= expected_) {
            fail(Error::Kind::Lost, QStringLiteral("the server answered more statements than were sent"));
            return;
        }
        statementOpen_ = true;
        results_.append(result);
        emit statementFinished(int(results_.size()) - 1, result);
    }
    if (state_ == State::Busy && connectionBroken(conn_))
        fail(Error::Kind::Lost, connectionMessage(conn_));
}

void AsyncConnection::deliverNotifications()
{
    while (conn_) {
        PGnotify* notify = pq().PQnotifies(conn_);
        if (!notify)
            return;
        const QString channel = QString::fromUtf8(notify->relname);
        const QString payload = QString::fromUtf8(notify->extra);
        pq().PQfreemem(notify);
        emit notification(channel, payload);
    }
}

void AsyncConnection::fail(Error::Kind kind, const QString& message)
{
    close();
    // Always from the event loop, so a caller never meets the signal inside its own call.
    QMetaObject::invokeMethod(
        this, [this, kind, message] { emit failed(Error(kind, message)); }, Qt::QueuedConnection);
}

} // namespace Pg
