// typelab-server: sets up the school's PostgreSQL server for typelab and enrols its machines and
// teachers. Run as root on the server machine (or as the cluster's owner). `verify` runs the
// worker that checks every result received, as the system user typelab-verify.
#include "server/server_config.h"
#include "server/server_enrollment.h"
#include "server/server_setup.h"
#include "server/verify_command.h"

#include <QCoreApplication>
#include <QTextStream>

#include <iostream>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace {

const char* const kUsage =
    "usage:\n"
    "  typelab-server setup [--state-dir DIR] [--socket-dir DIR] [--port N] [--owner USER]\n"
    "                       [--host NAME]... [--listen ADDRESSES] [--migrations DIR]\n"
    "  typelab-server migrate [--state-dir DIR]\n"
    "  typelab-server enroll NAME [--days N] [--state-dir DIR]\n"
    "  typelab-server revoke NAME [--state-dir DIR]\n"
    "  typelab-server add-teacher USER [--state-dir DIR]    (the password: one line on standard input)\n"
    "  typelab-server verify [--state-dir DIR] [--threads N] [--once]\n";

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The command line: the command, its one name where it takes one, and --options.
struct CommandLine {
    QString command;
    QString name;
    QList<QPair<QString, QString>> options;
    QStringList flags;

    QString stateDir() const
    {
        QString dir = QString::fromLatin1(ServerConfig::kDefaultStateDir);
        for (const auto& [key, value] : options) {
            if (key == QLatin1String("state-dir"))
                dir = value;
        }
        return dir;
    }
};

CommandLine parse(const QStringList& arguments, const QStringList& allowed, bool takesName,
                  const QStringList& allowedFlags = {})
{
    CommandLine line;
    line.command = arguments.value(1);
    for (qsizetype i = 2; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (!argument.startsWith(QLatin1String("--"))) {
            if (!takesName || !line.name.isEmpty())
                throw UsageError("unexpected argument " + argument.toStdString());
            line.name = argument;
            continue;
        }
        if (allowedFlags.contains(argument.mid(2))) {
            line.flags << argument.mid(2);
            continue;
        }
        QString key = argument.mid(2), value;
        if (const qsizetype equals = key.indexOf(QLatin1Char('=')); equals >= 0) {
            value = key.mid(equals + 1);
            key.truncate(equals);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            throw UsageError("--" + key.toStdString() + " needs a value");
        }
        if (!allowed.contains(key))
            throw UsageError(line.command.toStdString() + " takes no --" + key.toStdString());
        line.options.append({key, value});
    }
    if (takesName && line.name.isEmpty())
        throw UsageError(line.command.toStdString() + " needs a name");
    return line;
}

int number(const QString& key, const QString& value)
{
    bool ok = false;
    const int n = value.toInt(&ok);
    if (!ok || n <= 0)
        throw UsageError("--" + key.toStdString() + " takes a positive number, not " + value.toStdString());
    return n;
}

// Setup starts from what an earlier setup recorded; options given replace it.
ServerConfig setupConfig(const CommandLine& line)
{
    const QString stateDir = line.stateDir();
    ServerConfig config = ServerConfig::load(stateDir).value_or(ServerConfig{});
    config.stateDir = stateDir;
    bool hostsGiven = false;
    for (const auto& [key, value] : line.options) {
        if (key == QLatin1String("socket-dir"))
            config.socketDir = value;
        else if (key == QLatin1String("port"))
            config.port = number(key, value);
        else if (key == QLatin1String("owner"))
            config.owner = value;
        else if (key == QLatin1String("listen"))
            config.listen = value;
        else if (key == QLatin1String("migrations"))
            config.migrationsDir = value;
        else if (key == QLatin1String("host")) {
            if (!hostsGiven)
                config.hosts.clear();
            hostsGiven = true;
            config.hosts << value;
        }
    }
    return config;
}

QByteArray passwordFromInput()
{
    std::string line;
    if (!std::getline(std::cin, line))
        return {};
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return QByteArray::fromStdString(line);
}

int run(const QStringList& arguments)
{
    QTextStream out(stdout);
    const QString command = arguments.value(1);
    const QStringList state{QStringLiteral("state-dir")};
    if (command == QLatin1String("setup")) {
        const CommandLine line = parse(arguments,
                                       {QStringLiteral("state-dir"), QStringLiteral("socket-dir"), QStringLiteral("port"),
                                        QStringLiteral("owner"), QStringLiteral("host"), QStringLiteral("listen"),
                                        QStringLiteral("migrations")},
                                       false);
        ServerSetup::setup(setupConfig(line), out);
    } else if (command == QLatin1String("migrate")) {
        ServerSetup::migrate(parse(arguments, state, false).stateDir(), out);
    } else if (command == QLatin1String("enroll")) {
        const CommandLine line = parse(arguments, {QStringLiteral("state-dir"), QStringLiteral("days")}, true);
        int days = 1825;
        for (const auto& [key, value] : line.options) {
            if (key == QLatin1String("days"))
                days = number(key, value);
        }
        const QString bundle = ServerEnrollment::enroll(line.stateDir(), line.name, days, out);
        out << bundle << "\n";
    } else if (command == QLatin1String("revoke")) {
        const CommandLine line = parse(arguments, state, true);
        ServerEnrollment::revoke(line.stateDir(), line.name, out);
    } else if (command == QLatin1String("add-teacher")) {
        const CommandLine line = parse(arguments, state, true);
        ServerEnrollment::addTeacher(line.stateDir(), line.name, passwordFromInput(), out);
    } else if (command == QLatin1String("verify")) {
        const CommandLine line =
            parse(arguments, {QStringLiteral("state-dir"), QStringLiteral("threads")}, false, {QStringLiteral("once")});
        Verifier::Options options;
        options.once = line.flags.contains(QLatin1String("once"));
        for (const auto& [key, value] : line.options) {
            if (key == QLatin1String("threads"))
                options.threads = number(key, value);
        }
        QTextStream log(stderr);
        return VerifyCommand::run(line.stateDir(), options, log);
    } else {
        throw UsageError(command.isEmpty() ? "no command given" : "unknown command " + command.toStdString());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    ::umask(022);
    QCoreApplication app(argc, argv);
    try {
        return run(app.arguments());
    } catch (const UsageError& error) {
        std::cerr << "typelab-server: " << error.what() << "\n" << kUsage;
        return 2;
    } catch (const std::exception& error) {
        std::cerr << "typelab-server: " << error.what() << "\n";
        return 1;
    }
}
