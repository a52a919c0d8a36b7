#include "server/certificate_authority.h"

#include "server/server_files.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <arpa/inet.h>
#include <optional>
#include <stdexcept>

namespace {

// Everything `openssl ca` is told lives here; the extension sections are the two kinds of
// certificate it issues.
QByteArray configuration(const QString& folder)
{
    return QStringLiteral(R"([ ca ]
default_ca = typelab_ca

[ typelab_ca ]
dir = %1
database = $dir/index.txt
new_certs_dir = $dir/certs
certificate = $dir/ca.crt
private_key = $dir/ca.key
serial = $dir/serial
crlnumber = $dir/crlnumber
default_md = sha256
default_days = 1825
# The CRL must not expire while the school runs: PostgreSQL then refuses every certificate.
default_crl_days = 3650
policy = policy_common_name
unique_subject = no
copy_extensions = none
email_in_dn = no
preserve = no

[ policy_common_name ]
commonName = supplied

[ machine_cert ]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = clientAuth
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid

[ req ]
distinguished_name = req_dn
prompt = no
[ req_dn ]
CN = unused
)")
        .arg(folder)
        .toUtf8();
}

QByteArray openssl(const QStringList& arguments)
{
    return ServerFiles::runProgram(QStringLiteral("openssl"), arguments);
}

void makeKey(const QString& path)
{
    openssl({QStringLiteral("genpkey"), QStringLiteral("-algorithm"), QStringLiteral("EC"), QStringLiteral("-pkeyopt"),
             QStringLiteral("ec_paramgen_curve:P-256"), QStringLiteral("-pkeyopt"),
             QStringLiteral("ec_param_enc:named_curve"), QStringLiteral("-out"), path});
}

// An IP address in the form openssl prints it, or nothing for a host name.
std::optional<QString> canonicalAddress(const QString& host)
{
    const QByteArray text = host.toLatin1();
    unsigned char address[16];
    char printed[INET6_ADDRSTRLEN] = {};
    if (inet_pton(AF_INET, text.constData(), address) == 1 && inet_ntop(AF_INET, address, printed, sizeof printed))
        return QString::fromLatin1(printed);
    if (inet_pton(AF_INET6, text.constData(), address) == 1 && inet_ntop(AF_INET6, address, printed, sizeof printed))
        return QString::fromLatin1(printed);
    return std::nullopt;
}

} // namespace

CertificateAuthority::CertificateAuthority(QString folder) : folder_(std::move(folder)) {}

QString CertificateAuthority::file(const QString& name) const
{
    return QDir(folder_).filePath(name);
}

bool CertificateAuthority::exists() const
{
    return QFile::exists(file(QStringLiteral("ca.key"))) && QFile::exists(file(QStringLiteral("ca.crt")));
}

void CertificateAuthority::create(const QString& commonName)
{
    ServerFiles::makeFolder(folder_, 0700);
    ServerFiles::makeFolder(file(QStringLiteral("certs")), 0700);
    ServerFiles::writeIfChanged(file(QStringLiteral("openssl.cnf")), configuration(folder_), 0600);
    if (exists())
        return;
    // A key and certificate from an earlier, interrupted run are made again.
    const QString key = file(QStringLiteral("ca.key.new"));
    QFile::remove(key);
    makeKey(key);
    const QString certificate = file(QStringLiteral("ca.crt.new"));
    openssl({QStringLiteral("req"), QStringLiteral("-config"), file(QStringLiteral("openssl.cnf")), QStringLiteral("-new"),
             QStringLiteral("-x509"), QStringLiteral("-key"), key, QStringLiteral("-subj"), QStringLiteral("/CN=") + commonName,
             QStringLiteral("-days"), QStringLiteral("7300"), QStringLiteral("-sha256"), QStringLiteral("-addext"),
             QStringLiteral("basicConstraints=critical,CA:TRUE,pathlen:0"), QStringLiteral("-addext"),
             QStringLiteral("keyUsage=critical,keyCertSign,cRLSign"), QStringLiteral("-out"), certificate});
    ServerFiles::writeIfChanged(file(QStringLiteral("index.txt")), {}, 0600);
    ServerFiles::writeIfChanged(file(QStringLiteral("index.txt.attr")), "unique_subject = no\n", 0600);
    ServerFiles::writeIfChanged(file(QStringLiteral("serial")), "1000\n", 0600);
    ServerFiles::writeIfChanged(file(QStringLiteral("crlnumber")), "1000\n", 0600);
    // The certificate goes in place last: exists() is true only for a whole authority.
    QFile::remove(file(QStringLiteral("ca.key")));
    if (!QFile::rename(key, file(QStringLiteral("ca.key"))) ||
        !QFile::rename(certificate, file(QStringLiteral("ca.crt"))))
        throw std::runtime_error("cannot put the CA's key and certificate in place in " + folder_.toStdString());
    writeCrl();
}

QString CertificateAuthority::subjectAltNameOf(const QString& host)
{
    const std::optional<QString> address = canonicalAddress(host);
    return address ? QStringLiteral("IP:") + *address : QStringLiteral("DNS:") + host;
}

CertificateAuthority::Issued CertificateAuthority::issueServer(const QStringList& hosts, int days) const
{
    QStringList names;
    for (const QString& host : hosts)
        names << subjectAltNameOf(host);
    const QString extensions = QStringLiteral("basicConstraints = critical, CA:FALSE\n"
                                              "keyUsage = critical, digitalSignature\n"
                                              "extendedKeyUsage = serverAuth\n"
                                              "subjectKeyIdentifier = hash\n"
                                              "authorityKeyIdentifier = keyid\n"
                                              "subjectAltName = %1\n")
                                   .arg(names.join(QStringLiteral(", ")));
    return issue(hosts.first(), extensions, days);
}

CertificateAuthority::Issued CertificateAuthority::issueMachine(const QString& name, int days) const
{
    return issue(name, {}, days);
}

CertificateAuthority::Issued CertificateAuthority::issue(const QString& commonName, const QString& extensions,
                                                         int days) const
{
    QTemporaryDir work(file(QStringLiteral("issue-XXXXXX")));
    if (!work.isValid())
        throw std::runtime_error("cannot make a working folder in " + folder_.toStdString());
    const QString key = work.filePath(QStringLiteral("key.pem"));
    const QString request = work.filePath(QStringLiteral("request.csr"));
    const QString certificate = work.filePath(QStringLiteral("certificate.pem"));
    makeKey(key);
    openssl({QStringLiteral("req"), QStringLiteral("-config"), file(QStringLiteral("openssl.cnf")), QStringLiteral("-new"),
             QStringLiteral("-key"), key, QStringLiteral("-subj"), QStringLiteral("/CN=") + commonName,
             QStringLiteral("-out"), request});
    QStringList arguments{QStringLiteral("ca"),  QStringLiteral("-batch"), QStringLiteral("-config"),
                          file(QStringLiteral("openssl.cnf")),
                          QStringLiteral("-days"), QString::number(days), QStringLiteral("-notext"),
                          QStringLiteral("-in"), request, QStringLiteral("-out"), certificate};
    if (extensions.isEmpty()) {
        arguments << QStringLiteral("-extensions") << QStringLiteral("machine_cert");
    } else {
        const QString extensionFile = work.filePath(QStringLiteral("extensions.cnf"));
        ServerFiles::writeIfChanged(extensionFile, "[ issued ]\n" + extensions.toUtf8(), 0600);
        arguments << QStringLiteral("-extfile") << extensionFile << QStringLiteral("-extensions")
                  << QStringLiteral("issued");
    }
    openssl(arguments);
    Issued issued;
    issued.certificate = ServerFiles::read(certificate);
    issued.key = ServerFiles::read(key);
    const QString serialLine = QString::fromUtf8(
        openssl({QStringLiteral("x509"), QStringLiteral("-noout"), QStringLiteral("-serial"), QStringLiteral("-in"),
                 certificate}));
    issued.serial = serialLine.trimmed().section(QLatin1Char('='), 1);
    return issued;
}

QStringList CertificateAuthority::validSerials(const QString& commonName) const
{
    QStringList serials;
    const QByteArray index = ServerFiles::read(file(QStringLiteral("index.txt")));
    for (const QByteArray& line : index.split('\n')) {
        // status, expiry, revocation, serial, file name, subject; tab-separated.
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() < 6 || fields[0] != "V")
            continue;
        if (fields[5] == "/CN=" + commonName.toUtf8())
            serials << QString::fromLatin1(fields[3]);
    }
    return serials;
}

void CertificateAuthority::revoke(const QString& serial) const
{
    openssl({QStringLiteral("ca"), QStringLiteral("-batch"), QStringLiteral("-config"), file(QStringLiteral("openssl.cnf")),
             QStringLiteral("-revoke"), file(QStringLiteral("certs/%1.pem").arg(serial))});
}

void CertificateAuthority::writeCrl() const
{
    const QString fresh = file(QStringLiteral("crl.pem.new"));
    openssl({QStringLiteral("ca"), QStringLiteral("-batch"), QStringLiteral("-config"), file(QStringLiteral("openssl.cnf")),
             QStringLiteral("-gencrl"), QStringLiteral("-out"), fresh});
    ServerFiles::writeIfChanged(crlPath(), ServerFiles::read(fresh), 0644);
    QFile::remove(fresh);
}

QStringList CertificateAuthority::subjectAltNames(const QString& certificatePath)
{
    const QString text = QString::fromUtf8(
        openssl({QStringLiteral("x509"), QStringLiteral("-noout"), QStringLiteral("-ext"), QStringLiteral("subjectAltName"),
                 QStringLiteral("-in"), certificatePath}));
    QStringList names;
    static const QRegularExpression entry(QStringLiteral("(DNS|IP Address):([^,\\s]+)"));
    for (auto match = entry.globalMatch(text); match.hasNext();) {
        const QRegularExpressionMatch found = match.next();
        if (found.captured(1) == QLatin1String("DNS"))
            names << QStringLiteral("DNS:") + found.captured(2);
        else // openssl writes IPv6 addresses in full
            names << QStringLiteral("IP:") + canonicalAddress(found.captured(2)).value_or(found.captured(2));
    }
    names.sort();
    return names;
}
