#pragma once
// A school server for the teacher's side: a real cluster set up by the built typelab-server, a
// teacher added with add-teacher, machines enrolled that submit results through typelab.submit,
// and the school's CA certificate put into an Application folder's data/, as typelab-admin join
// puts it. Where the server's schema does not have the check's columns or the live view of a
// sitting yet, stand-ins of the same names and columns are made here, in the test cluster only.

#include "support/pg_cluster.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QTime>
#include <QUuid>

#include <map>
#include <optional>
#include <stdexcept>

class SchoolServer {
public:
    static constexpr const char* kTeacher = "teacher.wang";
    static constexpr const char* kPassword = "Zh3ngque-mima-2026";

    void start()
    {
        cluster.start();
        cluster.addTeacher(QString::fromLatin1(kTeacher), QString::fromLatin1(kPassword));
    }

    QString address() const { return QStringLiteral("localhost:%1").arg(cluster.port()); }

    // The school's CA as typelab-admin join leaves it in an Application folder.
    void installCa(const QString& appFolder) const
    {
        QDir().mkpath(appFolder + QStringLiteral("/data"));
        const QString target = appFolder + QStringLiteral("/data/school-ca.crt");
        QFile::remove(target);
        if (!QFile::copy(cluster.stateDir() + QStringLiteral("/server/ca.crt"), target))
            throw std::runtime_error("cannot copy the school's CA");
    }

    // An enrolled machine's connection (kept, one per name).
    Pg::Connection& machine(const QString& name)
    {
        if (!machines_.contains(name))
            machines_.emplace(name, Pg::Connection::open(cluster.machine(name)));
        return machines_.find(name)->second;
    }

    struct Result {
        QString xh;
        QString xm = QStringLiteral("张三");
        QString batch = QStringLiteral("B1");
        double lrcj = 88.5;
        double lrsd = 123.25;
        double lrzql = 97.5;
        QDate lrdate = QDate(2026, 12, 8);
        QTime lrtime = QTime(10, 15, 30);
        bool chinese = false;
    };
    // Submits a result as the machine; gives its id. Throws unless the server stored it.
    QString submit(const QString& machineName, const Result& result)
    {
        const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        const QString answer =
            machine(machineName)
                .exec(QStringLiteral("SELECT typelab.submit($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13)"),
                      {id, result.xh, result.xm, result.chinese ? QStringLiteral("中文") : QStringLiteral("英文"),
                       QString::number(result.lrcj, 'g', 17), QString::number(result.lrsd, 'g', 17),
                       QString::number(result.lrzql, 'g', 17), result.lrdate.toString(Qt::ISODate),
                       result.lrtime.toString(QStringLiteral("HH:mm:ss")), result.batch, result.chinese ? "2" : "1",
                       Pg::Param::binary("The quick brown fox.\r\n"), Pg::Param::binary(QByteArray("keys", 4))})
                .text(0, 0);
        if (answer != QLatin1String("stored"))
            throw std::runtime_error(("submit answered " + answer).toStdString());
        return id;
    }

    // verified, marks and duplicate on typelab.results: the server's own when its schema has
    // them, otherwise a stand-in table behind the same view. setCheck() writes the stand-in.
    bool checkColumnsAreStandIn()
    {
        Pg::Connection owner = cluster.superuser();
        if (hasColumn(owner, QStringLiteral("typelab.results"), QStringLiteral("verified")))
            return false;
        owner.execScript(QStringLiteral(
            "CREATE TABLE typelab.result_check (id uuid PRIMARY KEY, verified boolean, marks text, duplicate boolean);"
            "ALTER TABLE typelab.result_check OWNER TO typelab_owner;"
            "CREATE OR REPLACE VIEW typelab.results AS"
            " SELECT r.id, r.xh, r.xm, r.lrpc, r.lrdate, r.lrtime, r.lrsd, r.lrzql, r.lrcj, r.lrxm, r.machine,"
            " r.received_at, r.lrdate AS lrrq, r.lrtime AS lrsj, c.verified, c.marks, c.duplicate"
            " FROM typelab.result r LEFT JOIN typelab.result_check c ON c.id = r.id;"));
        return true;
    }
    void setCheck(const QString& id, std::optional<bool> verified, bool duplicate, const QString& marks = {})
    {
        cluster.superuser().exec(
            QStringLiteral("INSERT INTO typelab.result_check VALUES ($1, $2, $3, $4) ON CONFLICT (id) DO UPDATE"
                           " SET verified = EXCLUDED.verified, marks = EXCLUDED.marks, duplicate = EXCLUDED.duplicate"),
            {id, verified ? Pg::Param(*verified ? "t" : "f") : Pg::Param::null(),
             marks.isEmpty() ? Pg::Param::null() : Pg::Param(marks), duplicate ? "t" : "f"});
    }

    // The live view typelab.attempts with its columns, over a stand-in table whose changes
    // NOTIFY typelab_batch with the lower-cased batch in their transaction, as the server's do.
    // False when the server's schema has the view itself.
    bool attemptsAreStandIn()
    {
        Pg::Connection owner = cluster.superuser();
        if (!owner.exec(QStringLiteral("SELECT to_regclass('typelab.attempts') IS NULL")).text(0, 0).startsWith(u't'))
            return false;
        owner.execScript(QStringLiteral(
            "CREATE TABLE typelab.attempt_stand_in (batch text, xh text, xm text, machine text,"
            " began_at timestamptz, heard_at timestamptz, typed integer, seconds_left integer,"
            " finished boolean NOT NULL DEFAULT false, lrsd double precision, lrzql double precision,"
            " lrcj double precision, verified boolean, duplicate boolean NOT NULL DEFAULT false, marks text,"
            " PRIMARY KEY (batch, xh, machine));"
            "CREATE INDEX attempt_stand_in_batch ON typelab.attempt_stand_in (lower(batch));"
            "CREATE FUNCTION typelab.attempt_stand_in_told() RETURNS trigger LANGUAGE plpgsql AS $$"
            " BEGIN PERFORM pg_notify('typelab_batch', lower(NEW.batch)); RETURN NEW; END $$;"
            "CREATE TRIGGER attempt_stand_in_told AFTER INSERT OR UPDATE ON typelab.attempt_stand_in"
            " FOR EACH ROW EXECUTE FUNCTION typelab.attempt_stand_in_told();"
            "CREATE VIEW typelab.attempts AS SELECT batch, xh, xm, machine, began_at, heard_at, typed, seconds_left,"
            " finished, lrsd, lrzql, lrcj, verified, duplicate, marks, clock_timestamp() AS server_now"
            " FROM typelab.attempt_stand_in;"
            "ALTER TABLE typelab.attempt_stand_in OWNER TO typelab_owner;"
            "ALTER VIEW typelab.attempts OWNER TO typelab_owner;"
            "GRANT SELECT ON typelab.attempts TO typelab_teacher;"));
        return true;
    }

    // One row of the stand-in behind typelab.attempts; times are seconds before the server's now.
    struct Attempt {
        QString batch;
        QString xh;
        QString xm = QStringLiteral("张三");
        QString machine = QStringLiteral("PC01");
        int beganAgo = 120;
        int heardAgo = 5;
        std::optional<int> typed;
        std::optional<int> secondsLeft;
        bool finished = false;
        std::optional<double> lrsd, lrzql, lrcj;
        std::optional<bool> verified;
        bool duplicate = false;
        QString marks;
    };
    // Writes the row (new, or over the same batch, student and machine) in its own transaction.
    static void setAttempt(Pg::Connection& connection, const Attempt& a)
    {
        const auto number = [](const auto& value) {
            return value ? Pg::Param(QString::number(double(*value), 'g', 17)) : Pg::Param::null();
        };
        connection.exec(
            QStringLiteral(
                "INSERT INTO typelab.attempt_stand_in VALUES ($1, $2, $3, $4, now() - $5 * interval '1 second',"
                " now() - $6 * interval '1 second', $7, $8, $9, $10, $11, $12, $13, $14, $15)"
                " ON CONFLICT (batch, xh, machine) DO UPDATE SET xm = EXCLUDED.xm, began_at = EXCLUDED.began_at,"
                " heard_at = EXCLUDED.heard_at, typed = EXCLUDED.typed, seconds_left = EXCLUDED.seconds_left,"
                " finished = EXCLUDED.finished, lrsd = EXCLUDED.lrsd, lrzql = EXCLUDED.lrzql, lrcj = EXCLUDED.lrcj,"
                " verified = EXCLUDED.verified, duplicate = EXCLUDED.duplicate, marks = EXCLUDED.marks"),
            {a.batch, a.xh, a.xm, a.machine, QString::number(a.beganAgo), QString::number(a.heardAgo), number(a.typed),
             number(a.secondsLeft), a.finished ? "t" : "f", number(a.lrsd), number(a.lrzql), number(a.lrcj),
             a.verified ? Pg::Param(*a.verified ? "t" : "f") : Pg::Param::null(), a.duplicate ? "t" : "f",
             a.marks.isEmpty() ? Pg::Param::null() : Pg::Param(a.marks)});
    }

    PgCluster cluster;

private:
    static bool hasColumn(Pg::Connection& connection, const QString& relation, const QString& column)
    {
        return connection
                   .exec(
                       QStringLiteral("SELECT count(*) FROM pg_attribute WHERE attrelid = $1::regclass AND attname = $2"
                                      " AND NOT attisdropped"),
                       {relation, column})
                   .text(0, 0)
            != QLatin1String("0");
    }
    std::map<QString, Pg::Connection> machines_;
};
