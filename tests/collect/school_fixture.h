#pragma once
// A school server for the teacher's side: a real cluster set up by the built typelab-server, a
// teacher added with add-teacher, enrolled machines that claim, note progress and submit through
// the server's own functions, the verifier's findings recorded through record_verification, and
// the school's CA certificate put into an Application folder's data/, as typelab-admin join puts it.

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

    // An enrolled machine's connection (enrolled on first use, kept, one per name).
    Pg::Connection& machine(const QString& name)
    {
        if (!machines_.contains(name))
            machines_.emplace(name, Pg::Connection::open(cluster.machine(name)));
        return machines_.find(name)->second;
    }
    // The cluster's superuser, as typelab-server verify and the owner's own changes connect.
    Pg::Connection& owner()
    {
        if (!owner_)
            owner_.emplace(cluster.superuser());
        return *owner_;
    }

    // A student of a batch as a test login takes them.
    struct Student {
        QString batch;
        QString xh;
        QString xm = QStringLiteral("张三");
    };

    // The claim at a test login on the machine (typelab.claim_attempt): 'granted', 'again' or
    // 'elsewhere:NAME'.
    QString claim(const QString& machineName, const Student& s)
    {
        return machine(machineName)
            .exec(QStringLiteral("SELECT typelab.claim_attempt($1, $2, $3)"), {s.batch, s.xh, s.xm})
            .text(0, 0);
    }
    // A claim the machine made while the server was away, sent later from its outbox
    // (typelab.record_claim): the attempt is recorded whoever holds the claim.
    QString claimFromOutbox(const QString& machineName, const Student& s)
    {
        return machine(machineName)
            .exec(QStringLiteral("SELECT typelab.record_claim($1, $2, $3, $4, now())"),
                  {QUuid::createUuid().toString(QUuid::WithoutBraces), s.batch, s.xh, s.xm})
            .text(0, 0);
    }
    // The machine's progress note while the exercise runs (typelab.note_progress).
    void progress(const QString& machineName, const Student& s, int typed, int secondsLeft)
    {
        machine(machineName)
            .exec(QStringLiteral("SELECT typelab.note_progress($1, $2, $3, $4, $5)"),
                  {s.batch, s.xh, s.xm, QString::number(typed), QString::number(secondsLeft)});
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

    // What the verifier found on replaying a result's keystrokes.
    struct Finding {
        bool verified = true;
        std::optional<double> lrcj, lrsd, lrzql; // the server's own figures
        QString problem;
        QString marks;
    };
    // Recorded as typelab-server verify records it (typelab.record_verification).
    void verify(const QString& id, const Finding& f)
    {
        const auto number = [](std::optional<double> value) {
            return value ? Pg::Param(QString::number(*value, 'g', 17)) : Pg::Param::null();
        };
        const auto text = [](const QString& value) { return value.isEmpty() ? Pg::Param::null() : Pg::Param(value); };
        const QString answer =
            owner()
                .exec(QStringLiteral("SELECT typelab.record_verification($1, $2, $3, $4, $5, $6, $7)"),
                      {id, f.verified ? "t" : "f", number(f.lrcj), number(f.lrsd), number(f.lrzql), text(f.problem),
                       text(f.marks)})
                .text(0, 0);
        if (answer != QLatin1String("recorded"))
            throw std::runtime_error(("record_verification answered " + answer).toStdString());
    }

    // Time passing, which a test cannot wait for: everything the server holds of the student's
    // attempt on the machine (its beginning, the machine's last word, its last progress note and
    // its results' arrival) moved the given seconds into the past, as though it had all happened
    // that much earlier. The owner does it in one transaction with the NOTIFY the server's own
    // changes send, so a live window hears of it as of any other change.
    void moveBack(const QString& machineName, const Student& s, int seconds)
    {
        Pg::Connection& o = owner();
        o.exec(QStringLiteral("BEGIN"));
        try {
            const QList<Pg::Param> params{s.batch, s.xh, machineName, QString::number(seconds)};
            o.exec(QStringLiteral("UPDATE typelab.attempt SET began_at = began_at - $4 * interval '1 second',"
                                  " heard_at = heard_at - $4 * interval '1 second',"
                                  " progress_at = progress_at - $4 * interval '1 second'"
                                  " WHERE lower(batch) = lower($1) AND lower(xh) = lower($2) AND machine = $3"),
                   params);
            o.exec(QStringLiteral("UPDATE typelab.result SET received_at = received_at - $4 * interval '1 second'"
                                  " WHERE lower(lrpc) = lower($1) AND lower(xh) = lower($2) AND machine = $3"),
                   params);
            o.exec(QStringLiteral("SELECT pg_notify('typelab_batch', lower($1))"), {s.batch});
            o.exec(QStringLiteral("COMMIT"));
        } catch (...) {
            o.exec(QStringLiteral("ROLLBACK"));
            throw;
        }
    }

    PgCluster cluster;

private:
    std::map<QString, Pg::Connection> machines_;
    std::optional<Pg::Connection> owner_;
};
