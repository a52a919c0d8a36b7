#include "collect/server_login.h"

#include "platform/paths.h"

#include <QDir>
#include <QFileInfo>

namespace {
const QString kCrLf = QStringLiteral("\r\n");
}

QString ServerLogin::caFile(const QString& appFolder)
{
    return Paths::inAppFolder(appFolder, QStringLiteral("data/school-ca.crt"));
}

bool ServerLogin::split(QString* host, int* port) const
{
    const QString typed = address.trimmed();
    QString name = typed;
    QString portText;
    if (typed.startsWith(QLatin1Char('['))) {
        // An IPv6 address in brackets, with or without a port.
        const int close = typed.indexOf(QLatin1Char(']'));
        if (close < 0)
            return false;
        name = typed.mid(1, close - 1);
        const QString rest = typed.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':')))
                return false;
            portText = rest.mid(1);
        }
    } else if (typed.count(QLatin1Char(':')) == 1) {
        name = typed.section(QLatin1Char(':'), 0, 0);
        portText = typed.section(QLatin1Char(':'), 1);
    }
    if (name.isEmpty() || name.contains(QLatin1Char(' ')) || name.contains(QLatin1Char('/')))
        return false;
    int number = kDefaultPort;
    if (!portText.isNull()) {
        bool ok = false;
        number = portText.toInt(&ok);
        if (!ok || number < 1 || number > 65535)
            return false;
    }
    *host = name;
    *port = number;
    return true;
}

QString ServerLogin::shownAddress() const
{
    QString host;
    int port = 0;
    if (!split(&host, &port))
        return address.trimmed();
    return (host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host)
        + QStringLiteral(":%1").arg(port);
}

QString ServerLogin::refusal() const
{
    if (address.trimmed().isEmpty() || user.trimmed().isEmpty() || password.isEmpty())
        return QStringLiteral("服务器地址、用户名和密码都不能为空");
    QString host;
    int port = 0;
    if (!split(&host, &port))
        return QStringLiteral("服务器地址应为“主机名”或“主机名:端口”，例如 school.example.org:5432");
    return {};
}

QString ServerLogin::host() const
{
    QString name;
    int port = 0;
    split(&name, &port);
    return name;
}

Pg::ConnectionParameters ServerLogin::parameters(const QString& appFolder, const QStringList& addresses) const
{
    QString host;
    int port = kDefaultPort;
    split(&host, &port);
    Pg::ConnectionParameters parameters;
    if (addresses.isEmpty()) {
        parameters.set(QStringLiteral("host"), host);
    } else {
        // One name per address: the name is what the certificate must show.
        parameters.set(QStringLiteral("host"), QStringList(addresses.size(), host).join(QLatin1Char(',')))
            .set(QStringLiteral("hostaddr"), addresses.join(QLatin1Char(',')));
    }
    parameters.set(QStringLiteral("port"), QString::number(port))
        .set(QStringLiteral("dbname"), QStringLiteral("typelab"))
        .set(QStringLiteral("user"), user.trimmed())
        .set(QStringLiteral("password"), password)
        .set(QStringLiteral("sslmode"), QStringLiteral("verify-full"))
        .set(QStringLiteral("sslrootcert"), caFile(appFolder))
        // No Kerberos round trip before TLS.
        .set(QStringLiteral("gssencmode"), QStringLiteral("disable"))
        .set(QStringLiteral("application_name"), QStringLiteral("typelab-teacher"));
    parameters.withNetworkDefaults(kConnectDeadlineMilliseconds / 1000);
    return parameters;
}

QString ServerLogin::missingCa(const QString& appFolder)
{
    const QString file = caFile(appFolder);
    if (QFileInfo(file).isFile())
        return {};
    return QStringLiteral("找不到学校服务器的证书文件：") + QDir::toNativeSeparators(file) + kCrLf
        + QStringLiteral("本机还没有加入学校服务器，请管理员先运行 typelab-admin join。");
}

QString ServerLogin::connectFailure(const Pg::Error& error) const
{
    const QString said = error.message();
    const QString server = shownAddress();
    // libpq's and the server's messages are matched in English; anything else is shown as said.
    if (error.kind() == Pg::Error::Kind::LibraryMissing)
        return QStringLiteral("本机缺少 PostgreSQL 客户端库（libpq5），请管理员安装后重试。");
    if (said.contains(QLatin1String("password authentication failed"))
        || said.contains(QLatin1String("password is missing")) || said.contains(QLatin1String("no password supplied")))
        return QStringLiteral("用户名或密码错误，请重新输入。");
    // A lab machine's name: the server lets it in only with its certificate.
    if (said.contains(QLatin1String("no pg_hba.conf entry"))
        || said.contains(QLatin1String("is not permitted to log in"))
        || said.contains(QLatin1String("requires a valid client certificate"))
        || said.contains(QLatin1String("certificate authentication failed")))
        return QStringLiteral("服务器不允许用户“%1”登录，请确认这是教师的用户名。").arg(user.trimmed());
    if (said.contains(QLatin1String("certificate")) || said.contains(QLatin1String("SSL")))
        return QStringLiteral("服务器 %1 的证书与学校的证书不符，没有连接。请核对服务器地址，"
                              "或请管理员检查本机的学校证书。")
                   .arg(server)
            + kCrLf + said;
    if (error.kind() == Pg::Error::Kind::Timeout || said.contains(QLatin1String("Connection refused"))
        || said.contains(QLatin1String("could not translate host name"))
        || said.contains(QLatin1String("timeout expired")) || said.contains(QLatin1String("No route to host"))
        || said.contains(QLatin1String("Network is unreachable")))
        return QStringLiteral("连接不上学校服务器 %1：服务器没有响应或地址有误。请检查地址和网络后重试。").arg(server);
    return QStringLiteral("连接学校服务器 %1 失败：").arg(server) + said;
}
