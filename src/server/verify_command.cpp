#include "server/verify_command.h"

#include "server/hba_block.h"
#include "server/server_config.h"

#include <QCoreApplication>

#include <grp.h>
#include <pwd.h>
#include <stdexcept>
#include <unistd.h>

namespace VerifyCommand {

namespace {

void becomeVerifyUser()
{
    if (::geteuid() != 0)
        return;
    const passwd* user = ::getpwnam(HbaBlock::kVerifyUser);
    if (!user)
        throw std::runtime_error(std::string("the system user ") + HbaBlock::kVerifyUser +
                                 " does not exist: the typelab-server package makes it (or run: adduser --system "
                                 "--group --no-create-home " + HbaBlock::kVerifyUser + ")");
    if (::setgroups(0, nullptr) != 0 || ::setgid(user->pw_gid) != 0 || ::setuid(user->pw_uid) != 0)
        throw std::runtime_error(std::string("cannot become the system user ") + HbaBlock::kVerifyUser);
}

} // namespace

Pg::ConnectionParameters parameters(const QString& socketDir, int port)
{
    Pg::ConnectionParameters parameters;
    parameters.set(QStringLiteral("host"), socketDir)
        .set(QStringLiteral("port"), QString::number(port))
        .set(QStringLiteral("dbname"), QStringLiteral("typelab"))
        .set(QStringLiteral("user"), QStringLiteral("typelab_verify"))
        .set(QStringLiteral("application_name"), QStringLiteral("typelab-verify"));
    return parameters;
}

int run(const QString& stateDir, Verifier::Options options, QTextStream& log)
{
    const std::optional<ServerConfig> config = ServerConfig::load(stateDir);
    if (!config)
        throw std::runtime_error("typelab-server is not set up in " + stateDir.toStdString() +
                                 " (no server.conf): run typelab-server setup first");
    becomeVerifyUser();
    options.parameters = parameters(config->socketDir, config->port);
    Verifier verifier(options, log);
    QObject::connect(&verifier, &Verifier::finished, QCoreApplication::instance(),
                     [](int code) { QCoreApplication::exit(code); });
    verifier.start();
    return QCoreApplication::exec();
}

} // namespace VerifyCommand
