// The school server's floor: how many results per second typelab.submit stores when 32 clients
// send real-sized results (a keystroke log of ~20 KB and a text of ~5 KB, random ids, so each
// is stored) as one enrolled machine with its client certificate, through pgbench against a
// real cluster that typelab-server set up:
//   - with a new TLS connection for every result (pgbench -C), as lab machines connect only
//     when they have something to send;
//   - on kept connections;
// and, for what a connection alone costs, a new TLS connection per `SELECT 1`.
//   bench_school_server [SECONDS]   (20 by default, for each of the two runs)
#include "support/pg_cluster.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int kClients = 32;

QByteArray hexBytea(const QByteArray& bytes)
{
    return "\\x" + bytes.toHex();
}

// A ten-minute English result: its text and a log of its keystrokes, as large as real ones.
QByteArray exerciseText()
{
    const QByteArray line = "The quick brown fox jumps over the lazy dog; pack my box with five dozen liquor jugs.\r\n";
    return line.repeated(5120 / line.size() + 1).left(5120);
}

QByteArray keystrokeLog()
{
    QByteArray log(20 * 1024, '\0');
    QRandomGenerator generator(20261209);
    for (char& byte : log)
        byte = char(generator.bounded(256));
    return log;
}

struct Figures {
    QString tps;
    QString transactions;
    QString failed;
};

Figures runPgbench(const QString& conninfo, const QString& script, bool reconnect, int seconds)
{
    QStringList arguments{QStringLiteral("-n"), QStringLiteral("-M"), QStringLiteral("extended"), QStringLiteral("-c"),
                          QString::number(kClients), QStringLiteral("-j"), QStringLiteral("2"), QStringLiteral("-T"),
                          QString::number(seconds), QStringLiteral("-f"), script,
                          QStringLiteral("-D"), QStringLiteral("text=") + QString::fromLatin1(hexBytea(exerciseText())),
                          QStringLiteral("-D"), QStringLiteral("log=") + QString::fromLatin1(hexBytea(keystrokeLog()))};
    if (reconnect)
        arguments << QStringLiteral("-C");
    arguments << conninfo;
    QProcess pgbench;
    pgbench.setProcessChannelMode(QProcess::MergedChannels);
    pgbench.start(PgCluster::binDir() + QStringLiteral("/pgbench"), arguments);
    if (!pgbench.waitForFinished((seconds + 120) * 1000) || pgbench.exitCode() != 0)
        throw std::runtime_error("pgbench failed:\n" + pgbench.readAll().toStdString());
    const QString output = QString::fromUtf8(pgbench.readAll());
    const auto find = [&](const char* pattern) {
        return QRegularExpression(QString::fromLatin1(pattern)).match(output).captured(1);
    };
    return {find("tps = ([0-9.]+)"), find("number of transactions actually processed: ([0-9]+)"),
            find("number of failed transactions: ([0-9]+)")};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? QByteArray(argv[1]).toInt() : 20;
    try {
        PgCluster cluster;
        cluster.start();
        const Pg::ConnectionParameters machine = cluster.machine(QStringLiteral("bench-pc"));
        QTemporaryDir work;
        const QString script = work.filePath(QStringLiteral("submit.sql"));
        QFile file(script);
        if (!file.open(QIODevice::WriteOnly))
            throw std::runtime_error("cannot write the pgbench script");
        file.write("SELECT typelab.submit(gen_random_uuid(), '2026010101', '张三', '英文', 88.5, 123.25, 97.5, "
                   "current_date, localtime(0)::time, 'B1', 1::smallint, :text::bytea, :log::bytea);\n");
        file.close();
        std::printf("PostgreSQL 15, %d clients, %d s each, one machine's certificate, verify-full TLS; "
                    "each result a ~20 KB log and a ~5 KB text (sent as hex text by pgbench)\n",
                    kClients, seconds);
        for (const bool reconnect : {true, false}) {
            const Figures figures = runPgbench(machine.describe(), script, reconnect, seconds);
            std::printf("%-42s %10s results/s  (%s stored, %s failed)\n",
                        reconnect ? "new TLS connection per result (-C):" : "kept connections:",
                        qPrintable(figures.tps), qPrintable(figures.transactions),
                        qPrintable(figures.failed.isEmpty() ? QStringLiteral("0") : figures.failed));
            std::fflush(stdout);
        }
        const QString connectOnly = work.filePath(QStringLiteral("connect.sql"));
        QFile select(connectOnly);
        if (!select.open(QIODevice::WriteOnly))
            throw std::runtime_error("cannot write the pgbench script");
        select.write("SELECT 1;\n");
        select.close();
        const Figures connections = runPgbench(machine.describe(), connectOnly, true, seconds);
        std::printf("%-42s %10s connections/s\n", "for comparison, new TLS connection, SELECT 1:",
                    qPrintable(connections.tps));
        Pg::Connection admin = cluster.superuser();
        std::printf("results in typelab.result: %s, refused copies: %s\n",
                    qPrintable(admin.exec(QStringLiteral("SELECT count(*) FROM typelab.result")).text(0, 0)),
                    qPrintable(admin.exec(QStringLiteral("SELECT count(*) FROM typelab.refused_copy")).text(0, 0)));
        cluster.stop();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_school_server: %s\n", error.what());
        return 1;
    }
    return 0;
}
