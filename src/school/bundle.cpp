#include "school/bundle.h"

#include "platform/loaded_library.h"
#include "platform/postgres.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cerrno>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The certificates are read with the cryptography library, loaded when a bundle is checked.
#define TYPELAB_BUNDLE_CRYPTO_FUNCTIONS(X)                                                                             \
    X(BIO_new_mem_buf)                                                                                                 \
    X(BIO_free)                                                                                                        \
    X(PEM_read_bio_X509)                                                                                               \
    X(PEM_read_bio_PrivateKey)                                                                                         \
    X(X509_free)                                                                                                       \
    X(EVP_PKEY_free)                                                                                                   \
    X(X509_get_subject_name)                                                                                           \
    X(X509_NAME_get_text_by_NID)                                                                                       \
    X(X509_get0_notBefore)                                                                                             \
    X(X509_get0_notAfter)                                                                                              \
    X(X509_cmp_time)                                                                                                   \
    X(ASN1_TIME_to_tm)                                                                                                 \
    X(X509_get0_pubkey)                                                                                                \
    X(X509_verify)                                                                                                     \
    X(X509_check_private_key)
TYPELAB_LOADED_LIBRARY(BundleCrypto, loadCrypto, TYPELAB_CRYPTO_LIBRARY, TYPELAB_BUNDLE_CRYPTO_FUNCTIONS)

constexpr qint64 kMostFileBytes = 64 * 1024;
constexpr int kBlock = 512;

// One ustar field: a NUL- or space-ended octal number.
std::optional<qint64> octal(const char* field, int length)
{
    qint64 value = 0;
    int i = 0;
    while (i < length && field[i] == ' ')
        ++i;
    bool digits = false;
    for (; i < length && field[i] >= '0' && field[i] <= '7'; ++i) {
        value = value * 8 + (field[i] - '0');
        digits = true;
        if (value > kMostFileBytes * 1024)
            return std::nullopt;
    }
    for (; i < length; ++i)
        if (field[i] != '\0' && field[i] != ' ')
            return std::nullopt;
    return digits ? std::optional<qint64>(value) : std::nullopt;
}

bool checksumHolds(const char* header)
{
    const std::optional<qint64> stated = octal(header + 148, 8);
    qint64 sum = 0;
    for (int i = 0; i < kBlock; ++i)
        sum += (i >= 148 && i < 156) ? ' ' : static_cast<unsigned char>(header[i]);
    return stated && *stated == sum;
}

QByteArray* slotFor(Bundle::Contents& contents, const QByteArray& name)
{
    const QByteArray plain = name.startsWith("./") ? name.mid(2) : name;
    if (plain == "ca.crt")
        return &contents.caCertificate;
    if (plain == "machine.crt")
        return &contents.machineCertificate;
    if (plain == "machine.key")
        return &contents.machineKey;
    if (plain == "server")
        return &contents.server;
    return nullptr;
}

QString notABundle(const QString& path, const QString& why)
{
    return QStringLiteral("%1 不是学校服务器发给本机的证书包（%2）").arg(path, why);
}

} // namespace

namespace Bundle {

std::variant<Contents, QString> read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("%1 无法读取：%2").arg(path, file.errorString());
    if (file.size() > 16 * kMostFileBytes)
        return notABundle(path, QStringLiteral("文件太大"));
    const QByteArray archive = file.readAll();
    Contents contents;
    bool seen[4] = {};
    qsizetype at = 0;
    while (at + kBlock <= archive.size()) {
        const char* header = archive.constData() + at;
        if (std::all_of(header, header + kBlock, [](char c) { return c == '\0'; }))
            break; // the end of the archive
        if (!checksumHolds(header) || std::memcmp(header + 257, "ustar", 5) != 0)
            return notABundle(path, QStringLiteral("不是 tar 文件"));
        const QByteArray name(header, int(qstrnlen(header, 100)));
        const char type = header[156];
        const std::optional<qint64> size = octal(header + 124, 12);
        QByteArray* slot = slotFor(contents, name);
        if ((type != '0' && type != '\0') || !slot || header[345] != '\0')
            return notABundle(path, QStringLiteral("含有多余的内容：%1").arg(QString::fromUtf8(name)));
        if (!size || *size > kMostFileBytes || at + kBlock + *size > archive.size())
            return notABundle(path, QStringLiteral("%1 的长度有误").arg(QString::fromUtf8(name)));
        const int index = int(slot - &contents.caCertificate);
        if (seen[index])
            return notABundle(path, QStringLiteral("%1 出现了两次").arg(QString::fromUtf8(name)));
        seen[index] = true;
        *slot = archive.mid(at + kBlock, *size);
        at += kBlock + (*size + kBlock - 1) / kBlock * kBlock;
    }
    for (int i = 0; i < 4; ++i)
        if (!seen[i])
            return notABundle(path, QStringLiteral("缺少 %1").arg(QString::fromLatin1(kFiles[i])));
    return contents;
}

namespace {

struct Pem {
    const BundleCrypto& crypto;
    X509* ca = nullptr;
    X509* machine = nullptr;
    EVP_PKEY* key = nullptr;
    ~Pem()
    {
        crypto.X509_free(ca);
        crypto.X509_free(machine);
        crypto.EVP_PKEY_free(key);
    }
    X509* certificate(const QByteArray& bytes) const
    {
        BIO* in = crypto.BIO_new_mem_buf(bytes.constData(), int(bytes.size()));
        X509* read = crypto.PEM_read_bio_X509(in, nullptr, nullptr, nullptr);
        crypto.BIO_free(in);
        return read;
    }
    EVP_PKEY* privateKey(const QByteArray& bytes) const
    {
        BIO* in = crypto.BIO_new_mem_buf(bytes.constData(), int(bytes.size()));
        // A key with a pass phrase is no use to a service: no callback, nothing asked.
        EVP_PKEY* read = crypto.PEM_read_bio_PrivateKey(in, nullptr, [](char*, int, int, void*) { return 0; }, nullptr);
        crypto.BIO_free(in);
        return read;
    }
};

QDateTime timeOf(const BundleCrypto& crypto, const ASN1_TIME* time)
{
    std::tm parts{};
    if (!time || crypto.ASN1_TIME_to_tm(time, &parts) != 1)
        return {};
    return QDateTime(QDate(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday),
                     QTime(parts.tm_hour, parts.tm_min, parts.tm_sec), Qt::UTC);
}

} // namespace

std::variant<Checked, QString> check(const Contents& contents, const QDateTime& now)
{
    const BundleCrypto* crypto = loadCrypto();
    if (!crypto)
        return QStringLiteral("密码库 %1 无法载入").arg(QString::fromUtf8(TYPELAB_CRYPTO_LIBRARY));
    Pem pem{*crypto};
    pem.ca = pem.certificate(contents.caCertificate);
    pem.machine = pem.certificate(contents.machineCertificate);
    pem.key = pem.privateKey(contents.machineKey);
    if (!pem.ca)
        return QStringLiteral("ca.crt 不是 PEM 格式的证书");
    if (!pem.machine)
        return QStringLiteral("machine.crt 不是 PEM 格式的证书");
    if (!pem.key)
        return QStringLiteral("machine.key 不是 PEM 格式、没有口令的私钥");
    if (crypto->X509_check_private_key(pem.machine, pem.key) != 1)
        return QStringLiteral("machine.key 不是 machine.crt 的私钥");
    if (crypto->X509_verify(pem.machine, crypto->X509_get0_pubkey(pem.ca)) != 1)
        return QStringLiteral("machine.crt 不是由 ca.crt 签发的");
    Checked checked;
    char name[256] = {};
    if (crypto->X509_NAME_get_text_by_NID(crypto->X509_get_subject_name(pem.machine), NID_commonName, name,
                                          sizeof name)
        <= 0)
        return QStringLiteral("machine.crt 中没有本机的名字（CN）");
    checked.machine = QString::fromUtf8(name);
    const QDateTime from = timeOf(*crypto, crypto->X509_get0_notBefore(pem.machine));
    checked.validTo = timeOf(*crypto, crypto->X509_get0_notAfter(pem.machine));
    if (!from.isValid() || !checked.validTo.isValid())
        return QStringLiteral("machine.crt 的有效期无法读取");
    if (now < from)
        return QStringLiteral("machine.crt 从 %1 起才有效（请检查本机的时钟）").arg(from.toLocalTime().toString(Qt::ISODate));
    if (now > checked.validTo)
        return QStringLiteral("machine.crt 已于 %1 过期").arg(checked.validTo.toLocalTime().toString(Qt::ISODate));

    const QString line = QString::fromUtf8(contents.server).trimmed();
    if (line.contains(u'\n'))
        return QStringLiteral("server 应当只有一行");
    Pg::ConnectionParameters server;
    try {
        server = Pg::ConnectionParameters::parse(line);
    } catch (const Pg::Error& error) {
        return QStringLiteral("server 不是连接串：%1").arg(error.message());
    }
    for (const char* key : {"host", "port", "dbname", "user"})
        if (server.value(QString::fromLatin1(key)).isEmpty())
            return QStringLiteral("server 中缺少 %1").arg(QString::fromLatin1(key));
    // Where the server is and who this machine is there: nothing else (no password, nothing
    // about TLS, which the machine sets itself).
    static const QStringList allowed = {QStringLiteral("host"), QStringLiteral("hostaddr"), QStringLiteral("port"),
                                        QStringLiteral("dbname"), QStringLiteral("user")};
    for (const auto& item : server.items())
        if (!allowed.contains(QString::fromUtf8(item.first)))
            return QStringLiteral("server 中不能有 %1").arg(QString::fromUtf8(item.first));
    if (server.value(QStringLiteral("user")) != checked.machine)
        return QStringLiteral("server 中的用户 %1 与证书中的名字 %2 不同")
            .arg(server.value(QStringLiteral("user")), checked.machine);
    checked.server = line;
    return checked;
}

namespace {

struct Owner {
    uid_t uid = uid_t(-1);
    gid_t gid = gid_t(-1);
};

bool writeFile(const QString& path, const QByteArray& bytes, mode_t mode, const Owner& owner, QString& problem)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        problem = QStringLiteral("%1 无法写入：%2").arg(path, file.errorString());
        return false;
    }
    const QByteArray local = QFile::encodeName(path);
    if (::chmod(local.constData(), mode) != 0 || (owner.uid != uid_t(-1) && ::chown(local.constData(), owner.uid, owner.gid) != 0)) {
        problem = QStringLiteral("%1 的权限无法设置：%2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

} // namespace

std::optional<QString> install(const Contents& contents, const QString& folder, const QString& publicCa,
                               const QString& ownerName)
{
    Owner owner;
    if (!ownerName.isEmpty()) {
        const passwd* user = ::getpwnam(ownerName.toLocal8Bit().constData());
        if (!user)
            return QStringLiteral("没有用户 %1").arg(ownerName);
        owner = {user->pw_uid, user->pw_gid};
    }
    // The new bundle is made whole beside the old one, then takes its place.
    const QString fresh = folder + QStringLiteral(".new");
    const QString old = folder + QStringLiteral(".old");
    QDir(fresh).removeRecursively();
    QDir(old).removeRecursively();
    if (!QDir().mkpath(fresh))
        return QStringLiteral("%1 无法创建").arg(fresh);
    const QByteArray freshLocal = QFile::encodeName(fresh);
    if (::chmod(freshLocal.constData(), 0700) != 0
        || (owner.uid != uid_t(-1) && ::chown(freshLocal.constData(), owner.uid, owner.gid) != 0))
        return QStringLiteral("%1 的权限无法设置").arg(fresh);
    const QByteArray* parts[] = {&contents.caCertificate, &contents.machineCertificate, &contents.machineKey,
                                 &contents.server};
    QString problem;
    for (int i = 0; i < 4; ++i)
        if (!writeFile(fresh + u'/' + QString::fromLatin1(kFiles[i]), *parts[i], i == 2 ? 0600 : 0644, owner, problem)) {
            QDir(fresh).removeRecursively();
            return problem;
        }
    if (QFileInfo::exists(folder) && ::rename(QFile::encodeName(folder).constData(), QFile::encodeName(old).constData()) != 0)
        return QStringLiteral("%1 无法替换：%2").arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
    if (::rename(freshLocal.constData(), QFile::encodeName(folder).constData()) != 0) {
        const QString why = QString::fromLocal8Bit(std::strerror(errno));
        ::rename(QFile::encodeName(old).constData(), QFile::encodeName(folder).constData());
        return QStringLiteral("%1 无法放入：%2").arg(folder, why);
    }
    QDir(old).removeRecursively();
    QDir().mkpath(QFileInfo(publicCa).absolutePath());
    if (!writeFile(publicCa, contents.caCertificate, 0644, owner, problem))
        return problem;
    return std::nullopt;
}

Pg::ConnectionParameters connection(const QString& folder)
{
    QFile server(folder + QStringLiteral("/server"));
    if (!server.open(QIODevice::ReadOnly))
        throw Pg::Error(Pg::Error::Kind::Usage,
                        QStringLiteral("%1 cannot be read: %2").arg(server.fileName(), server.errorString()));
    Pg::ConnectionParameters parameters = Pg::ConnectionParameters::parse(QString::fromUtf8(server.readAll()).trimmed());
    parameters.set(QStringLiteral("sslmode"), QStringLiteral("verify-full"))
        .set(QStringLiteral("sslrootcert"), folder + QStringLiteral("/ca.crt"))
        .set(QStringLiteral("sslcert"), folder + QStringLiteral("/machine.crt"))
        .set(QStringLiteral("sslkey"), folder + QStringLiteral("/machine.key"))
        .set(QStringLiteral("application_name"), QStringLiteral("typelab-forward"))
        .withNetworkDefaults(10);
    return parameters;
}

} // namespace Bundle
